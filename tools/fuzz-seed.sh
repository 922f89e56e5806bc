#!/usr/bin/env bash
# Seeds fuzz/corpus/<target> from real inputs, made by our own simulator and converter:
#   fuzz_records     the simulator's reply to every command, as the message the task decodes
#   fuzz_framer      the same replies as the frames that carry them on the line (after the byte
#                    that picks the read size)
#   fuzz_statistics  the simulator's MEASTIME.DAT and MEASURE.DAT, small, in the target's layout
#                    (index length, index, values)
#   fuzz_historyfile a history converted from them, and one pulled from the simulator, which
#                    carries the provenance table (both with small pages)
# Files already in the corpus stay; minimise afterwards (-merge=1) if it grew. Needs varno-devsim
# and varnoctl built in BUILD_DIR (default build); CORPUS_DIR (default fuzz/corpus) is written.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
devsim="$build/tools/devsim/varno-devsim"
varnoctl="$build/tools/varnoctl/varnoctl"
corpus="${CORPUS_DIR:-fuzz/corpus}"
work=$(mktemp -d "${TMPDIR:-/tmp}/varno-seed.XXXXXX")
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$corpus/fuzz_records" "$corpus/fuzz_framer" "$corpus/fuzz_statistics" "$corpus/fuzz_historyfile"

# Small statistics: two blocks of twenty values.
stats=(--stat-blocks 2 --stat-values 20)
"$devsim" "${stats[@]}" --replies "$work/replies"
for reply in "$work"/replies/*.reply; do
    name=$(basename "$reply" .reply)
    cp "$reply" "$corpus/fuzz_records/$name"
    # Read sizes of 7 and 24 bytes: frames split inside and at their ends.
    { printf '\006'; cat "$work/replies/$name.frames"; } >"$corpus/fuzz_framer/$name"
    { printf '\027'; cat "$work/replies/$name.frames"; } >"$corpus/fuzz_framer/$name-24"
done

# The simulator writes its file system when it stops; on the way it serves one history pull.
fifo="$work/sim.out"
mkfifo "$fifo"
"$devsim" "${stats[@]}" --env-fixed --dump "$work/dump" >"$fifo" &
sim=$!
exec 3<"$fifo"
read -r port <&3
"$varnoctl" --port "$port" history pull --out "$work/pulled.hist" >/dev/null
kill -TERM "$sim"
wait "$sim" || true
sim=""
exec 3<&-

index="$work/dump/MEASTIME.DAT"
values="$work/dump/MEASURE.DAT"
size=$(stat -c %s "$index")
{ printf "\\x$(printf %02x $((size >> 8)))\\x$(printf %02x $((size & 255)))"; cat "$index" "$values"; } \
    >"$corpus/fuzz_statistics/simulator_blocks"

"$varnoctl" history convert "$index" "$values" --out "$work/converted.hist" >/dev/null
# Pages of 512 bytes instead of 4096: the same histories in a fraction of the bytes, so that the
# fuzzer's changes land in the schema and the rows rather than in free space.
python3 - "$work/converted.hist" "$work/pulled.hist" <<'PY'
import sqlite3, sys
for path in sys.argv[1:]:
    db = sqlite3.connect(path)
    db.execute("PRAGMA page_size = 512")
    db.execute("VACUUM")
    db.close()
PY
cp "$work/converted.hist" "$corpus/fuzz_historyfile/converted.hist"
cp "$work/pulled.hist" "$corpus/fuzz_historyfile/pulled_with_provenance.hist"
echo "Seeded $corpus from the simulator."
