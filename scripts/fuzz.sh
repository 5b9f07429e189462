#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang in build-fuzz/ (or
# $FUZZ_BUILD_DIR) and runs each for SECONDS (default 60) on its corpus:
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      e.g. scripts/fuzz.sh 15 sdp rtp
#
# Each target starts from fuzz/corpus/<target>/ (hand-written seeds and
# regression inputs) and the seeds fuzz/seeds.py makes from tests/data; what
# it learns stays in $FUZZ_BUILD_DIR/corpus/<target>/ for the next run.
# Prints per target the runs executed and the verdict. A crash, leak,
# time-out, out-of-memory or sanitizer report is a finding: its reproducer is
# kept in $FUZZ_BUILD_DIR/findings/<target>/ (replay it with
# build-fuzz/bin/fuzz_<target> FILE) and the exit status is non-zero.
# JOBS (default 2) targets run at once and set the build parallelism;
# FUZZ_SEED and FUZZ_RUNS fix libFuzzer's seed and number of runs.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root" || exit 1
seconds="${1:-60}"
shift $(( $# > 0 ? 1 : 0 ))
FUZZ_BUILD_DIR="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
JOBS="${JOBS:-2}"
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1

if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
    exit 2
fi
CXX_FUZZ="${CXX_FUZZ:-$(command -v clang++ || command -v clang++-14)}"
if [ -z "$CXX_FUZZ" ]; then
    echo "fuzz.sh: clang++ not found (scripts/setup.sh installs it)" >&2
    exit 1
fi

if [ $# -gt 0 ]; then
    targets=("$@")
else
    mapfile -t targets < <(ls fuzz/*.cpp | xargs -n1 basename | sed 's/\.cpp$//' | grep -v '^FuzzSupport$')
fi

started=$(date +%s)
cmake -S . -B "$FUZZ_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" \
      -DCMAKE_CXX_COMPILER="$CXX_FUZZ" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
      -DVAPIXCAM_FUZZ=ON -DVAPIXCAM_TESTS=OFF -DVAPIXCAM_BENCH=OFF -DVAPIXCAM_TOOLS=OFF \
      -DVAPIXCAM_SANITIZE= >/dev/null || { echo "fuzz.sh: configure failed" >&2; exit 1; }
cmake --build "$FUZZ_BUILD_DIR" -j"$JOBS" --target "${targets[@]/#/fuzz_}" ||
    { echo "fuzz.sh: build failed" >&2; exit 1; }
built=$(date +%s)
echo "fuzz.sh: built in $((built - started)) s"

seeds="$FUZZ_BUILD_DIR/seeds"
rm -rf "$seeds"
python3 fuzz/seeds.py "$seeds" || { echo "fuzz.sh: seeds failed" >&2; exit 1; }

logs="$FUZZ_BUILD_DIR/logs"
mkdir -p "$logs"

run_target() {
    local t=$1
    local corpus="$FUZZ_BUILD_DIR/corpus/$t" findings="$FUZZ_BUILD_DIR/findings/$t"
    mkdir -p "$corpus" "$findings" "$root/fuzz/corpus/$t" "$seeds/$t"
    rm -f "$findings"/*
    local dict=() repeat=()
    [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")
    # FUZZ_SEED (and FUZZ_RUNS) make a run repeatable: the same inputs in the
    # same order, as CI wants; without them each run explores anew.
    [ -n "${FUZZ_SEED:-}" ] && repeat+=(-seed="$FUZZ_SEED")
    [ -n "${FUZZ_RUNS:-}" ] && repeat+=(-runs="$FUZZ_RUNS")
    # New inputs go to the first folder; the others are only read.
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:allocator_may_return_null=1}" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}" \
        "$FUZZ_BUILD_DIR/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" "${dict[@]}" "${repeat[@]}" \
        "$corpus" "$root/fuzz/corpus/$t" "$seeds/$t" >"$logs/$t.log" 2>&1
    echo $? >"$logs/$t.status"
}

running=0
for t in "${targets[@]}"; do
    run_target "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$JOBS" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

status=0
printf '\n%-16s %12s %8s  %s\n' target runs corpus verdict
for t in "${targets[@]}"; do
    log="$logs/$t.log"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    units=$(ls "$FUZZ_BUILD_DIR/corpus/$t" 2>/dev/null | wc -l)
    reproducers=$(ls "$FUZZ_BUILD_DIR/findings/$t" 2>/dev/null)
    code=$(cat "$logs/$t.status" 2>/dev/null || echo 1)
    if [ "$code" -eq 0 ] && [ -z "$reproducers" ]; then
        verdict="nothing found"
    else
        status=1
        kind=$(grep -m1 -oE 'invariant violated: .*|runtime error: .*|ERROR: [A-Za-z]+Sanitizer: [a-z-]+( [a-z]+)*|ERROR: libFuzzer: [a-z-]+( [a-z]+)?' "$log" | head -1)
        verdict="FOUND ${kind:-exit $code}; reproducer: $(for r in $reproducers; do printf '%s ' "$FUZZ_BUILD_DIR/findings/$t/$r"; done)log: $log"
    fi
    printf '%-16s %12s %8s  %s\n' "$t" "${runs:-?}" "$units" "$verdict"
done
echo "fuzz.sh: $((built - started)) s build, $(( $(date +%s) - built )) s fuzzing, ${seconds} s per target"
exit $status
