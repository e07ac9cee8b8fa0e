#!/bin/sh
# Builds the Debian package from a copy of the source tree, so the tree
# itself stays clean: build-deb.sh [OUTDIR] (default: the current
# directory) leaves kelvane_VERSION_ARCH.deb there and prints its path.
# The package holds the program alone; its tests run in make test, so the
# build sets DEB_BUILD_OPTIONS=nocheck. ccache speeds up repeated builds
# where it is installed.
set -eu

for tool in dpkg-buildpackage dh; do
  command -v $tool >/dev/null 2>&1 ||
    { echo "build-deb: $tool is missing (scripts/install-test-deps.sh installs it)" >&2; exit 1; }
done
src=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
# One build at a time, always in the same place: with the same paths each
# time, ccache reuses the objects of the last build.
work=${TMPDIR:-/tmp}/kelvane-deb-$(id -u)
exec 9>"$work.lock"
flock 9
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# The tracked and new files of a git checkout (those deleted but not yet
# committed left out), else the whole tree without build directories.
mkdir "$work/kelvane"
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  cd "$src"
  # shellcheck disable=SC2016  # the inner shell expands $f
  git ls-files -z --cached --others --exclude-standard |
    xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done; true' sh |
    xargs -0 -r cp -P --parents -t "$work/kelvane"
else
  tar -C "$src" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work/kelvane" -xf -
fi

if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
export DEB_BUILD_OPTIONS="nocheck parallel=${JOBS:-2}"
(cd "$work/kelvane" && dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1) || {
  tail -n 40 "$work/build.log" >&2
  echo "build-deb: dpkg-buildpackage failed" >&2
  exit 1
}
for deb in "$work"/kelvane_*.deb; do
  cp "$deb" "$out/"
  echo "$out/$(basename "$deb")"
done
