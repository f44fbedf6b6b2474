#!/usr/bin/env bash
# The record of a run: its keys, its input file's size and SHA-256, and the
# same bytes in every result file when the same analysis runs from another
# folder, with another prefix, thread count and memory budget.
# Usage: run_record.sh QUARNEL EXAMPLE_TABLE TEN_LOCI_TABLE
set -uo pipefail
program=$1
example=$(realpath "$2")
ten_loci=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs TABLE with ARGS twice: from $work/NAME/one with prefix runone, and from
# $work/NAME/two/deepfolder with prefix out/runtwo, a relative path to the table, other
# threads and a budget; then compares every result file byte for byte.
same_bytes() {
  local name=$1 table=$2 suffixes=$3
  shift 3
  mkdir -p "$work/$name/one" "$work/$name/two/deepfolder/out"
  cp "$table" "$work/$name/"
  (cd "$work/$name/one" && "$program" --genotypes "$table" --out runone --threads 1 --quiet "$@" \
    >/dev/null 2>&1) || fail "$name: the first run failed"
  (cd "$work/$name/two/deepfolder" &&
    "$program" --genotypes "../../$(basename "$table")" --out out/runtwo --threads 3 \
      --max-memory 2G "$@" >/dev/null 2>&1) || fail "$name: the second run failed"
  for suffix in $suffixes; do
    cmp -s "$work/$name/one/runone$suffix" "$work/$name/two/deepfolder/out/runtwo$suffix" ||
      fail "$name: $suffix differs between the two runs"
  done
  # No folder, prefix or file of the run's own naming in the record or the page.
  for suffix in .run.tsv .html; do
    if grep -q -e "$work" -e runone -e runtwo -e deepfolder "$work/$name/one/runone$suffix"; then
      fail "$name: $suffix names a folder or the prefix"
    fi
  done
}

same_bytes example "$example" \
  ".summary.tsv .frequencies.tsv .permutations.tsv .svg .run.tsv .html .report.txt" \
  --permutations 50
same_bytes pairs "$ten_loci" ".pairs.tsv .pairs.svg .run.tsv .html" \
  --pairs --loci L1,L2,L3,L4 --permutations 20

record=$work/example/one/runone.run.tsv
[[ $(head -1 "$record") == $'key\tvalue' ]] || fail "run.tsv: no key/value header"
for key in program version input input_bytes input_sha256 sha256_implementation format rules \
  em_starts em_iteration_limit min_frequency permutations seed test loci null_grouping \
  alt_grouping populations individuals population_1 population_1_individuals \
  population_1_excluded; do
  grep -q "^$key"$'\t' "$record" || fail "run.tsv: no $key row"
done
value() { awk -F'\t' -v k="$1" '$1 == k { print $2 }' "$2"; }
[[ $(value input "$record") == population.csv ]] || fail "run.tsv: input is not the base name"
[[ $(value input_sha256 "$record") == $(sha256sum "$example" | cut -d' ' -f1) ]] ||
  fail "run.tsv: input_sha256 is not the file's SHA-256"
[[ $(value input_bytes "$record") == $(wc -c <"$example") ]] || fail "run.tsv: input_bytes"
[[ $(value permutations "$record") == 50 ]] || fail "run.tsv: permutations"
for left_out in threads max-memory max_memory quiet out; do
  if awk -F'\t' '{ print $1 }' "$record" | grep -qx -- "$left_out"; then
    fail "run.tsv: records $left_out, which does not shape the result"
  fi
done
[[ $(value test "$work/pairs/one/runone.run.tsv") == "pairs of loci" ]] ||
  fail "pairs run.tsv: test"

# The classic rules write what they always have: no record, no page.
(cd "$work/example/one" && "$program" --genotypes "$example" --classic-rules --permutations 5 \
  --out classic --quiet >/dev/null 2>&1) || fail "the --classic-rules run failed"
for suffix in .run.tsv .html; do
  [[ ! -e $work/example/one/classic$suffix ]] || fail "--classic-rules wrote $suffix"
done

[[ $failures == 0 ]] || exit 1
echo "run records: all checks passed"
