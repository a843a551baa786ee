#!/bin/sh
# How much of the core the fuzzers' corpora reach: builds fuzz/ with
# clang's source coverage in $BUILD, runs each fuzzer once over its corpus
# (the seeds in fuzz/corpus and what scripts/fuzz.sh found in build-fuzz),
# and reports with llvm-cov the functions of platform/, dsp/, engine/,
# events/ and files/
# linked into the fuzzers that were reached: the core's own logic, not the
# code that runs csound, which no fuzzer links, nor the signal handling,
# which no input reaches. Fails when fewer than MIN percent (default 80:
# a minute's fuzzing reaches 82 to 86 % from run to run, live play's
# transport and clock code being linked in and fuzzed by none) are.
#   sh scripts/fuzz.sh 60 && sh scripts/fuzz-coverage.sh
set -eu
cd "$(dirname "$0")/.."
MIN=${MIN:-80}
BUILD=${BUILD:-build-fuzz-coverage}
FOUND=${FOUND:-build-fuzz}
cmake -S fuzz -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DZELMORA_FUZZ_COVERAGE=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)" >/dev/null
rm -f "$BUILD"/*.profraw
FUZZERS="fuzz_param_file fuzz_event_file fuzz_render fuzz_score_reader fuzz_grain_voices fuzz_osc fuzz_nsm fuzz_bindings fuzz_midi fuzz_tuning"
for fuzzer in $FUZZERS; do
  case $fuzzer in
    fuzz_param_file) seeds=param ;;
    fuzz_event_file) seeds=event ;;
    fuzz_score_reader) seeds=score ;;
    fuzz_grain_voices) seeds=voices ;;
    fuzz_osc) seeds=osc ;;
    fuzz_nsm) seeds=nsm ;;
    fuzz_bindings) seeds=bindings ;;
    fuzz_midi) seeds=midi ;;
    fuzz_tuning) seeds=tuning ;;
    *) seeds=render ;;
  esac
  mkdir -p "$FOUND/corpus-$seeds"
  LLVM_PROFILE_FILE="$BUILD/$fuzzer-%p.profraw" "$BUILD/$fuzzer" -runs=0 -close_fd_mask=3 \
    "fuzz/corpus/$seeds" "$FOUND/corpus-$seeds" 2>"$BUILD/$fuzzer.log" ||
    { tail -n 20 "$BUILD/$fuzzer.log"; exit 1; }
done
llvm-profdata merge -sparse "$BUILD"/*.profraw -o "$BUILD/fuzz.profdata"
objects=""
for fuzzer in $FUZZERS; do objects="${objects:+$objects -object }$BUILD/$fuzzer"; done
# shellcheck disable=SC2086 # one word each
llvm-cov report $objects -instr-profile="$BUILD/fuzz.profdata" \
  -ignore-filename-regex='platform/interrupt' platform dsp engine events files >"$BUILD/report.txt"
cat "$BUILD/report.txt"
# TOTAL's columns: regions, missed, cover, functions, missed, executed, ...
executed=$(awk '$1 == "TOTAL" { sub("%", "", $7); print $7 }' "$BUILD/report.txt")
echo "functions of the core reached: $executed % (at least $MIN % wanted)"
awk -v got="$executed" -v min="$MIN" 'BEGIN { exit !(got >= min) }'
