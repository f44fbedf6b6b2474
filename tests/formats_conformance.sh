#!/usr/bin/env bash
# The conformance data set in every format (tests/formats/conformance/NAME.EXT)
# run as a user runs it, format detected: the summary, frequencies,
# permutations and pairs tables must be the bytes the CSV table gives. A file
# NAME.options holds the options that format needs (one line).
# Usage: formats_conformance.sh QUARNEL FOLDER
set -uo pipefail
program=$1
folder=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

run() {  # run NAME FILE: the overall test and the pairs, into $work/NAME.*
  local name=$1 file=$2 extra=()
  if [[ -f "$folder/$name.options" ]]; then
    read -r -a extra <"$folder/$name.options"
  fi
  (cd "$folder" && "$program" --genotypes "$file" "${extra[@]}" --permutations 30 --threads 2 \
    --quiet --out "$work/$name" >/dev/null 2>"$work/$name.err") || {
    echo "FAIL: $file: the overall test ended with $?: $(cat "$work/$name.err")"
    failures=$((failures + 1))
  }
  (cd "$folder" && "$program" --genotypes "$file" "${extra[@]}" --pairs --permutations 30 \
    --threads 2 --quiet --out "$work/$name-pairs" >/dev/null 2>>"$work/$name.err") || {
    echo "FAIL: $file: the pairs ended with $?: $(cat "$work/$name.err")"
    failures=$((failures + 1))
  }
}

run table table.csv
for path in "$folder"/*; do
  file=$(basename "$path")
  name=${file%%.*}
  case "$file" in table.csv | *.options | *.populations) continue ;; esac
  run "$name" "$file"
  for table in summary.tsv frequencies.tsv permutations.tsv; do
    cmp -s "$work/table.$table" "$work/$name.$table" ||
      { echo "FAIL: $file: $table differs from the CSV table's"; failures=$((failures + 1)); }
  done
  cmp -s "$work/table-pairs.pairs.tsv" "$work/$name-pairs.pairs.tsv" ||
    { echo "FAIL: $file: pairs.tsv differs from the CSV table's"; failures=$((failures + 1)); }
done
[[ $failures -eq 0 ]] && echo "every format gives the CSV table's tables"
exit $((failures > 0))
