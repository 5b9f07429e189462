#!/usr/bin/env bash
# The full check, as CI runs it:
#   1. installs what is missing (scripts/setup.sh);
#   2. configures build/ (or $BUILD_DIR) with Ninja, -O2 without debug information and ccache,
#      builds everything and runs every test (unit, integration, peers, scripts);
#   3. configures build-asan/ (or $ASAN_BUILD_DIR) with AddressSanitizer and
#      UndefinedBehaviorSanitizer, builds the unit tests (camsim's aside) and
#      the integration tests, and runs them (the integration tests of the
#      device, the video source, its settings and the channels' lifetimes,
#      against the plain build's camsim) with leak detection on;
#   4. configures build-tsan/ (or $TSAN_BUILD_DIR) with ThreadSanitizer and runs
#      the unit tests of the threaded code (connection policy, HTTP, RTSP, PTZ);
#   5. builds the fuzz targets with clang in build-fuzz/ and runs each from its
#      seeds with a fixed seed for FUZZ_RUNS inputs (default 30000, at most
#      FUZZ_SECONDS, default 20) (scripts/fuzz.sh).
# Every stage always runs; the exit status is non-zero when any failed.
# JOBS (default 2) sets the build and test parallelism.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root" || exit 1
BUILD_DIR="${BUILD_DIR:-$root/build}"
ASAN_BUILD_DIR="${ASAN_BUILD_DIR:-$root/build-asan}"
TSAN_BUILD_DIR="${TSAN_BUILD_DIR:-$root/build-tsan}"
JOBS="${JOBS:-2}"
# The same sources in another checkout still hit the compiler cache.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1

step() { printf '\n=== %s ===\n' "$*"; }
failed=()

step "setup"
bash scripts/setup.sh || { echo "test.sh: setup failed" >&2; exit 1; }

common=(-G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Debug information costs about 40 % of the compile time on two cores: the
# main build goes without, the sanitizer builds keep line tables for their
# stack traces.
plain=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")
# The sanitizer builds compile the driver and NetKit as unity builds: a cold
# compiler cache costs half the time.
sanitized=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
           -DVAPIXCAM_UNITY=ON)

step "configure and build $BUILD_DIR"
if cmake -S . -B "$BUILD_DIR" "${common[@]}" "${plain[@]}" -DVAPIXCAM_TESTS=ON -DVAPIXCAM_BENCH=ON \
        -DVAPIXCAM_SANITIZE= &&
   cmake --build "$BUILD_DIR" -j"$JOBS"; then
    step "tests"
    (cd "$BUILD_DIR" && ctest --output-on-failure -j"$JOBS") || failed+=("tests")
else
    failed+=("build")
fi

step "configure and build $ASAN_BUILD_DIR (address,undefined)"
if cmake -S . -B "$ASAN_BUILD_DIR" "${common[@]}" "${sanitized[@]}" -DVAPIXCAM_TESTS=ON -DVAPIXCAM_BENCH=OFF \
        -DVAPIXCAM_SANITIZE=address,undefined; then
    # camsim is test equipment: its unit tests and the tools the integration
    # tests start run from the plain build ($VAPIXCAM_TOOLS_DIR); what is
    # instrumented is the driver and NetKit inside the test processes.
    mapfile -t unit_targets < <(ninja -C "$ASAN_BUILD_DIR" -t targets all 2>/dev/null |
                                sed -n 's/^\(unit_[A-Za-z0-9_]*\): .*/\1/p' | grep -v '^unit_camsim$' | sort -u)
    asan_integration=(integration_tests)
    # The integration tests whose objects have asynchronous lifetimes.
    asan_filter='DeviceConnection*:VideoSourceLive*:VideoSettings*:ChannelLifetime*:Ptz*:Storage*:EventStream*:Analytics*:Io*:Audio*'
    asan_env=(ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
              UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}")
    if [ ${#unit_targets[@]} -eq 0 ]; then
        echo "test.sh: no unit test targets found" >&2
        failed+=("sanitizer build")
    elif cmake --build "$ASAN_BUILD_DIR" -j"$JOBS" --target "${unit_targets[@]}" "${asan_integration[@]}"; then
        step "unit tests under sanitizers"
        (cd "$ASAN_BUILD_DIR" && env "${asan_env[@]}" ctest -L unit --output-on-failure -j"$JOBS") ||
            failed+=("sanitizer tests")
        step "integration tests of device, video source, settings and lifetimes under sanitizers"
        env "${asan_env[@]}" VAPIXCAM_TOOLS_DIR="$BUILD_DIR/bin" "$ASAN_BUILD_DIR/bin/integration_tests" --gtest_brief=1 \
            --gtest_filter="$asan_filter" || failed+=("sanitizer integration tests")
    else
        failed+=("sanitizer build")
    fi
else
    failed+=("sanitizer configure")
fi

step "configure and build $TSAN_BUILD_DIR (thread)"
tsan_targets=(unit_device unit_http unit_rtsp unit_params unit_stream unit_ptz unit_discovery unit_storage unit_events
             unit_analytics unit_io unit_audio)
if cmake -S . -B "$TSAN_BUILD_DIR" "${common[@]}" "${sanitized[@]}" -DVAPIXCAM_TESTS=ON -DVAPIXCAM_BENCH=OFF \
        -DVAPIXCAM_TOOLS=OFF -DVAPIXCAM_SANITIZE=thread &&
   cmake --build "$TSAN_BUILD_DIR" -j"$JOBS" --target "${tsan_targets[@]}"; then
    step "threaded unit tests under ThreadSanitizer"
    for t in "${tsan_targets[@]}"; do
        TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1}" \
            "$TSAN_BUILD_DIR/bin/$t" --gtest_brief=1 || failed+=("tsan $t")
    done
else
    failed+=("thread sanitizer build")
fi

# A fixed seed and run count keep the stage repeatable: what passed here
# passes in CI; longer, exploring runs are scripts/fuzz.sh's job.
step "fuzz targets, ${FUZZ_RUNS:-30000} runs each (at most ${FUZZ_SECONDS:-20} s)"
rm -rf "$root/build-fuzz/corpus"
FUZZ_SEED="${FUZZ_SEED:-1}" FUZZ_RUNS="${FUZZ_RUNS:-30000}" bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}" ||
    failed+=("fuzz")

if [ ${#failed[@]} -gt 0 ]; then
    step "FAILED: ${failed[*]}"
    exit 1
fi
step "all passed"
