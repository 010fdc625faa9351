#!/usr/bin/env bash
# Runs every fuzz target of a build folder for SECONDS each, as many at once
# as there are cores (or $FUZZ_JOBS), each with one worker.  Each target's
# corpus is kept between runs in $FUZZ_CORPUS/<target> (default
# BUILD_DIR/fuzz_corpus), seeded from fuzz/corpus/<target>; crashes go to
# BUILD_DIR/fuzz_artifacts/<target>/.  At the end one line per target gives
# its executions, coverage and features, and whether it found anything.
#
#   fuzz/long.sh BUILD_DIR SECONDS [TARGET...]   (default: every target)
set -euo pipefail
usage="usage: fuzz/long.sh BUILD_DIR SECONDS [TARGET...]"
build=$(cd "${1:?$usage}" && pwd)
seconds=${2:?$usage}
shift 2
only=" $* "
here=$(cd "$(dirname "$0")" && pwd)
jobs=${FUZZ_JOBS:-$(nproc)}
corpora=${FUZZ_CORPUS:-$build/fuzz_corpus}
logs=$build/fuzz_logs
mkdir -p "$corpora" "$logs"

run_one() {
  local target=$1 max_len=$2
  local corpus=$corpora/$target artifacts=$build/fuzz_artifacts/$target/
  mkdir -p "$corpus" "$artifacts"
  local seeds=()
  [ -d "$here/corpus/$target" ] && seeds=("$here/corpus/$target")
  # The work folder is the target's own: some targets make scratch files
  # in the current folder.
  local work
  work=$(mktemp -d)
  local status=0
  (cd "$work" && "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=25 \
    -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$corpus" ${seeds[@]+"${seeds[@]}"} >"$logs/$target.log" 2>&1) || status=$?
  rm -rf "$work"
  local execs cov ft
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$target.log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$logs/$target.log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$logs/$target.log" | tail -n 1 | cut -d' ' -f2)
  local found="nothing found"
  [ "$status" -eq 0 ] || found="FOUND: see $logs/$target.log and $artifacts"
  printf '%-24s %12s execs  cov %6s  ft %7s  corpus %6s  %s\n' "$target" "${execs:-?}" "${cov:-?}" \
    "${ft:-?}" "$(find "$corpus" -type f | wc -l)" "$found" >"$logs/$target.summary"
  return "$status"
}

targets=()
while read -r target max_len; do
  [ -n "$target" ] || continue
  [ "$only" = "  " ] || [[ "$only" == *" $target "* ]] || continue
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  echo "fuzz: $target for ${seconds}s"
  rm -f "$logs/$target.summary"
  run_one "$target" "${max_len:-4096}" || true &
  targets+=("$target")
done <"$build/fuzz_targets.txt"
wait || true

status=0
for target in "${targets[@]}"; do
  if [ -f "$logs/$target.summary" ]; then cat "$logs/$target.summary"; else echo "$target: no result"; fi
  grep -q "nothing found" "$logs/$target.summary" 2>/dev/null || status=1
done
exit $status
