#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 60). New inputs go to a scratch folder; the seed corpus
# in fuzz/corpus stays as committed. Any finding (crash, leak, time-out, out of
# memory) or a fuzzer that ends with an error fails the run; what it found is
# copied to fuzz/findings/.
# VARROK_FUZZ_SEED fixes the random seed (the test script uses 1, so that its
# short run explores the same inputs every time); unset, each run differs.
#
#   tools/fuzz.sh [SECONDS]      fuzz every target
#   tools/fuzz.sh --self-check   prove that a finding fails the run: a target
#                                planted with a crash must be reported
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seed=()
[ -n "${VARROK_FUZZ_SEED:-}" ] && seed=(-seed="$VARROK_FUZZ_SEED")
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVARROK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
scratch=$(mktemp -d)
keep_findings=1
trap 'rm -rf "$scratch"' EXIT

# run_target NAME SECONDS CORPUS...: 0 when the target ran clean, 1 on a finding.
run_target() {
    local t=$1 seconds=$2
    shift 2
    mkdir -p "$scratch/$t"
    local status=0
    (cd "$scratch" && "$root/build-fuzz/fuzz/$t" -max_total_time="$seconds" "${seed[@]}" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 "$scratch/$t" "$@" >"$scratch/$t.log" 2>&1) || status=$?
    grep -E "stat::number_of_executed_units|ERROR|SUMMARY|Test unit written" "$scratch/$t.log" || true
    local findings
    findings=$(find "$scratch" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) -print)
    if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
        if [ -n "$findings" ] && [ "$keep_findings" = 1 ]; then
            mkdir -p "$root/fuzz/findings"
            # shellcheck disable=SC2086
            cp $findings "$root/fuzz/findings/"
        fi
        echo "finding in $t (fuzzer status $status): see fuzz/findings/ and the lines above"
        return 1
    fi
}

if [ "${1:-}" = "--self-check" ]; then
    cmake --build build-fuzz -j2 --target fuzz_selfcheck
    mkdir -p "$scratch/planted"
    cp fuzz/selfcheck/planted_input "$scratch/planted/"
    keep_findings=0
    if run_target fuzz_selfcheck 20 "$scratch/planted" >/dev/null; then
        echo "self-check FAILED: a planted crash went unreported" >&2
        exit 1
    fi
    echo "self-check: a planted crash fails the fuzzing stage"
    exit 0
fi

seconds=${1:-60}
targets=(fuzz_answers fuzz_des fuzz_sim_requests fuzz_dump_formats)
cmake --build build-fuzz -j2 --target "${targets[@]}"
for t in "${targets[@]}"; do
    corpus=fuzz/corpus/${t#fuzz_}
    mkdir -p "$corpus"
    echo "== $t for ${seconds}s"
    run_target "$t" "$seconds" "$root/$corpus" || exit 1
done
