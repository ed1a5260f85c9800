#!/usr/bin/env bash
# Runs valgrind memcheck over the integration tests: every test case of the
# test programs that talk to a pseudo-terminal peer or the simulator, each
# case in a process of its own (as CTest runs them). Uses the default build.
# A case fails on any memcheck error or leak, or when the test itself fails.
#   scripts/valgrind.sh [regex of test programs]
set -euo pipefail
cd "$(dirname "$0")/.."
filter="${1:-.}"
cmake --preset default >/dev/null
cmake --build --preset default -j2 >/dev/null
logdir=build/default/valgrind
rm -rf "$logdir"
mkdir -p "$logdir"

cases=()
for src in tests/*_test.cpp; do
  name=$(basename "$src" .cpp)
  grep -qE 'sim_fixture\.h|link_fixture\.h|pty_peer\.h' "$src" || continue
  [[ "$name" =~ $filter ]] || continue
  bin=build/default/tests/$name
  [ -x "$bin" ] || continue
  suite=""
  while IFS= read -r line; do
    if [[ "$line" != " "* ]]; then
      suite=${line%% *}
    else
      test=${line#  }
      test=${test%% *}
      cases+=("$bin $suite$test")
    fi
  done < <("$bin" --gtest_list_tests)
done
echo "valgrind memcheck: ${#cases[@]} test cases"

run_case() {
  local bin=$1 test=$2
  local log="$VG_LOGDIR/$(basename "$bin").${test//\//_}.log"
  if valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
       --errors-for-leak-kinds=definite,indirect --track-fds=no --quiet \
       --log-file="$log" "$bin" --gtest_filter="$test" >"$log.out" 2>&1; then
    echo "ok   $test"
  else
    echo "FAIL $test (log: $log)"
    return 1
  fi
}
export -f run_case
export VG_LOGDIR=$logdir
status=0
printf '%s\n' "${cases[@]}" | xargs -P2 -L1 bash -c 'run_case "$0" "$1"' || status=1
if [ $status -eq 0 ]; then
  echo "valgrind memcheck: clean (${#cases[@]} cases)"
else
  echo "valgrind memcheck: failures, see $logdir"
fi
exit $status
