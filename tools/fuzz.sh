#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 60). New inputs go to a scratch folder; the seed corpus
# in fuzz/corpus stays as committed. Exits non-zero on the first finding.
# VARROK_FUZZ_SEED fixes the random seed (the test script uses 1, so that its
# short run explores the same inputs every time); unset, each run differs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
seed=()
[ -n "${VARROK_FUZZ_SEED:-}" ] && seed=(-seed="$VARROK_FUZZ_SEED")
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVARROK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(fuzz_answers fuzz_des fuzz_sim_requests)
cmake --build build-fuzz -j2 --target "${targets[@]}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for t in "${targets[@]}"; do
    corpus=fuzz/corpus/${t#fuzz_}
    mkdir -p "$scratch/$t" "$corpus"
    echo "== $t for ${seconds}s"
    (cd "$scratch" && "$OLDPWD/build-fuzz/fuzz/$t" -max_total_time="$seconds" "${seed[@]}" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$scratch/$t" "$OLDPWD/$corpus" 2>&1) | grep -E "stat::number_of_executed_units|ERROR|SUMMARY|Test unit written" || true
    if ls "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-* >/dev/null 2>&1; then
        mkdir -p fuzz/findings && cp "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-* fuzz/findings/ 2>/dev/null || true
        echo "finding in $t: see fuzz/findings/"
        exit 1
    fi
done
