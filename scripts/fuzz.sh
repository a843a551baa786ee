#!/bin/sh
# Builds the fuzz targets with clang's libFuzzer and runs each for SECONDS
# (default 60) from the seed corpora in fuzz/corpus. New inputs the fuzzer
# finds are kept in $BUILD/corpus-*, not in the repository; a crash or a
# broken property stops with the input saved in $BUILD.
#   sh scripts/fuzz.sh 3600                 # an hour each
#   FUZZERS=fuzz_render sh scripts/fuzz.sh  # one of them
set -eu
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
BUILD=${BUILD:-build-fuzz}
FUZZERS=${FUZZERS:-fuzz_param_file fuzz_event_file fuzz_render fuzz_score_reader fuzz_grain_voices fuzz_osc fuzz_nsm fuzz_bindings fuzz_midi fuzz_tuning}
cmake -S fuzz -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j"$(nproc)" >/dev/null
for fuzzer in $FUZZERS; do
  case $fuzzer in
    fuzz_param_file) seeds=param dict=param.dict ;;
    fuzz_event_file) seeds=event dict=event.dict ;;
    fuzz_score_reader) seeds=score dict=score.dict ;;
    fuzz_grain_voices) seeds=voices dict= ;;
    fuzz_osc) seeds=osc dict=osc.dict ;;
    fuzz_nsm) seeds=nsm dict=osc.dict ;;
    fuzz_bindings) seeds=bindings dict= ;;
    fuzz_midi) seeds=midi dict= ;;
    fuzz_tuning) seeds=tuning dict= ;;
    *) seeds=render dict=event.dict ;;
  esac
  corpus="$BUILD/corpus-$seeds"
  mkdir -p "$corpus"
  # -close_fd_mask=3: the readers' own messages would drown the fuzzer's.
  "$BUILD/$fuzzer" -max_total_time="$SECONDS_EACH" -close_fd_mask=3 -print_final_stats=1 \
    ${dict:+-dict="fuzz/$dict"} -artifact_prefix="$BUILD/$fuzzer-" "$corpus" "fuzz/corpus/$seeds" \
    2>"$BUILD/$fuzzer.log" || { tail -n 40 "$BUILD/$fuzzer.log"; exit 1; }
  echo "$fuzzer: $(grep -E '^stat::number_of_executed_units' "$BUILD/$fuzzer.log" | tr -s ' ' | cut -d' ' -f2) executions in ${SECONDS_EACH} s"
done
