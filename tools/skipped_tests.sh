#!/usr/bin/env bash
# Prints each test that the last ctest run in BUILD skipped, with the reason it gave (CTest's
# own summary names a skipped test but not why). A GoogleTest skip prints "FILE:LINE: Skipped"
# and its message on the next line; a test script prints a line "skipped: REASON".
#   tools/skipped_tests.sh BUILD
set -euo pipefail
log="$1/Testing/Temporary/LastTest.log"
[ -f "$log" ] || exit 0
reasons=$(awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
  /^Output:$/ { output = 1 }
  /^<end of output>$/ { output = 0 }
  output && /: Skipped$/ { getline; print "  " name ": " $0 }
  output && /^skipped: / { print "  " name ": " substr($0, 10) }' "$log")
if [ -n "$reasons" ]; then
  echo "Skipped tests and why:"
  echo "$reasons"
fi
