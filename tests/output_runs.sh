#!/usr/bin/env bash
# Whole runs against their outputs: a second run on the same prefix is
# refused at once, an interrupted run leaves nothing and ends by its signal,
# and a log that is a symbolic link or a FIFO refuses the run without waiting.
# Usage: output_runs.sh QUARNEL TABLE CLASSIC_CASE_FOLDER
set -uo pipefail
program=$1
table=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A long run in the background, until its lock file shows it has started.
start_long_run() {
  "$program" --genotypes "$table" --permutations 1000000 --threads 1 --quiet --out long \
    >/dev/null 2>stderr-long.txt &
  long_pid=$!
  for _ in $(seq 200); do
    [[ -e long.lock ]] && return 0
    sleep 0.05
  done
  fail "the long run did not start"
}

for signal in INT TERM HUP; do
  start_long_run
  "$program" --genotypes "$table" --permutations 10 --quiet --out long >/dev/null 2>second.err
  status=$?
  [[ $status == 2 ]] || fail "$signal: the second run on one prefix ended with $status"
  grep -q "another run is writing the result files long" second.err ||
    fail "$signal: the second run did not say why: $(cat second.err)"
  kill -s "$signal" "$long_pid"
  wait "$long_pid"
  status=$?
  expected=$((128 + $(kill -l "$signal")))
  [[ $status == "$expected" ]] || fail "$signal: the run ended with $status, not $expected"
  left=$(ls long.* 2>/dev/null)
  [[ -z $left ]] || fail "$signal: the interrupted run left $left"
done

# The classic run: its report is held by a lock for the whole run.
classic=$3
mkdir classic && cp "$classic"/group.dat "$classic"/pheno.dat classic/
report=$(sed -n 4p classic/group.dat | tr -d ' \r')
(cd classic && exec "$program" --permutations 1000000 >/dev/null 2>&1) &
long_pid=$!
for _ in $(seq 200); do
  [[ -e classic/$report.lock ]] && break
  sleep 0.05
done
(cd classic && "$program" --permutations 10 >/dev/null 2>second.err)
status=$?
[[ $status == 2 ]] || fail "classic: the second run on one report ended with $status"
grep -q "another run is writing the report" classic/second.err ||
  fail "classic: the second run did not say why: $(cat classic/second.err)"
kill -s INT "$long_pid"
wait "$long_pid"
status=$?
[[ $status == 130 ]] || fail "classic: the interrupted run ended with $status"
[[ ! -e classic/$report.lock ]] || fail "classic: the lock file was left"

ln -s "$work/elsewhere" linked.log
mkfifo piped.log
for kind in linked piped; do
  timeout 20 "$program" --genotypes "$table" --permutations 10 --quiet --out "$kind" \
    >/dev/null 2>"$kind.err"
  status=$?
  [[ $status == 2 ]] || fail "$kind log: the run ended with $status"
  grep -q "not a regular file" "$kind.err" || fail "$kind log: $(cat "$kind.err")"
  [[ ! -e elsewhere && -z $(ls "$kind".*.* "$kind".svg 2>/dev/null) ]] ||
    fail "$kind log: files were written"
done

exit $((failures > 0))
