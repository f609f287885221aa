#!/usr/bin/env bash
# The package installed the way a user installs it, `apt-get install ./wordpop_*.deb`, and
# removed again, on a machine without the build tree. The machine is this one seen through a
# private mount namespace: the whole system is an overlay whose writes land in a scratch layer
# that goes with the namespace (a failed or killed run leaves nothing installed here, and runs in
# parallel do not meet), the source and build folders are empty, and /tmp is the real one so that
# X servers still see each other's displays. installed_check.sh does the user's part inside it.
#   package_install.sh <package folder> <source folder> <build folder>
# Exit 77: skipped, with the reason printed.
set -uo pipefail

skip() { echo "skipped: $*"; exit 77; }

if [ "${1:-}" != --namespace ]; then
  debdir=$1
  src=$2
  build=$3
  here=$(cd "$(dirname "$0")" && pwd)
  [ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
  for tool in apt-get dpkg unshare chroot; do
    command -v "$tool" >/dev/null || skip "no $tool on this machine"
  done
  deb=$(ls "$debdir"/wordpop_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || { echo "no wordpop_*.deb in $debdir"; exit 1; }
  work=$(mktemp -d /tmp/wordpop-install.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  # apt reads a local package as its own unprivileged user.
  chmod 755 "$work"
  cp "$deb" "$here/installed_check.sh" "$here/lesson_word.py" "$work/"
  chmod 644 "$work"/wordpop_*.deb
  unshare -m --propagation private bash "$0" --namespace "$work" "$src" "$build"
  exit $?
fi

# In the private namespace.
work=$2
src=$3
build=$4
layer=$work/layer
mkdir "$layer"
mount -t tmpfs -o mode=755 tmpfs "$layer" || skip "cannot mount in a private mount namespace"
mkdir "$layer/upper" "$layer/scratch" "$layer/root"
root=$layer/root
mount -t overlay overlay -o "lowerdir=/,upperdir=$layer/upper,workdir=$layer/scratch" "$root" \
  || skip "no overlay file system: cannot make a private copy of the system to install into"
mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && mount --rbind /sys "$root/sys" \
  && mount --bind /tmp "$root/tmp" || { echo "cannot mount /proc, /dev, /sys and /tmp in the copy"; exit 1; }
# No build tree: the program must find everything where the package put it.
for d in "$src" "$build"; do
  if [ -d "$root$d" ]; then
    mount -t tmpfs -o ro,mode=755 tmpfs "$root$d" || { echo "cannot hide $d"; exit 1; }
  fi
done
# What the copy wrote, for installed_check.sh to look at.
mkdir "$work/upper"
mount --bind -o ro "$layer/upper" "$root$work/upper" || { echo "cannot show the scratch layer"; exit 1; }
chroot "$root" /bin/bash "$work/installed_check.sh" "$work" "$work/upper" "$src" "$build"
