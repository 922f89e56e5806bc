#!/usr/bin/env bash
# Cross-builds VARNO Device Manager for 64-bit Windows into build-win/: varnodevm.exe, varnoctl.exe
# and the unit tests that tools/windows/test.sh runs under Wine. Qt comes from a prebuilt archive
# (see tools/windows/common.sh for where it is looked for); nothing here builds Qt.
set -euo pipefail
cd "$(dirname "$0")/../.."
# Paths relative to the checkout, so the compiler cache serves a clone in another folder too.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
source tools/windows/common.sh

varno_win_install_packages
if ! archive=$(varno_win_find_toolchain); then
    varno_win_toolchain_help
    exit 1
fi
varno_win_unpack_toolchain "$archive"

start=$(date +%s)
# lrelease is a host program; the .qm files it makes serve every platform.
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$VARNO_WIN_QT" \
    -DQt5LinguistTools_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DVARNO_WERROR=ON -DVARNO_BENCH=OFF >/dev/null
cmake --build build-win -j"${VARNO_JOBS:-$(nproc)}"
echo "Windows build took $(( $(date +%s) - start )) s"

echo "Windows programs: build-win/varnodevm.exe build-win/tools/varnoctl/varnoctl.exe"
echo "Windows unit tests: build-win/tests/windows/tst_*.exe"
echo "Qt prefix (DLLs in bin/, plugins in plugins/): $VARNO_WIN_QT"
echo "Run one under Wine: WINEPATH='$(varno_win_dll_path)' wine build-win/tools/varnoctl/varnoctl.exe --version"
