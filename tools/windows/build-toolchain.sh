#!/usr/bin/env bash
# Builds the Windows toolchain the Windows build uses: Qt 5.15.8 qtbase and SQLite 3.40.1 for
# x86_64-w64-mingw32 (posix threads), from Debian 12's own source packages, packed as one
# relocatable prefix qt5.15.8-mingw64/ in qt5.15.8-mingw64-posix.tar.xz. About 35 minutes on two
# cores; CI uses a prebuilt copy instead (the shared folder beside the checkout).
#
#   bash tools/windows/build-toolchain.sh [--sources-only]
#
# Writes ~/.cache/varno/qt5.15.8-mingw64-posix.tar.xz (VARNO_TOOLCHAIN_OUT overrides), where
# tools/windows/build.sh looks when no other archive is given. Works in a fresh temporary folder
# (VARNO_TOOLCHAIN_WORK overrides; it is kept then) and removes it at the end. --sources-only stops
# after fetching and unpacking the sources (kept only in VARNO_TOOLCHAIN_WORK). Needs root (or
# sudo) only to install missing packages and to pick the posix thread model of the MinGW compilers.
set -euo pipefail

QTBASE_VERSION=5.15.8+dfsg-11+deb12u3
SQLITE_VERSION=3.40.1-2+deb12u2
QTBASE_DIR=qtbase-opensource-src-5.15.8+dfsg
SQLITE_DIR=sqlite3-3.40.1

sources_only=0
case "${1:-}" in
    --sources-only) sources_only=1 ;;
    "") ;;
    *) echo "usage: $0 [--sources-only]" >&2; exit 2 ;;
esac

out=${VARNO_TOOLCHAIN_OUT:-$HOME/.cache/varno/qt5.15.8-mingw64-posix.tar.xz}
if [ -n "${VARNO_TOOLCHAIN_WORK:-}" ]; then
    work=$VARNO_TOOLCHAIN_WORK
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/varno-toolchain.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi
work=$(cd "$work" && pwd)
prefix=$work/qt5.15.8-mingw64
echo "Working in $work"

# 0. Tools: the MinGW compilers, dpkg-source (apt-get source), tclsh (SQLite's amalgamation).
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
source "$(dirname "$0")/../packages.sh"
varno_install_missing g++-mingw-w64-x86-64 dpkg-dev tcl make xz-utils

# 1. Sources. The system's apt may list no source packages, so a private apt state names the
# same archives with deb-src; it changes nothing of the system's configuration.
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
: > "$apt_dir/sources.list"
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >> "$apt_dir/sources.list"
fi
for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" > "$apt_dir/sources.list.d/$(basename "$f")"
done
for f in /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" > "$apt_dir/sources.list.d/$(basename "$f")"
done
apt_opts=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "APT::Sandbox::User=root"
)
apt-get "${apt_opts[@]}" update -qq
mkdir -p "$work/src"
# dpkg-source (called by apt-get source) verifies the signatures and applies Debian's patches.
(cd "$work/src" && apt-get "${apt_opts[@]}" source -qq "sqlite3=$SQLITE_VERSION" \
    "qtbase-opensource-src=$QTBASE_VERSION")
if [ ! -d "$work/src/$QTBASE_DIR" ] || [ ! -d "$work/src/$SQLITE_DIR" ]; then
    echo "apt-get source did not unpack $QTBASE_DIR and $SQLITE_DIR" >&2
    exit 1
fi
# Debian's tree spells the Schannel libraries -lSecur32 -lCrypt32; MinGW ships libsecur32.a and
# libcrypt32.a, and a case-sensitive file system tells them apart (Qt5Network.dll fails to link).
ssl_pri=$work/src/$QTBASE_DIR/src/network/ssl/ssl.pri
sed -i 's/"-lSecur32" "-lCrypt32"/"-lsecur32" "-lcrypt32"/' "$ssl_pri"
grep -q '"-lsecur32" "-lcrypt32"' "$ssl_pri" || { echo "ssl.pri: Schannel libraries not found" >&2; exit 1; }
echo "Sources unpacked in $work/src"
if [ "$sources_only" = 1 ]; then
    exit 0
