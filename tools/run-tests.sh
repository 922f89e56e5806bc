#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: with gcc and warnings as errors three times
# over, so that a test which fails only now and then is caught; then the README's run command, which
# must show the simulated monitor; then once with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer; then the fuzz targets. Every test has a time limit, so none can hang.
set -euo pipefail
cd "$(dirname "$0")/.."
# Paths relative to the checkout, so the compiler cache serves a clone in another folder too.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
bash tools/setup.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake -S . -B build -G Ninja -DVARNO_WERROR=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300 --repeat until-fail:3)

bash tools/run-app.sh

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DVARNO_SANITIZE=ON -DVARNO_FUZZ=ON -DVARNO_BENCH=OFF
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 300)

# Each fuzz target gets a bounded run over its corpus (fuzz/corpus/<target>, with fuzz/<target>.dict
# when there is one). tools/fuzz-long.sh runs them for 10^7 executions each.
for target in $(find build-asan/fuzz -maxdepth 2 -type f -name 'fuzz_*' -perm -u+x | sort); do
    name=$(basename "$target")
    corpus=$(mktemp -d)
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
    dict=()
    [ -f "fuzz/$name.dict" ] && dict=("-dict=fuzz/$name.dict")
    echo "Fuzzing $name"
    "$target" -max_total_time=25 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" "$corpus" 2>&1 | tail -n 12
    rm -rf "$corpus"
done
