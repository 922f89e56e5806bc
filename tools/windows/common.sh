# Sourced by the Windows scripts (build.sh, test.sh): the packages, the Qt toolchain archive and
# the paths Wine needs. Run from the top of the checkout.
source tools/packages.sh

varno_win_packages=(
    cmake ninja-build ccache pkg-config qttools5-dev-tools qttranslations5-l10n
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth x11-apps x11-utils xdotool imagemagick fonts-dejavu-core xz-utils
    nsis zip
)

# Installs what is missing (apt may be busy with another install: wait for it, never break in).
varno_win_install_packages() {
    varno_install_missing "${varno_win_packages[@]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    # The posix thread model (std::thread, std::mutex) for plain x86_64-w64-mingw32-g++ too; the
    # build itself names the -posix compilers.
    local tool
    for tool in gcc g++; do
        if [ "$(readlink -f "/usr/bin/x86_64-w64-mingw32-$tool")" != "/usr/bin/x86_64-w64-mingw32-$tool-posix" ]; then
            $sudo update-alternatives --set "x86_64-w64-mingw32-$tool" "/usr/bin/x86_64-w64-mingw32-$tool-posix" >/dev/null
        fi
    done
}

# The Qt 5.15.8 toolchain archive: VARNO_WIN_TOOLCHAIN, else the shared folder beside the
# checkout, else the one tools/windows/build-toolchain.sh writes. Prints its path, or nothing.
varno_win_find_toolchain() {
    local candidate
    for candidate in "${VARNO_WIN_TOOLCHAIN:-}" \
        "../shared/toolchains/qt5.15.8-mingw64-posix.tar.xz" \
        "$HOME/.cache/varno/qt5.15.8-mingw64-posix.tar.xz"; do
        if [ -n "$candidate" ] && [ -f "$candidate" ]; then
            echo "$(cd "$(dirname "$candidate")" && pwd)/$(basename "$candidate")"
            return 0
        fi
    done
    if [ -n "${VARNO_WIN_TOOLCHAIN:-}" ]; then
        echo "VARNO_WIN_TOOLCHAIN=$VARNO_WIN_TOOLCHAIN is not a file" >&2
    fi
    return 1
}

varno_win_toolchain_help() {
    cat >&2 <<'HELP'
No Qt toolchain for Windows. Give one of:
  VARNO_WIN_TOOLCHAIN=/path/to/qt5.15.8-mingw64-posix.tar.xz
  ../shared/toolchains/qt5.15.8-mingw64-posix.tar.xz beside the checkout
  ~/.cache/varno/qt5.15.8-mingw64-posix.tar.xz, made by: bash tools/windows/build-toolchain.sh
    (Qt from Debian's own sources, about 35 minutes on two cores)
HELP
}

# Unpacks the archive into build-win/ once per archive; sets VARNO_WIN_QT to the Qt prefix.
varno_win_unpack_toolchain() {
    local archive=$1 stamp=build-win/toolchain.sha256 sum
    sum=$(sha256sum "$archive" | cut -d' ' -f1)
    VARNO_WIN_QT=$PWD/build-win/qt5.15.8-mingw64
    if [ ! -d "$VARNO_WIN_QT/bin" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$sum" ]; then
        echo "Unpacking $archive"
        rm -rf "$VARNO_WIN_QT"
        mkdir -p build-win
        tar -C build-win -xJf "$archive"
        echo "$sum" > "$stamp"
    fi
    export VARNO_WIN_QT
}

# Z:\ form of a Linux path, for Wine.
varno_win_path() {
    local path
    path=$(readlink -f "$1")
    echo "Z:${path//\//\\}"
}

# The folders of the runtime DLLs the executables import (libstdc++, libgcc_s_seh, libwinpthread)
# and of Qt's DLLs, ';'-separated for WINEPATH.
varno_win_dll_path() {
    local gcc pthread
    gcc=$(dirname "$(readlink -f "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")")
    pthread=$(dirname "$(readlink -f "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")")
    echo "$(varno_win_path "$gcc");$(varno_win_path "$pthread");$(varno_win_path "$VARNO_WIN_QT/bin")"
}
