#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang 14, build/fuzz) and runs
# each of them for a while.
#   scripts/fuzz.sh [seconds per target]   (default 30)
#   scripts/fuzz.sh --smoke                (at most 60 seconds in all)
#   FUZZ_TARGETS="gcgetw readreal" scripts/fuzz.sh 120
# Each target starts from fuzz/corpus/<target> and keeps what it learns in
# build/fuzz/corpus/<target>; a crash is written to build/fuzz/artifacts and
# fails the run (reproduce: build/fuzz/fuzz/<target>_fuzz <file>).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

targets=()
if [ -n "${FUZZ_TARGETS:-}" ]; then
  targets=($FUZZ_TARGETS)
else
  for bin in build/fuzz/fuzz/*_fuzz; do
    [ -x "$bin" ] && targets+=("$(basename "$bin" _fuzz)")
  done
fi
if [ "${1:-}" = "--smoke" ]; then
  per=$((60 / ${#targets[@]}))
  [ "$per" -lt 1 ] && per=1
else
  per="${1:-30}"
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p build/fuzz/artifacts
status=0
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$t
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
  echo "== $t: ${per}s"
  if ! build/fuzz/fuzz/${t}_fuzz -max_total_time="$per" -timeout=10 -max_len=2048 \
       -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/${t}- \
       "$corpus" "${seeds[@]}" 2>build/fuzz/$t.log; then
    echo "   FAILED (log: build/fuzz/$t.log)"
    tail -40 build/fuzz/$t.log
    status=1
  else
    grep -E 'stat::number_of_executed_units|stat::new_units_added' build/fuzz/$t.log | sed 's/^/   /'
  fi
done
exit $status
