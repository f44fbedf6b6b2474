#!/usr/bin/env bash
# How the cost of a run grows: wall time on every hardware thread against the
# work, one factor varied at a time from 10 populations x 100 individuals x
# 4 loci of 5 alleles x 1000 permutations. Usage: bench/scaling.sh [quarnel]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "${1:-$here/../build/quarnel}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {  # individuals, loci, permutations
  local table="$work/t_$1_$2.csv"
  [ -f "$table" ] || python3 "$here/make_table.py" 10 "$1" "$2" 5 "$table"
  rm -f "$work"/r.*
  local start end
  start=$(date +%s.%N)
  "$program" --genotypes "$table" --out "$work/r" --permutations "$3" --quiet > /dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" -v i="$1" -v l="$2" -v n="$3" 'BEGIN {
    t = b - a; work = 10 * i * n / 1e6
    printf "  %11d %5d %12d %9.2f s %10.2f s per million individual-data-sets\n", i, l, n, t, t / work }'
}

echo "  individuals  loci  permutations      wall   (10 populations, 5 alleles per locus)"
for individuals in 50 100 200 400; do run "$individuals" 4 1000; done
run 100 4 10000
for loci in 2 6; do run 100 "$loci" 1000; done
