#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each over a copy of its seed corpus. Any finding stops the
# run with a non-zero status and leaves the crashing input in the work folder.
#
#   tools/run-fuzzers.sh [SECONDS_PER_TARGET]   explore: a new random seed every time
#   tools/run-fuzzers.sh --runs N               a gate: N inputs a target (the PO one N/2) from a
#                                               fixed seed, a budget
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
targets=$(sed -n 's/^set(VORLANTH_FUZZ_TARGETS \(.*\))$/\1/p' CMakeLists.txt)
# The targets run side by side, one a core; each one's work is fixed by its budget all the same.
run_target() {
  local target=$1 status=0 own=("${limit[@]}")
  # An input of the PO target is four conversions (an export, a pair, two imports): it gets half
  # the inputs, as much work as the others.
  if [ "$target" = Po ] && [[ "${limit[0]}" == -runs=* ]]; then
    own=(-runs=$((${limit[0]#-runs=} / 2)) "${limit[@]:1}")
  fi
  cp -r "tests/fuzz/corpus/$target" "$work/$target"
  (cd "$work" && "$OLDPWD/build/fuzz/tests/fuzz/Fuzz$target" "${own[@]}" \
    -print_final_stats=1 "$target" >"$work/$target.log" 2>&1) || status=$?
  echo "$status" >"$work/$target.status"
}
cores=$(nproc)
for target in $targets; do
  while [ "$(jobs -rp | wc -l)" -ge "$cores" ]; do
    wait -n || true
  done
  run_target "$target" &
done
wait

found=0
for target in $targets; do
  log="$work/$target.log"
  if [ "$(cat "$work/$target.status")" != 0 ]; then
    tail -n 40 "$log"
    echo "Fuzz$target: FINDING (inputs and log kept in $work)"
    found=1
    continue
  fi
  runs=$(grep -o 'Done [0-9]* runs in [0-9]*' "$log" | awk '{ print $2 " executions in " $5 " s" }')
  echo "Fuzz$target: $runs $budget, no finding"
done
[ "$found" = 0 ] || exit 1
rm -rf "$work"
