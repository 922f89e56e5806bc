#!/usr/bin/env bash
# Packs a Windows build into an installer and a portable .zip:
#
#   bash tools/windows/package.sh [BUILD_DIR]        (default: build-win)
#
# makes dist/VARNO-Device-Manager-<version>-setup.exe and ...-<version>-portable.zip (the version is
# the project's, from CMakeLists.txt). Both hold the same folder: the programs, every DLL they need,
# found by following the imports (objdump -p) from the programs and the Qt plugins through the
# toolchain's bin/ and the MinGW runtime, the plugins (platforms, styles, sqldrivers, the image
# formats used) and the locales folder. A DLL that is neither found there nor one of Windows' own
# stops the packing, so nothing ships that cannot start. The toolchain prefix and compiler are read
# from BUILD_DIR's CMakeCache.txt; VARNO_WIN_QT_PREFIX and VARNO_WIN_CXX override them.
# shellcheck disable=SC2016 # the installer lists name $INSTDIR, which is NSIS's
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD

build=${1:-build-win}
[ -d "$build" ] || { echo "No build folder $build: run tools/windows/build.sh first." >&2; exit 1; }
build=$(cd "$build" && pwd)

cache_value() {
    sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null | head -n1
}

version=$(sed -n 's/^project(varno VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "No project version in CMakeLists.txt" >&2; exit 1; }
prefix=${VARNO_WIN_QT_PREFIX:-$(cache_value CMAKE_PREFIX_PATH | cut -d';' -f1)}
if [ ! -f "$prefix/bin/Qt5Core.dll" ] && [ -z "${VARNO_WIN_QT_PREFIX:-}" ]; then
    qt5_dir=$(cache_value Qt5_DIR) # <prefix>/lib/cmake/Qt5
    [ -d "$qt5_dir" ] && prefix=$(cd "$qt5_dir/../../.." && pwd)
fi
[ -f "$prefix/bin/Qt5Core.dll" ] || { echo "No Qt for Windows at '$prefix' (VARNO_WIN_QT_PREFIX)" >&2; exit 1; }
cxx=${VARNO_WIN_CXX:-$(cache_value CMAKE_CXX_COMPILER)}
cxx=${cxx:-x86_64-w64-mingw32-g++-posix}
objdump=x86_64-w64-mingw32-objdump
for tool in "$cxx" "$objdump" makensis zip; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (bash tools/setup.sh)" >&2; exit 1; }
done

# Where a needed DLL may come from: the toolchain, then the compiler's runtime (libstdc++-6,
# libgcc_s_seh-1, libwinpthread-1; the last one is a link into the MinGW tree).
search_dirs=("$prefix/bin")
for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    path=$("$cxx" -print-file-name="$runtime")
    [ -f "$path" ] || { echo "$cxx has no $runtime" >&2; exit 1; }
    search_dirs+=("$(dirname "$(readlink -f "$path")")" "$(dirname "$path")")
done
# Windows' own DLLs, as Wine's list of them has them.
system_dlls=$( (find /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows \
    -maxdepth 1 -iname '*.dll' -printf '%f\n' 2>/dev/null || true) | tr '[:upper:]' '[:lower:]' | sort -u)
[ -n "$system_dlls" ] || { echo "Wine's list of Windows DLLs is missing (package wine64)" >&2; exit 1; }

name=VARNO-Device-Manager-$version
dist=$top/dist
stage=$dist/$name
rm -rf "$stage"
mkdir -p "$stage"

programs=()
for exe in varnodevm.exe varnoctl.exe; do
    found=$(find "$build" -path "$build/tests" -prune -o -name "$exe" -type f -print | head -n1)
    [ -n "$found" ] || { echo "No $exe in $build" >&2; exit 1; }
    cp "$found" "$stage/"
    programs+=("$stage/$exe")
done
for plugin in platforms/qwindows.dll styles/qwindowsvistastyle.dll sqldrivers/qsqlite.dll \
    imageformats/qico.dll; do
    mkdir -p "$stage/$(dirname "$plugin")"
    cp "$prefix/plugins/$plugin" "$stage/$plugin"
    programs+=("$stage/$plugin")
done
if [ -d "$build/locales" ]; then
    mkdir -p "$stage/locales"
    find "$build/locales" -maxdepth 1 -type f \( -name '*.qm' -o -name 'languages.xml' \) \
        -exec cp {} "$stage/locales/" \;
fi
[ -f "$stage/locales/languages.xml" ] || echo "Warning: no locales/languages.xml in $build" >&2

# Follow the imports until every DLL is either beside the programs or one of Windows' own.
queue=("${programs[@]}")
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    while read -r dll; do
        [ -e "$stage/$dll" ] && continue
        lower=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
        source=""
        for dir in "${search_dirs[@]}"; do
            source=$(find "$dir" -maxdepth 1 -iname "$dll" -type f -print -quit)
            [ -n "$source" ] && break
        done
        if [ -n "$source" ]; then
            cp "$source" "$stage/$dll"
            queue+=("$stage/$dll")
        elif ! grep -qxF "$lower" <<<"$system_dlls"; then
            echo "$(basename "$file") needs $dll, found neither in the toolchain nor in Windows" >&2
            exit 1
        fi
    done < <("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done

# The installer script gets the file lists: installed one by one and removed one by one, so the
# uninstaller never deletes anything it did not install.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(
    cd "$stage"
    find . -type d ! -name . | sed 's|^\./||' | sort | while read -r dir; do
        printf 'CreateDirectory "$INSTDIR\\%s"\n' "${dir//\//\\}"
    done
    find . -type f | sed 's|^\./||' | sort | while read -r f; do
        d=$(dirname "$f")
        out='$INSTDIR'
        [ "$d" != . ] && out="\$INSTDIR\\${d//\//\\}"
        printf 'SetOutPath "%s"\nFile "/oname=%s" "%s"\n' "$out" "$(basename "$f")" "$stage/$f"
    done
    echo 'SetOutPath "$INSTDIR"'
) > "$work/install-files.nsh"
(
    cd "$stage"
    find . -type f | sed 's|^\./||' | sort | while read -r f; do
        printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
    done
    find . -depth -type d ! -name . | sed 's|^\./||' | while read -r dir; do
        printf 'RMDir "$INSTDIR\\%s"\n' "${dir//\//\\}"
    done
) > "$work/uninstall-files.nsh"
size_kb=$(du -sk "$stage" | cut -f1)
# Windows' version resources take exactly four numbers.
file_version=$version
while [ "$(tr -cd . <<<"$file_version" | wc -c)" -lt 3 ]; do file_version=$file_version.0; done

setup=$dist/$name-setup.exe
zipfile=$dist/$name-portable.zip
rm -f "$setup" "$zipfile"
makensis -V2 -NOCD \
    -DVERSION="$version" -DFILE_VERSION="$file_version" -DOUTFILE="$setup" -DSIZE_KB="$size_kb" \
    -DINSTALL_FILES="$work/install-files.nsh" -DUNINSTALL_FILES="$work/uninstall-files.nsh" \
    "$top/packaging/windows/varno.nsi"
(cd "$dist" && zip -qr -X "$zipfile" "$name")

echo "Installer: $setup ($(du -h "$setup" | cut -f1))"
echo "Portable:  $zipfile ($(du -h "$zipfile" | cut -f1))"
echo "Contents:  $stage ($(find "$stage" -type f | wc -l) files, $((size_kb / 1024)) MiB)"
