#!/usr/bin/env bash
# Builds the Debian packages varno-device-manager and varnoctl from a clean copy of this checkout
# (what git tracks, plus new files it does not ignore) in build-deb/, and puts them in dist/.
# DEB_BUILD_OPTIONS=nocheck skips the program's own tests during the build.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
source tools/packages.sh

varno_install_missing dpkg-dev debhelper fakeroot
if ! dpkg-checkbuilddeps 2>/dev/null; then
    varno_apt_get update
    varno_apt_get build-dep ./
fi

version=$(sed -n 's/^project(varno VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog=$(dpkg-parsechangelog -S Version)
if [ "$version" != "$changelog" ]; then
    echo "CMakeLists.txt says version $version, debian/changelog says $changelog:" \
         "add a changelog entry (dch -v $version)" >&2
    exit 1
fi

# Always the same folder, so that the compiler cache serves the next build.
out=build-deb
src=$out/varno-device-manager
rm -rf "$out"
mkdir -p "$src"
git ls-files -z --cached --others --exclude-standard \
    | while IFS= read -r -d '' f; do [ -e "$f" ] || [ -L "$f" ] && printf '%s\0' "$f"; done \
    | tar -c --null -T - | tar -x -C "$src"

# debhelper gives the build a HOME of its own; keep the user's compiler cache.
export CCACHE_DIR="${CCACHE_DIR:-$(ccache -k cache_dir 2>/dev/null || echo "$HOME/.cache/ccache")}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$top}"
jobs=$(nproc)
export DEB_BUILD_OPTIONS="parallel=$jobs ${DEB_BUILD_OPTIONS:-}"

start=$SECONDS
(cd "$src" && dpkg-buildpackage -us -uc -b)
echo "Packages built in $((SECONDS - start)) s"

mkdir -p dist
rm -f dist/*.deb
# The debug symbols (-dbgsym) stay in build-deb/.
for p in varno-device-manager varnoctl; do cp "$out/${p}_${version}"_*.deb dist/; done
ls -l dist/*.deb
