#!/usr/bin/env bash
# Runs every fuzz target for 10^7 executions, one after another on one core at the lowest
# priority, each from a copy of its corpus in fuzz/corpus/<target> and with fuzz/<target>.dict
# when there is one, and prints the executions, coverage and speed each reached. Inputs that found
# new coverage stay in the copies (named at the end): minimise them into the corpus with -merge=1.
# Crashes, leaks and time-outs land beside them as crash-*, leak-*, timeout-*; the run goes on
# with the next target.
#   tools/fuzz-long.sh [target ...]     (default: every target)
#   RUNS=1000000 tools/fuzz-long.sh     (fewer executions)
#   MAX_TIME=1800 tools/fuzz-long.sh    (and at most 30 minutes a target)
#   SANITIZE=OFF tools/fuzz-long.sh     (without AddressSanitizer: about twice the executions a
#                                        second for the SQLite-bound .hist target; finds crashes
#                                        and broken checks only)
set -uo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
runs="${RUNS:-10000000}"
limit=()
[ -n "${MAX_TIME:-}" ] && limit=("-max_total_time=$MAX_TIME")
sanitize="${SANITIZE:-ON}"
build="${BUILD_DIR:-build-fuzz}"
[ "$sanitize" = ON ] || build="${BUILD_DIR:-build-fuzz-plain}"
# glibc looks at /etc/localtime again on every local-time conversion while TZ is unset: that stat
# was half of the statistics target's time. A named zone with summer time keeps those paths.
export TZ="${TZ:-Europe/Berlin}"
# The history targets write each input to a file first: in memory, that doubles their speed.
scratch="${TMPDIR:-/tmp}"
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm

# Optimised, with AddressSanitizer: several times the executions of the Debug build CI uses.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVARNO_SANITIZE="$sanitize" -DVARNO_FUZZ=ON -DVARNO_BENCH=OFF >/dev/null || exit 1
if [ $# -gt 0 ]; then
    targets=("$@")
else
    mapfile -t targets < <(ninja -C "$build" -t targets all | sed -n 's/^\(fuzz_[a-z_]*\): .*/\1/p' | grep -v '_autogen' | sort -u)
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" || exit 1

work=$(mktemp -d "${TMPDIR:-/tmp}/varno-fuzz.XXXXXX")
summary=()
for name in "${targets[@]}"; do
    binary=$(find "$build/fuzz" -type f -name "$name" -perm -u+x | head -n 1)
    corpus="$work/$name"
    mkdir -p "$corpus"
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
    dict=()
    [ -f "fuzz/$name.dict" ] && dict=("-dict=fuzz/$name.dict")
    echo "== $name: $runs executions from $(ls "$corpus" | wc -l) inputs"
    TMPDIR="$scratch" nice -n 19 "$binary" -runs="$runs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${limit[@]}" \
        -artifact_prefix="$work/$name-" "${dict[@]}" "$corpus" >"$work/$name.log" 2>&1
    status=$?
    grep -E '^#[0-9]+.*DONE|^stat::|^SUMMARY|ERROR: libFuzzer' "$work/$name.log"
    done_line=$(grep -E '^#[0-9]+.*DONE' "$work/$name.log" | tail -n 1)
    summary+=("$name: exit $status; ${done_line:-no DONE line, see $work/$name.log}")
done
echo
echo "== Summary (logs, grown corpora and any crash-/leak-/timeout- inputs in $work)"
printf '%s\n' "${summary[@]}"
