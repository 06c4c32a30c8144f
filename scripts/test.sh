#!/usr/bin/env bash
# Every test: installs what is missing, builds, runs the whole suite, then the core and end-to-end
# tests again under AddressSanitizer + UndefinedBehaviorSanitizer and the tests that cross the job
# and window threads under ThreadSanitizer. The identity pool's tests run against SQLite and a
# private PostgreSQL server that lives as long as this script (scripts/with-postgres.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -z "${TELVANOR_TEST_PG_URL:-}" ]; then
    exec bash scripts/with-postgres.sh bash scripts/test.sh "$@"
fi
export QT_QPA_PLATFORM=offscreen

bash scripts/build.sh default
ctest --preset default -j 2

if [ "${TELVANOR_SKIP_SANITIZERS:-0}" != "1" ]; then
    bash scripts/build.sh sanitize
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --preset sanitize -j 2 -LE soak
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan -j "$(nproc)" --target burn_job_test station_test tst_bridge tst_burn tst_station
    # Qt's libraries are not built with the sanitizer: what they allocate and free on their own
    # thread pools, handed over by Qt's futex mutex, would read as races; only our code is watched.
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1 \
        ctest --test-dir build-tsan --output-on-failure -L threads
fi
