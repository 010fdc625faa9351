#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a few seconds each, starting
# from its seed corpus in fuzz/corpus/<target> when there is one, with the
# target's own input size bound and a bound on the time of one input.
set -euo pipefail
build=$(cd "${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
status=0
while read -r target max_len; do
  [ -n "$target" ] || continue
  work=$(mktemp -d)
  seeds=()
  [ -d "$here/corpus/$target" ] && seeds=("$here/corpus/$target")
  echo "fuzz: $target for ${seconds}s"
  if ! (cd "$work" && "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -timeout=25 -max_len="${max_len:-4096}" \
        -print_final_stats=0 "$work" ${seeds[@]+"${seeds[@]}"} >"$work/log" 2>&1); then
    tail -n 60 "$work/log"
    echo "fuzz: $target FAILED"
    status=1
  fi
  rm -rf "$work"
done < "$build/fuzz_targets.txt"
exit $status
