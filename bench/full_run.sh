#!/usr/bin/env bash
# Wall time of whole runs: the bundled example, a data set of 10
# populations x 100 individuals (4 systems of 5 alleles) and an HLA-sized
# table (one population of 220, loci of 11, 9 and 8 alleles), with 1 thread
# and with all hardware threads. Usage: bench/full_run.sh [path to quarnel]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "${1:-$here/../build/quarnel}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Best wall time of three runs, and the peak memory (resident set) of the last.
time_command() {  # name, thread count, command...
  local name=$1 threads=$2 best=999 start end peak
  shift 2
  for _ in 1 2 3; do
    rm -rf "$work/run" && mkdir "$work/run" && cp "$here/../examples"/*.dat "$work/run/"
    [ -z "${data:-}" ] || cp "$data"/*.dat "$work/run/"
    start=$(date +%s.%N)
    (cd "$work/run" && /usr/bin/time -o "$work/peak" -f %M "$@" --threads "$threads" > stdout)
    end=$(date +%s.%N)
    best=$(awk -v a="$start" -v b="$end" -v m="$best" 'BEGIN{t=b-a; print (t<m)?t:m}')
  done
  peak=$(tail -n 1 "$work/peak")
  printf '%-28s threads=%-3s %8.2f s  %6d KB peak\n' "$name" "$threads" "$best" "$peak"
}

for threads in 1 "$(nproc)"; do
  data="" time_command example "$threads" "$program"
  data="$here/data/ten_by_hundred" time_command 10-populations-x-100 "$threads" "$program"
  data="" time_command hla-sized-792-values "$threads" "$program" \
    --genotypes "$here/data/hla_sized.csv" --out hla --quiet
done
