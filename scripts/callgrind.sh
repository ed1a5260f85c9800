#!/usr/bin/env bash
# Instruction counts (valgrind --tool=callgrind) of one angle read (gcreada)
# and one drive request (gcdrsc) against the simulated controller, counted
# only inside the entry point and its callees. Counts are repeatable on a
# busy machine, unlike times; compare them before and after a change.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target callgrind_bench >/dev/null
out=build/default/callgrind
rm -rf "$out"
mkdir -p "$out"
for mode in read drive; do
  fn=gcreada
  [ "$mode" = drive ] && fn=gcdrsc
  valgrind --tool=callgrind --collect-atstart=no --toggle-collect="$fn" \
    --callgrind-out-file="$out/$mode.%p" build/default/bench/callgrind_bench "$mode" \
    >"$out/$mode.log" 2>&1 || { echo "$mode: probe failed (see $out/$mode.log)"; exit 1; }
  # The dump made right after the call holds its count.
  file=$(grep -l "^desc: Trigger: Client Request: $fn" "$out/$mode".* | head -1)
  total=$(sed -n 's/^summary: //p;s/^totals: //p' "$file" | head -1)
  printf '%-8s %12s instructions (one call, callees included)\n' "$fn" "$total"
done
