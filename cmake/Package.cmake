# The Debian package, made by CPack from an install into /usr (scripts/package.sh):
#   cpack -G DEB   in a build folder configured with -DCMAKE_INSTALL_PREFIX=/usr
# Dependencies are computed from the binaries by dpkg-shlibdeps; the documentation files
# Debian expects (copyright, a compressed changelog) are installed with everything else.
set(WORDPOP_PACKAGE_MAINTAINER "Wordpop maintainers <maintainers@users.noreply.c-seed-36fc7630.example>"
  CACHE STRING "The Maintainer field of the Debian package")

set(WORDPOP_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/wordpop)
find_program(WORDPOP_GZIP gzip REQUIRED)
# A native package: its changelog is changelog.gz, compressed without a time stamp (gzip -n) so
# that the same sources give the same package.
set(changelog_gz ${CMAKE_BINARY_DIR}/package/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND ${WORDPOP_GZIP} -9nc ${CMAKE_SOURCE_DIR}/data/package/changelog > ${changelog_gz}
  DEPENDS ${CMAKE_SOURCE_DIR}/data/package/changelog
  VERBATIM)
add_custom_target(wordpop-changelog ALL DEPENDS ${changelog_gz})
install(FILES data/package/copyright ${changelog_gz} DESTINATION ${WORDPOP_DOC_DIR})

# Manual pages are installed compressed, as man-db and Debian expect.
set(man_gz)
foreach(page wordpop wordpop-dict)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
    COMMAND ${WORDPOP_GZIP} -9nc ${CMAKE_SOURCE_DIR}/man/${page}.1 > ${CMAKE_BINARY_DIR}/package/${page}.1.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/man/${page}.1
    VERBATIM)
  list(APPEND man_gz ${CMAKE_BINARY_DIR}/package/${page}.1.gz)
endforeach()
add_custom_target(wordpop-man ALL DEPENDS ${man_gz})
install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME wordpop)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Wordpop")
set(CPACK_PACKAGE_CONTACT "${WORDPOP_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${WORDPOP_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vocabulary trainer with short pop-up lessons")
# The body only: CPack puts the summary above it and indents it as the control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Wordpop sits in the notification area and, every few minutes, once keyboard
and mouse have been left alone for a few seconds, opens a small lesson: a
word with five candidate answers or a box to type the answer. Words answered
right often enough move to a learned dictionary and come back for repetition.

The package holds the program, the dictionary tool wordpop-dict and sample
dictionaries.")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Wave files play through Qt's own audio output; other sounds (an Anki deck's MP3s) go through
# Qt Multimedia's GStreamer back end, which decodes with these plugins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-good")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Folders such as /usr and /usr/share belong to base-files: only our own are listed as ours.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
