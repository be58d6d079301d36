#!/usr/bin/env bash
# Builds the Debian package tellwick_<version>_amd64.deb into build/package/
# with Debian's own tools (dpkg-buildpackage and debhelper, release
# configuration, see debian/rules), from a copy of the working tree so that
# the tree itself stays clean. Prints the package's path as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(Tellwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packaged=$(dpkg-parsechangelog -S Version)
if [ "$version" != "$packaged" ]; then
  echo "package: debian/changelog is at $packaged, CMakeLists.txt at $version" >&2
  exit 1
fi

out=build/package
source="$out/tellwick-$version"
rm -rf "$out"
mkdir -p "$source"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    if [ -e "$file" ]; then printf '%s\0' "$file"; fi
  done |
  tar --null -T - -cf - | tar -xf - -C "$source"

(
  cd "$source"
  DEB_BUILD_OPTIONS="parallel=$(nproc) nocheck noddebs" dpkg-buildpackage -b --no-sign
) >"$out/build.log" 2>&1 || { tail -40 "$out/build.log" >&2; exit 1; }
ls "$PWD/$out/tellwick_${version}_amd64.deb"
