#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each over a copy of its seed corpus. Any finding stops the
# run with a non-zero status and leaves the crashing input in the work folder.
#
#   tools/run-fuzzers.sh [SECONDS_PER_TARGET]   explore: a new random seed every time
#   tools/run-fuzzers.sh --runs N               a gate: N inputs a target from a fixed seed, a budget
#                                               that does not depend on the machine's speed
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --runs ]; then
  limit=(-runs="${2:?--runs needs a count}" -seed=1)
  budget="from seed 1"
else
  limit=(-max_total_time="${1:-60}")
  budget="in ${1:-60} s"
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=$(mktemp -d "${TMPDIR:-/tmp}/vorlanth-fuzz.XXXXXX")
for target in $(sed -n 's/^set(VORLANTH_FUZZ_TARGETS \(.*\))$/\1/p' CMakeLists.txt); do
  cp -r "tests/fuzz/corpus/$target" "$work/$target"
  log="$work/$target.log"
  if ! (cd "$work" && "$OLDPWD/build/fuzz/tests/fuzz/Fuzz$target" "${limit[@]}" \
        -print_final_stats=1 "$target" >"$log" 2>&1); then
    tail -n 40 "$log"
    echo "Fuzz$target: FINDING (inputs and log kept in $work)"
    exit 1
  fi
  runs=$(grep -o 'Done [0-9]* runs' "$log" | awk '{ print $2 }')
  echo "Fuzz$target: $runs executions $budget, no finding"
done
rm -rf "$work"
