#!/usr/bin/env bash
# The decisions of tools/install_packages.sh, with dpkg, apt-get, id and sudo replaced by stubs
# that record their calls; PATH holds the stubs alone, so the real package manager is never run.
#   tests/install_packages_test.sh /path/to/tools/install_packages.sh
set -euo pipefail
script=$1
bash=$(command -v bash)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/sudo"

stub() {
  printf '#!%s\n%s\n' "$bash" "$2" >"$work/$1"
  chmod +x "$work/$1"
}
# dpkg knows every package but those in MISSING; one marked ~ was removed and left its
# configuration files, which dpkg -s still shows, with status 0. apt-get exits with APT_STATUS.
stub bin/dpkg 'for m in $MISSING; do
  [ "$2" = "$m" ] && exit 1
  [ "~$2" = "$m" ] && echo "Status: deinstall ok config-files" && exit 0
done
echo "Status: install ok installed"'
stub bin/apt-get 'echo "apt-get $*" >>"$LOG"; exit "$APT_STATUS"'
stub bin/id 'echo "$STUB_UID"'
stub sudo/sudo 'echo "sudo $*" >>"$LOG"'

failures=0
# check NAME MISSING UID SUDO(yes|no) APT_STATUS EXTRAS -> STATUS CALLS(;-joined) STDERR_PART
check() {
  local path="$work/bin" calls message status=0
  [ "$4" = yes ] && path="$path:$work/sudo"
  : >"$work/log"
  # shellcheck disable=SC2086  # EXTRAS is a list of words
  env -i PATH="$path" MISSING="$2" STUB_UID="$3" APT_STATUS="$5" LOG="$work/log" \
    "$bash" "$script" $6 >/dev/null 2>"$work/err" || status=$?
  calls=$(paste -sd';' "$work/log")
  message=$(cat "$work/err")
  if [ "$status" != "$7" ] || [ "$calls" != "$8" ] || [[ "$message" != *"$9"* ]]; then
    echo "FAIL $1: status $status, calls '$calls', stderr '$message'"
    failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}

install='install -y -q --no-install-recommends'
check "nothing missing: no apt call" "" 1000 no 0 "" 0 "" ""
check "nothing missing of build set and extras" "" 0 no 0 "clang-tidy" 0 "" ""
check "missing, root: apt-get" "libcli11-dev" 0 no 0 "" \
  0 "apt-get update -q;apt-get $install libcli11-dev" ""
check "removed, configuration kept: missing" "~cmake" 0 no 0 "" \
  0 "apt-get update -q;apt-get $install cmake" ""
check "missing extra, root: only it" "clang-tidy" 0 no 0 "clang-format clang-tidy" \
  0 "apt-get update -q;apt-get $install clang-tidy" ""
check "missing, not root, sudo: sudo apt-get" "make python3" 1000 yes 0 "" \
  0 "sudo apt-get update -q;sudo apt-get $install make python3" ""
check "missing, not root, no sudo: the command named" "make python3" 1000 no 0 "" \
  1 "" "apt-get update && apt-get install -y --no-install-recommends make python3"
check "apt-get failing fails the step" "make" 0 no 100 "" 100 "apt-get update -q" ""
[ "$failures" -eq 0 ]
