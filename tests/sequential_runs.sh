#!/usr/bin/env bash
# The sequential rule (--stop-after) end to end: a test that stops early and
# one that does not in one run, the same bytes on 1 and 2 threads, every
# other test's result the same as without the rule, the combined test not
# formed, the run record's row, and the usage errors.
# Usage: sequential_runs.sh QUARNEL EXAMPLE_TABLE TEN_LOCI_TABLE
set -uo pipefail
program=$(realpath "$1")
example=$(realpath "$2")
ten_loci=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

run() { "$program" --quiet "$@" >/dev/null 2>"$work/stderr" || fail "run $* failed: $(cat "$work/stderr")"; }

# Every file of prefix $1 has the same bytes as the file of prefix $2.
same_files() {
  for file in "$1".*; do
    cmp -s "$file" "$2${file#"$1"}" || fail "${file#"$1"} differs between $1 and $2"
  done
}

# The column named $2 of the row of population $3 in table $1.
field() {
  awk -F'\t' -v name="$2" -v row="$3" \
    'NR == 1 { for (k = 1; k <= NF; ++k) if ($k == name) c = k; next } $1 == row { print $c }' "$1"
}

# The overall test of the example at H = 5: Coast (p near 0.5) stops after a
# few data sets, Valley and Upland (p near 0) draw all 300.
run --genotypes "$example" --out one --permutations 300 --stop-after 5 --threads 1
run --genotypes "$example" --out two --permutations 300 --stop-after 5 --threads 2
run --genotypes "$example" --out full --permutations 300 --threads 2
same_files one two
drawn=$(field one.summary.tsv permutations Coast)
[[ $drawn -ge 5 && $drawn -lt 300 ]] || fail "Coast drew $drawn data sets, not fewer than 300"
awk -F'\t' -v l="$drawn" '$1 == "Coast" && $11 == 5 / l && $17 > 0 && $18 < 1 { found = 1 }
  END { exit !found }' one.summary.tsv || fail "Coast's p is not 5 / $drawn with its interval"
[[ $(field one.summary.tsv note Coast) == "sequential: stopped after 5 of $drawn permuted data sets at or above the observed statistic; p = 5 / $drawn is approximate" ]] ||
  fail "Coast's note: $(field one.summary.tsv note Coast)"
[[ $(grep -c $'^Coast\t' one.permutations.tsv) == "$drawn" ]] || fail "Coast's permutations.tsv rows"
cmp -s <(grep $'^Coast\t' one.permutations.tsv) <(grep $'^Coast\t' full.permutations.tsv | head -n "$drawn") ||
  fail "Coast's statistics 1..$drawn differ from the full run's"
for population in Valley Upland; do
  cmp -s <(grep "^$population"$'\t' one.summary.tsv) <(grep "^$population"$'\t' full.summary.tsv) ||
    fail "$population's row differs from the full run's"
  cmp -s <(grep "^$population"$'\t' one.permutations.tsv) \
    <(grep "^$population"$'\t' full.permutations.tsv) || fail "$population's statistics differ"
done
cmp -s one.frequencies.tsv full.frequencies.tsv || fail "the frequencies differ from the full run's"
awk -F'\t' 'NR == 2 && $7 == "NA" && $10 == "NA" && $11 == "sequential: not combined" { found = 1 }
  END { exit !found }' one.combined.tsv || fail "the combined test: $(tail -n 1 one.combined.tsv)"
grep -qx $'stop_after\t5' one.run.tsv || fail "the run record has no stop_after row"
grep -q '^stop_after' full.run.tsv && fail "a run without the rule records stop_after"

# The pairs: those that do not stop keep the full run's row (the corrections
# over the pairs, the last three columns, aside).
pairs=(--genotypes "$ten_loci" --pairs --loci L1,L2,L3,L4 --permutations 200)
run "${pairs[@]}" --out pone --stop-after 4 --threads 1
run "${pairs[@]}" --out ptwo --stop-after 4 --threads 2
run "${pairs[@]}" --out pfull --threads 2
same_files pone ptwo
grep -q 'sequential: stopped after 4 of' pone.pairs.tsv || fail "no pair test stopped"
cmp -s <(grep -v 'sequential: stopped' pone.pairs.tsv | cut -f 1-25) \
  <(grep -v -F -f <(grep 'sequential: stopped' pone.pairs.tsv | cut -f 1-3) pfull.pairs.tsv |
    cut -f 1-25) || fail "the pairs that did not stop differ from the full run's"
grep -q 'sequential: not combined' pone.combined.tsv || fail "a pair's combined test was formed"

# Usage errors: exit status 2 and a line naming the option.
for args in "--classic-rules --stop-after 5" "--stop-after 0" "--stop-after -3"; do
  # shellcheck disable=SC2086
  "$program" --genotypes "$example" --out bad $args >/dev/null 2>"$work/stderr"
  status=$?
  [[ $status == 2 ]] || fail "$args: exit status $status, not 2"
  grep -q -- '--stop-after' "$work/stderr" || fail "$args: $(cat "$work/stderr")"
done
"$program" --stop-after 5 >/dev/null 2>&1
[[ $? == 2 ]] || fail "--stop-after without --genotypes is not a usage error"
compgen -G "bad.*" >/dev/null && fail "a refused command line wrote files"

if ((failures > 0)); then
  exit 1
fi
echo "sequential runs: all checks passed"
