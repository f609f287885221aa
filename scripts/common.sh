# Shared by the set-up scripts: install the missing Debian packages named in packages.txt.
wordpop_install_packages() {
  local list missing=()
  list=$(grep -v '^#' "$(dirname "${BASH_SOURCE[0]}")/packages.txt")
  for p in $list; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