fi

# The default win32 thread model has no std::thread or std::mutex; the Qt DLLs are built with, and
# import, winpthreads.
if ! x86_64-w64-mingw32-g++ -v 2>&1 | grep -q 'Thread model: posix'; then
    for tool in gcc g++; do
        $SUDO update-alternatives --set "x86_64-w64-mingw32-$tool" "/usr/bin/x86_64-w64-mingw32-$tool-posix"
    done
fi
x86_64-w64-mingw32-g++ -v 2>&1 | grep -q 'Thread model: posix' \
    || { echo "x86_64-w64-mingw32-g++ does not use the posix thread model" >&2; exit 1; }

# 2. SQLite's amalgamation as sqlite3.dll with its import library, into the prefix. Qt's qsqlite
# driver links this same DLL (-system-sqlite), as do the history readers.
mkdir -p "$work/src/$SQLITE_DIR/bld" "$prefix/include" "$prefix/lib" "$prefix/bin"
(
    cd "$work/src/$SQLITE_DIR/bld"
    nice -n 15 ../configure --disable-tcl >/dev/null
    nice -n 15 make sqlite3.c >/dev/null
    nice -n 15 x86_64-w64-mingw32-gcc -O2 -shared -DSQLITE_THREADSAFE=1 \
        -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE sqlite3.c \
        -o sqlite3.dll -Wl,--out-implib,libsqlite3.dll.a -static-libgcc
    cp sqlite3.h sqlite3ext.h "$prefix/include/"
    cp libsqlite3.dll.a "$prefix/lib/"
    cp sqlite3.dll "$prefix/bin/"
)

# 3. qtbase, out of tree. The SQLite location is SQLITE_PREFIX (the library's export name, not
# SQLITE3_PREFIX). Debian's +dfsg tarball lacks src/3rdparty/wintab and sqlite: hence no tablet
# events and the system SQLite built above.
mkdir -p "$work/build-qtbase"
cd "$work/build-qtbase"
nice -n 15 "../src/$QTBASE_DIR/configure" -opensource -confirm-license \
    -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
    -release -shared -prefix "$prefix" \
    -nomake examples -nomake tests -no-pch -no-pkg-config \
    -no-icu -no-dbus -no-glib -no-opengl -no-direct2d \
    -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre \
    -sql-sqlite -system-sqlite SQLITE_PREFIX="$prefix" \
    -no-sql-odbc -no-sql-psql -no-sql-mysql -no-sql-ibase -no-sql-tds -no-sql-db2 -no-sql-oci \
    -no-sql-sqlite2 -schannel -no-openssl -no-feature-tabletevent -make-tool "make -j2"
cat config.summary
nice -n 15 make -j2
nice -n 15 make install

# 4. The prefix must hold what the Windows build and the installer take from it.
for f in bin/Qt5Core.dll bin/Qt5Gui.dll bin/Qt5Widgets.dll bin/Qt5Network.dll bin/Qt5Sql.dll \
    bin/Qt5Xml.dll bin/Qt5Test.dll bin/sqlite3.dll bin/moc bin/rcc bin/uic \
    plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll \
    plugins/sqldrivers/qsqlite.dll plugins/styles/qwindowsvistastyle.dll \
    lib/cmake/Qt5/Qt5Config.cmake include/sqlite3.h lib/libsqlite3.dll.a; do
    [ -e "$prefix/$f" ] || { echo "The built prefix lacks $f" >&2; exit 1; }
done

# 5. Pack: the archive holds the prefix folder qt5.15.8-mingw64/.
mkdir -p "$(dirname "$out")"
tar -C "$work" --sort=name --owner=0 --group=0 --numeric-owner \
    -cJf "$out.part" qt5.15.8-mingw64
mv -f "$out.part" "$out"
echo "Toolchain written to $out ($(du -h "$out" | cut -f1), sha256 $(sha256sum "$out" | cut -d' ' -f1))"
