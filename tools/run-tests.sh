#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: with gcc and warnings as errors three times
# over, so that a test which fails only now and then is caught; then the README's run command, which
# must show the simulated monitor; then once with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer; then the fuzz targets; then the Windows build and its tests under Wine
# when the Qt toolchain for Windows is at hand. Every test has a time limit, so none can hang.
set -euo pipefail
cd "$(dirname "$0")/.."
# Paths relative to the checkout, so the compiler cache serves a clone in another folder too.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
bash tools/setup.sh

# Known before the long stages: is the Windows stage at the end going to run?
source tools/windows/common.sh
windows=1
if ! varno_win_find_toolchain >/dev/null; then
    windows=0
    varno_win_toolchain_help
    if [ "${VARNO_REQUIRE_WINDOWS:-0}" = "1" ]; then
        echo "VARNO_REQUIRE_WINDOWS=1: the Windows stage cannot be skipped." >&2
        exit 1
    fi
    echo "The Windows stage will be SKIPPED." >&2
fi

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake -S . -B build -G Ninja -DVARNO_WERROR=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300 --repeat until-fail:3)

bash tools/run-app.sh

# The Debian packages, built from a clean copy and tried as a person uses them (install, upgrade,
# purge). nocheck: the suite above has just run three times over on the same sources.
DEB_BUILD_OPTIONS=nocheck timeout 3600 bash tools/build-deb.sh
timeout 900 bash tools/test-deb.sh

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DVARNO_SANITIZE=ON -DVARNO_FUZZ=ON -DVARNO_BENCH=OFF
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 300)

# Each fuzz target gets a bounded run over its corpus (fuzz/corpus/<target>, with fuzz/<target>.dict
# when there is one). tools/fuzz-long.sh runs them for 10^7 executions each, and says why TZ is set
# and the inputs' files go to /dev/shm.
scratch=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
for target in $(find build-asan/fuzz -maxdepth 2 -type f -name 'fuzz_*' -perm -u+x | sort); do
    name=$(basename "$target")
    corpus=$(mktemp -d)
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
    dict=()
    [ -f "fuzz/$name.dict" ] && dict=("-dict=fuzz/$name.dict")
    echo "Fuzzing $name"
    TZ="${TZ:-Europe/Berlin}" TMPDIR="$scratch" "$target" -max_total_time=25 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" "$corpus" 2>&1 | tail -n 12
    rm -rf "$corpus"
done

# Windows: cross-built and tested under Wine, with the simulator built above.
if [ "$windows" = 1 ]; then
    windows_start=$SECONDS
    bash tools/windows/build.sh
    VARNO_DEVSIM="$PWD/build/tools/devsim/varno-devsim" bash tools/windows/test.sh
    echo "Windows stage took $((SECONDS - windows_start)) s"
else
    echo "SKIPPED the Windows stage: no Qt toolchain for Windows (see above for how to get one)." >&2
fi
