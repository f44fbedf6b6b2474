#!/usr/bin/env bash
# The two rule sets side by side: whole table runs of the ten-by-hundred table
# (10 populations x 100 individuals, 4 loci of 5 alleles) and of the HLA-sized
# table, one thread, 1000 permutations, best of 5 with the peak memory; then
# the pair tests of the two published reference tables on 2 threads.
# Usage: bench/rule_sets.sh [path to quarnel]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "${1:-$here/../build/quarnel}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_table.py" 10 100 4 5 "$work/ten_by_hundred.csv" >/dev/null

best_of() {  # runs, label, arguments...
  local runs=$1 label=$2 best=999 start end
  shift 2
  for _ in $(seq "$runs"); do
    rm -rf "$work/out" && mkdir "$work/out"
    start=$(date +%s.%N)
    (cd "$work/out" && /usr/bin/time -o "$work/peak" -f %M "$program" "$@" --quiet >/dev/null)
    end=$(date +%s.%N)
    best=$(awk -v a="$start" -v b="$end" -v m="$best" 'BEGIN{t=b-a; print (t<m)?t:m}')
  done
  printf '%-44s %8.2f s  %6d KB peak\n' "$label" "$best" "$(tail -n 1 "$work/peak")"
}

for table in "$work/ten_by_hundred.csv" "$here/data/hla_sized.csv"; do
  name=$(basename "$table" .csv)
  best_of 5 "$name, classic rules" --genotypes "$table" --threads 1 --classic-rules
  best_of 5 "$name, maximum-likelihood rules" --genotypes "$table" --threads 1
done
for name in rupica swallowtails; do
  best_of 1 "$name --pairs --permutations 20, 2 threads" \
    --genotypes "$here/../tests/ml_references/$name.csv" --pairs --permutations 20 --threads 2
done
