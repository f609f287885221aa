# The information window shows what was built: the project version and its release date
# (bumped together with the version in the top CMakeLists.txt).
set(WORDPOP_RELEASE_DATE "10.12.2026")
target_compile_definitions(${name} PRIVATE
  WORDPOP_VERSION="${PROJECT_VERSION}"
  WORDPOP_RELEASE_DATE="${WORDPOP_RELEASE_DATE}")
