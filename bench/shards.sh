#!/usr/bin/env bash
# What a cluster run of a human microsatellite panel costs: the pair tests of a table shaped
# like the 678-locus panel (bench/make_panel.py: 29 populations, 1350 individuals) per second
# of one shard, and the merge of 100 shards. The throughput runs the pairs of LOCI loci picked
# at the quantiles of the panel's allele counts (--pairs --loci: C(LOCI, 2) x 29 tests, each
# costing what it costs inside a shard of the whole panel) on one thread, as a one-core shard
# job does; with --shard, also one shard of the whole panel of as many tests. The merge splits
# the pairs of 20 loci (5,510 tests, 2 permutations: the merge's work does not grow with them)
# into 100 shards, times the merge and compares it with the single run byte for byte.
# Usage: bench/shards.sh [quarnel] [LOCI] [PERMUTATIONS]   (defaults: build/quarnel 6 1000)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "${1:-$here/../build/quarnel}")
loci_count=${2:-6}
permutations=${3:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
panel=$work/panel.csv
python3 "$here/make_panel.py" "$panel"
all_tests=$((678 * 677 / 2 * 29))

# The names of N loci at the quantiles of the allele counts (distinct typed values).
quantile_loci() {
  python3 - "$panel" "$1" <<'EOF'
import csv, sys
rows = list(csv.reader(open(sys.argv[1])))
names = [rows[0][1 + 2 * i][:-2] for i in range((len(rows[0]) - 1) // 2)]
counts = [len({c for r in rows[1:] for c in r[1 + 2 * i:3 + 2 * i] if c}) for i in range(len(names))]
ranked = sorted(range(len(names)), key=lambda i: (counts[i], i))
n = int(sys.argv[2])
picked = sorted(ranked[(2 * q + 1) * len(ranked) // (2 * n)] for q in range(n))
print(",".join(names[i] for i in picked), " ".join(str(counts[i]) for i in picked))
EOF
}

# timed LABEL TESTS ARGUMENTS...: wall and CPU seconds of one run in a fresh folder, tests per
# wall second and per CPU second, peak memory.
timed() {
  local label=$1 tests=$2
  shift 2
  rm -rf "$work/run" && mkdir "$work/run"
  (cd "$work/run" && /usr/bin/time -o "$work/time" -f '%e %U %S %M' "$program" "$@" --quiet >/dev/null)
  read -r wall user system peak <"$work/time"
  awk -v l="$label" -v n="$tests" -v w="$wall" -v u="$user" -v s="$system" \
    -v m="$peak" 'BEGIN { cpu = u + s
    printf "%-46s %7d tests %8.1f s wall %8.1f s CPU %7.2f tests/s %7.2f tests/CPU-s %7d KB\n",
      l, n, w, cpu, n / w, n / cpu, m }'
}

read -r loci counts < <(quantile_loci "$loci_count")
pairs=$((loci_count * (loci_count - 1) / 2 * 29))
echo "panel: 29 populations, 1350 individuals, 678 loci; $all_tests pair tests in all"
echo "throughput at $permutations permutations: loci $loci (alleles $counts)"
timed "--pairs --loci ($loci_count loci), 1 thread" "$pairs" --genotypes "$panel" --pairs \
  --loci "$loci" --permutations "$permutations" --threads 1
timed "reading the panel (one pair, 1 permutation)" 29 --genotypes "$panel" --pairs \
  --loci "${loci%%,*},${loci##*,}" --permutations 1 --threads 1

if ! "$program" --help | grep -q -- '--shard'; then
  echo "this quarnel has no --shard: no shard of the whole panel, no merge"
  exit 0
fi
shards=$(((all_tests + pairs - 1) / pairs))
timed "shard $((shards / 2))/$shards of the whole panel, 1 thread" $((all_tests / shards)) \
  --genotypes "$panel" --pairs --permutations "$permutations" --threads 1 \
  --shard "$((shards / 2))/$shards" --out shard
shard_bytes=$(cat "$work/run"/shard.shard-* | wc -c)
echo "its shard file: $shard_bytes bytes ($((shard_bytes / (all_tests / shards))) bytes per test)"

# The merge of 100 shards of the pairs of 20 loci, against the single run.
read -r loci _ < <(quantile_loci 20)
merge_tests=$((20 * 19 / 2 * 29))
mkdir -p "$work/split" "$work/single"
(cd "$work/single" && "$program" --genotypes "$panel" --pairs --loci "$loci" --permutations 2 \
  --quiet --out res >/dev/null)
(cd "$work/split" && for k in $(seq 100); do
  "$program" --genotypes "$panel" --pairs --loci "$loci" --permutations 2 --quiet \
    --shard "$k/100" --out res >/dev/null
done)
shard_bytes=$(cat "$work/split"/res.shard-* | wc -c)
echo "100 shards of $merge_tests tests: $shard_bytes bytes in all" \
  "($((shard_bytes / merge_tests)) bytes per test)"
(cd "$work/split" && /usr/bin/time -o "$work/time" -f '%e %U %S %M' \
  "$program" merge --out res res.shard-* >/dev/null)
read -r wall user system peak <"$work/time"
awk -v n="$merge_tests" -v w="$wall" -v u="$user" -v s="$system" -v m="$peak" -v all="$all_tests" \
  'BEGIN { printf "merge of 100 shards: %.2f s wall, %.2f s CPU, %d KB peak;" \
    " %.1f microseconds and %.0f bytes of peak per test\n", w, u + s, m, 1e6 * w / n, 1024 * m / n }'
for file in "$work/single"/res.*; do
  cmp -s "$file" "$work/split/$(basename "$file")" || echo "MERGED FILE DIFFERS: $(basename "$file")"
done
