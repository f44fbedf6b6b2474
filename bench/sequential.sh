#!/usr/bin/env bash
# The sequential rule's saving: the pair tests of a table with --stop-after H
# against the same run drawing every permuted data set. Prints the wall time
# of each run (2 threads) and the EM estimations each did: per tested row
# (population and pair) the observed data set's two fits plus one per
# permuted data set drawn, read off the pairs table's permutations column.
# Usage: bench/sequential.sh [quarnel] [table] [permutations] [H] [--loci LIST]
# (defaults: build/quarnel, tests/ml_references/swallowtails.csv, 10000, 20).
# FULL=no skips the full run and gives its estimations only (N + 2 per row).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "${1:-$here/../build/quarnel}")
table=$(realpath "${2:-$here/../tests/ml_references/swallowtails.csv}")
permutations=${3:-10000}
stop_after=${4:-20}
shift $(($# < 4 ? $# : 4))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

timed() {  # label, prefix, arguments...
  local label=$1 prefix=$2 start end
  shift 2
  start=$(date +%s.%N)
  (cd "$work" && "$program" --genotypes "$table" --pairs --permutations "$permutations" \
    --threads 2 --quiet --out "$prefix" "$@" >/dev/null)
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" -v l="$label" 'BEGIN { printf "%-34s %9.1f s\n", l, b - a }'
}

# Rows tested, permuted data sets drawn, rows stopped, estimations.
estimations() {
  awk -F'\t' 'NR == 1 { for (k = 1; k <= NF; ++k) c[$k] = k; next }
    $c["statistic"] != "NA" { ++rows; drawn += $c["permutations"]; stopped += ($c["note"] ~ /sequential: stopped/) }
    END { printf "%d %d %d %d\n", rows, drawn, stopped, drawn + 2 * rows }' "$1"
}

echo "$(basename "$table") --pairs --permutations $permutations --stop-after $stop_after $*"
timed "with --stop-after $stop_after" sequential --stop-after "$stop_after" "$@"
read -r rows drawn stopped sequential <<<"$(estimations "$work/sequential.pairs.tsv")"
full=$((rows * (permutations + 2)))
if [[ ${FULL:-yes} != no ]]; then
  timed "every data set drawn" full "$@"
  read -r _ full_drawn _ full <<<"$(estimations "$work/full.pairs.tsv")"
  [[ $full_drawn == $((rows * permutations)) ]] || echo "the full run drew $full_drawn data sets"
fi
echo "tested rows (population x pair): $rows, stopped early: $stopped"
awk -v s="$sequential" -v f="$full" 'BEGIN {
  printf "EM estimations: %d with the rule, %d without (%.1f %%, %.1fx fewer)\n", s, f, 100 * s / f, f / s }'
