#!/usr/bin/env bash
# Wall time of whole runs: the bundled example and a data set of 10
# populations x 100 individuals (4 systems of 5 alleles), with 1 thread and
# with all hardware threads. Usage: bench/full_run.sh [path to quarnel]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "${1:-$here/../build/quarnel}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

time_run() {  # name, input folder, thread count
  rm -rf "$work/run" && mkdir "$work/run" && cp "$2"/*.dat "$work/run/"
  local start end
  start=$(date +%s.%N)
  (cd "$work/run" && "$program" --threads "$3" > stdout)
  end=$(date +%s.%N)
  printf '%-28s threads=%-3s %8.2f s\n' "$1" "$3" "$(awk -v a="$start" -v b="$end" 'BEGIN{print b-a}')"
}

for threads in 1 "$(nproc)"; do
  time_run example "$here/../examples" "$threads"
  time_run 10-populations-x-100 "$here/data/ten_by_hundred" "$threads"
done
