#!/usr/bin/env bash
# Fuzzes every module's entry for SECONDS (default 60), all targets at once,
# one process each; prints one line per module (executions, coverage,
# findings) and exits non-zero on any finding. docs/fuzzing.md tells more.
#   bash scripts/fuzz.sh [SECONDS]
# The corpus grows in build/fuzz/campaign/corpus/<module> (from the kept inputs
# in tests/fuzz/), findings land in build/fuzz/campaign/findings/<module>,
# each target's log in build/fuzz/campaign/<module>.log.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/setup.sh packages.txt testPackages.txt >/dev/null || exit 1
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j"$(nproc)" >/dev/null || {
  echo "fuzz: the build failed (cmake --build --preset fuzz)"
  exit 1
}

campaign=build/fuzz/campaign
mkdir -p "$campaign"
start="$campaign/.start"
touch "$start"
declare -A pid
for binary in build/fuzz/*Fuzz; do
  name=$(basename "$binary" Fuzz)
  mkdir -p "$campaign/corpus/$name" "$campaign/findings/$name"
  # Idle team threads sleep rather than spin on the shared cores.
  OMP_NUM_THREADS=2 OMP_WAIT_POLICY=passive "$binary" "$campaign/corpus/$name" \
    "tests/fuzz/corpus/$name" "tests/fuzz/regressions/$name" \
    -max_total_time="$seconds" -max_len=16384 -timeout=1 -print_final_stats=1 \
    -artifact_prefix="$campaign/findings/$name/" >"$campaign/$name.log" 2>&1 &
  pid[$name]=$!
done

status=0
for name in $(printf '%s\n' "${!pid[@]}" | sort); do
  wait "${pid[$name]}"
  code=$?
  log="$campaign/$name.log"
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 | awk '{ print $2 " edges, " $4 " features" }')
  mapfile -t found < <(find "$campaign/findings/$name" -type f -newer "$start")
  noun=findings
  ((${#found[@]} == 1)) && noun=finding
  line="$name: ${executions:-0} executions, coverage ${coverage:-unknown}, ${#found[@]} $noun"
  ((${#found[@]} > 0)) && line+=" (${found[*]}; replay: build/fuzz/${name}Fuzz FILE)"
  ((code != 0 && ${#found[@]} == 0)) && line+=" (the fuzzer exited with $code: see $log)"
  echo "$line"
  ((code == 0 && ${#found[@]} == 0)) || status=1
done
exit $status
