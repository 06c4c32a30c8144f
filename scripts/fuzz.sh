#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) and runs each for the given
# number of seconds on a copy of its seed corpus, so the corpus in the repository does not grow.
#   bash scripts/fuzz.sh [seconds per target, default 60] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
bash scripts/setup.sh clang libclang-rt-14-dev
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}" -j "$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in "${targets[@]}"; do
    mkdir -p "$work/$t"
    cp -r "tests/fuzz/corpus/$t/." "$work/$t/" 2>/dev/null || true
    echo "== $t: $seconds s"
    "build-fuzz/tests/fuzz/$t" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$work/$t-" "$work/$t" 2>&1 | grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss|==[0-9]+==ERROR|SUMMARY)" || true
    if ls "$work/$t-"* >/dev/null 2>&1; then
        echo "!! $t found a failing input:"; ls "$work/$t-"*; cp "$work/$t-"* . ; exit 1
    fi
done
