#!/usr/bin/env bash
# Shards merged: every file and the console of the merge are the single run's,
# byte for byte, for several shard counts and orders of the shard files; a
# wrong, missing, duplicate or disagreeing shard is refused with nothing written.
# Usage: shard_merge.sh QUARNEL NO_INFORMATION_TABLE EXAMPLE_TABLE
set -uo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A population of one individual (no information) and individuals left out
# (missing typings at two loci), so that the log has lines.
table=$work/gaps.csv
cp "$2" "$table"
printf 'North,nx,a1,a2,,,,\nSouth,sx,,,b1,b2,,\n' >>"$table"
example=$(realpath "$3")

# The shard files of a run in an order other than 1..N: the even ones
# rising, then the odd ones falling.
mixed_order() {
  local n=$1 prefix=$2
  for k in $(seq 2 2 "$n") $(seq $((n % 2 ? n : n - 1)) -2 1); do
    echo "$prefix.shard-$k-of-$n"
  done
}

# Runs TABLE with ARGS whole (prefix single) and as N shards merged (prefix
# merged, on 1 to 3 threads), and compares every file, standard output and
# the note counts.
same_as_single() {
  local name=$1 input=$2 n=$3
  shift 3
  local dir=$work/$name
  mkdir -p "$dir"
  (
    cd "$dir" || exit 1
    "$program" --genotypes "$input" --out single --quiet "$@" >single.out 2>single.err ||
      echo "FAIL: $name: the single run failed"
    for k in $(seq 1 "$n"); do
      "$program" --genotypes "$input" --out merged --quiet --shard "$k/$n" \
        --threads $((k % 3 + 1)) "$@" >/dev/null 2>&1 ||
        echo "FAIL: $name: shard $k/$n failed"
    done
    [[ $(ls merged.* | wc -l) == "$n" ]] || echo "FAIL: $name: a shard wrote more than its file"
    # shellcheck disable=SC2046
    "$program" merge --out merged $(mixed_order "$n" merged) >merged.out 2>merged.err ||
      echo "FAIL: $name: the merge failed: $(cat merged.err)"
    for file in single.*; do
      local suffix=${file#single}
      [[ $suffix == .out || $suffix == .err ]] && continue
      cmp -s "$file" "merged$suffix" || echo "FAIL: $name: $suffix differs from the single run"
    done
    cmp -s <(sed 's/single\./merged./' single.out) merged.out ||
      echo "FAIL: $name: standard output differs from the single run"
    cmp -s single.err merged.err || echo "FAIL: $name: the note counts differ from the single run"
  ) | tee -a "$work/failures"
}

for n in 1 2 3 7; do
  same_as_single "overall$n" "$table" "$n" --permutations 40
  same_as_single "pairs$n" "$table" "$n" --pairs --permutations 30
done
# More shards than permuted data sets: some blocks are empty.
same_as_single overall_sparse "$table" 7 --permutations 4 --seed 11
same_as_single pair_alleles "$table" 2 --pairs --pair-alleles --permutations 20
same_as_single example "$example" 3 --permutations 60 --seed 7
# The sequential rule: tests that stop within a block, in a later block or
# never; the merge finds where each stops from every block's statistics.
same_as_single sequential "$table" 7 --permutations 200 --stop-after 5
same_as_single sequential_pairs "$table" 2 --pairs --permutations 200 --stop-after 5
[[ -s $work/overall3/merged.log ]] || fail "the merged runs wrote no log to compare"
grep -q "sequential: stopped" "$work/sequential/merged.summary.tsv" ||
  fail "no test of the sequential case stopped early"
failures=$((failures + $(grep -c FAIL "$work/failures")))

# Refusals: exit 2, one line naming the problem, no result file.
refusals=$work/refusals
mkdir -p "$refusals"
cd "$refusals" || exit 1
for k in 1 2 3; do
  "$program" --genotypes "$table" --out a --quiet --shard "$k/3" --permutations 30 >/dev/null
done
"$program" --genotypes "$table" --out other --quiet --shard 2/3 --permutations 31 >/dev/null
"$program" --genotypes "$table" --out halves --quiet --shard 2/2 --permutations 30 >/dev/null
head -c 300 a.shard-2-of-3 >truncated
cp a.shard-2-of-3 flipped
printf 'X' | dd of=flipped bs=1 seek=400 conv=notrunc 2>/dev/null
# Another observed result under a valid checksum: the same run computed otherwise.
# (The checksum line is the last 73 bytes.)
head -c -73 a.shard-1-of-3 | sed 's/id nx/id ny/' >body
{ cat body; printf '\nsha256 %s\n' "$(sha256sum <body | cut -c1-64)"; } >disagreeing
refused() {
  local what=$1 pattern=$2
  shift 2
  "$program" merge --out out "$@" >/dev/null 2>err
  local status=$?
  [[ $status == 2 ]] || fail "$what: exit status $status, not 2"
  grep -q -e "$pattern" err || fail "$what: the message does not say '$pattern': $(cat err)"
  ! ls out.* >/dev/null 2>&1 || fail "$what: a result file was written"
}
refused missing "shard 2 of 3 is missing" a.shard-1-of-3 a.shard-3-of-3
refused duplicate "again" a.shard-1-of-3 a.shard-2-of-3 a.shard-2-of-3 a.shard-3-of-3
refused fingerprint "another run" a.shard-1-of-3 other.shard-2-of-3 a.shard-3-of-3
refused "shard count" "shard 2 of 2, but" a.shard-1-of-3 halves.shard-2-of-2 a.shard-3-of-3
refused truncated "corrupt or truncated" a.shard-1-of-3 truncated a.shard-3-of-3
refused corrupt "corrupt or truncated" a.shard-1-of-3 flipped a.shard-3-of-3
refused disagreeing "observed results" disagreeing a.shard-2-of-3 a.shard-3-of-3
refused "not a shard file" "not a quarnel shard file" "$table"
"$program" --genotypes "$table" --classic-rules --shard 1/2 >/dev/null 2>err
[[ $? == 2 ]] && grep -q -e "--classic-rules" err || fail "--shard with --classic-rules is no usage error"
for part in 0/2 3/2 2 1/0 a/b; do
  "$program" --genotypes "$table" --shard "$part" >/dev/null 2>&1
  [[ $? == 2 ]] || fail "--shard $part is no usage error"
done

if ((failures > 0)); then
  echo "$failures failure(s)"
  exit 1
fi
echo "shards merge to the single run's bytes; bad shards are refused"
