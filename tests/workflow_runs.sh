#!/usr/bin/env bash
# Shards on the engines people run them on, each against the single run byte for byte: the
# Snakemake workflow (locally, and through the Slurm profile with sbatch replaced by a
# stand-in that runs each job at once and keeps its arguments), the GNU parallel recipe and
# the Slurm job-array script; and their refusals of a wrong set-up. Exits 77 (skipped) while
# the program has no --shard or where snakemake or parallel is missing.
# Usage: workflow_runs.sh QUARNEL SOURCE_FOLDER TABLE WORK_FOLDER
set -uo pipefail
program=$(realpath "$1")
source=$(realpath "$2")
table=$(realpath "$3")
work=$4
for tool in snakemake parallel; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: no $tool (tools/install_packages.sh snakemake parallel installs it)"
    exit 77
  fi
done
if ! "$program" --help | grep -q -- '--shard'; then
  echo "skipped: this quarnel has no --shard"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
export XDG_CACHE_HOME=$work/cache
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
snakefile=$source/workflow/Snakefile

# single NAME OPTION...: the single run of the table into $work/NAME/single/res.*
single() {
  local dir=$work/$1/single
  shift
  mkdir -p "$dir"
  (cd "$dir" && "$program" --genotypes "$table" "$@" --quiet --out res >stdout 2>stderr) ||
    fail "single run $dir: $(cat "$dir/stderr")"
}

# same NAME DIR: DIR holds every result file of the single run NAME, byte for byte, and no
# other (shard files aside).
same() {
  local name=$1 dir=$2 file
  local expected=$work/$name/single
  if ! diff <(cd "$expected" && printf '%s\n' res.*) \
    <(cd "$dir" && printf '%s\n' res.* | grep -v '\.shard-'); then
    fail "$dir: not the files of the single run"
  fi
  for file in "$expected"/res.*; do
    cmp -s "$file" "$dir/$(basename "$file")" || fail "$dir/$(basename "$file") differs"
  done
}

# workflow NAME DIR CONFIG...: the workflow in DIR with extra snakemake arguments before
# --config in $flags.
workflow() {
  local dir=$1
  shift
  mkdir -p "$dir"
  (cd "$dir" && snakemake -s "$snakefile" "${flags[@]}" \
    --config "table=$table" "quarnel=$program" out=res "$@" >snakemake.out 2>&1)
}

# The pair tests (missing typings included) and the overall test.
single pairs --pairs --permutations 50
single overall --permutations 200

flags=(--cores 2)
workflow "$work/pairs/snakemake" options="--pairs --permutations 50" shards=3 ||
  fail "the workflow of 3 pair shards: $(tail -n 20 "$work/pairs/snakemake/snakemake.out")"
same pairs "$work/pairs/snakemake"
if compgen -G "$work/pairs/snakemake/res.shard-*" >/dev/null; then
  fail "the workflow left its shard files"
fi
workflow "$work/overall/snakemake" options="--permutations 200" shards=2 threads=2 ||
  fail "the workflow of 2 overall-test shards: $(tail -n 20 "$work/overall/snakemake/snakemake.out")"
same overall "$work/overall/snakemake"

# The Slurm profile: its plan, then a whole run through the stand-in sbatch.
profile=$source/workflow/profiles/slurm
flags=(--profile "$profile" -n)
workflow "$work/pairs/plan" options="--pairs --permutations 50" shards=4 ||
  fail "the Slurm profile's dry run: $(tail -n 20 "$work/pairs/plan/snakemake.out")"
grep -Eq '^shard +4 ' "$work/pairs/plan/snakemake.out" ||
  fail "the dry run does not plan 4 shard jobs"
[[ ! -e $work/pairs/plan/res.run.tsv ]] || fail "the dry run wrote a result"
mkdir -p "$work/bin"
cat >"$work/bin/sbatch" <<'EOF'
#!/usr/bin/env bash
echo "$*" >>"$SBATCH_CALLS"
id=$(wc -l <"$SBATCH_CALLS")
bash "${@: -1}" >"stand-in-job-$id.out" 2>&1
echo "$id"
EOF
chmod +x "$work/bin/sbatch"
export SBATCH_CALLS=$work/sbatch_calls
flags=(--profile "$profile" --latency-wait 5)
PATH=$work/bin:$PATH workflow "$work/pairs/slurm" options="--pairs --permutations 50" shards=2 ||
  fail "the workflow through the Slurm profile: $(tail -n 20 "$work/pairs/slurm/snakemake.out")"
same pairs "$work/pairs/slurm"
[[ $(grep -c 'quarnel-shard --cpus-per-task=1 --mem=2000 --time=240' "$SBATCH_CALLS") == 2 ]] ||
  fail "sbatch was not asked for the 2 shards with the profile's resources: $(cat "$SBATCH_CALLS")"
grep -q 'quarnel-merge --cpus-per-task=1 --mem=16000 --time=60' "$SBATCH_CALLS" ||
  fail "sbatch was not asked for the merge with its resources: $(cat "$SBATCH_CALLS")"

# A wrong set-up stops the workflow before any job, naming what is wrong.
flags=(--cores 1)
for config in "shards=0" "shards=two" "options=--out=elsewhere"; do
  dir=$work/refused/${config%%=*}
  if workflow "$dir" "$config"; then
    fail "the workflow ran with $config"
  elif ! grep -q 'Quarnel workflow:' "$dir/snakemake.out"; then
    fail "$config: no message naming the key: $(tail -n 5 "$dir/snakemake.out")"
  fi
done

# The GNU parallel recipe of the README, merged in reverse order.
dir=$work/pairs/parallel
mkdir -p "$dir"
(cd "$dir" &&
  parallel --will-cite -j 2 "$program" --genotypes "$table" --pairs --permutations 50 \
    --threads 1 --quiet --shard {}/4 --out res ::: 1 2 3 4 &&
  mapfile -t reversed < <(printf '%s\n' res.shard-*-of-4 | sort -r) &&
  "$program" merge --out res "${reversed[@]}" >stdout 2>stderr) ||
  fail "the GNU parallel recipe"
same pairs "$dir"

# The job-array script, one task after another as Slurm would run them.
dir=$work/overall/array
mkdir -p "$dir"
for task in 1 2 3; do
  (cd "$dir" && QUARNEL=$program SLURM_ARRAY_TASK_ID=$task SLURM_ARRAY_TASK_MIN=1 \
    SLURM_ARRAY_TASK_MAX=3 SLURM_ARRAY_TASK_COUNT=3 \
    bash "$source/workflow/quarnel_array.sbatch" "$table" res --permutations 200 --quiet) ||
    fail "array task $task"
done
(cd "$dir" && "$program" merge --out res res.shard-*-of-3 >stdout 2>stderr) ||
  fail "merging the array's shards: $(cat "$dir/stderr")"
same overall "$dir"
dir=$work/refused/array
mkdir -p "$dir"
if (cd "$dir" && QUARNEL=$program SLURM_ARRAY_TASK_ID=0 SLURM_ARRAY_TASK_MIN=0 \
  SLURM_ARRAY_TASK_MAX=2 SLURM_ARRAY_TASK_COUNT=3 \
  bash "$source/workflow/quarnel_array.sbatch" "$table" res 2>stderr); then
  fail "the array script ran as task 0"
fi
grep -q 'number the array 1 to N' "$dir/stderr" || fail "task 0: $(cat "$dir/stderr")"
compgen -G "$dir/res.*" >/dev/null && fail "task 0 wrote $(ls "$dir")"

echo "$failures failure(s)"
[[ $failures -eq 0 ]]
