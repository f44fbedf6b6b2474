#!/usr/bin/env bash
# The house rules that a compiler does not check: formatting, lint (function size included),
# the one-way module dependencies, private headers, file size, macros and asserts in the test
# build. Run after `make test`, whose build directory
# (BUILD, default build) supplies compile_commands.json. Prints every violation and exits 1
# if there is any.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD:-build}
JOBS=${JOBS:-$(nproc)}
PINNED_MAJOR=14
failed=0

fail() {
  echo "house rules: $*" >&2
  failed=1
}

# Another major version formats and lints differently, so its verdict would not be ours.
major_of() {
  sed -nE 's/.*version ([0-9]+)\..*/\1/p' | head -n 1
}
for tool in clang-format clang-tidy; do
  if ! command -v "$tool" >/dev/null; then
    echo "house rules: $tool not found (Debian package $tool, version $PINNED_MAJOR)" >&2
    exit 1
  fi
  major=$("$tool" --version | major_of)
  if [ "$major" != "$PINNED_MAJOR" ]; then
    echo "house rules: $tool is version ${major:-unknown}; the rules are pinned to" \
      "$PINNED_MAJOR, whose output the repository follows" >&2
    exit 1
  fi
done

database="$BUILD/compile_commands.json"
if [ ! -f "$database" ]; then
  echo "house rules: $database is missing; run make test first" >&2
  exit 1
fi

mapfile -t sources < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')

# 1. Formatting, by the repository's .clang-format.
unformatted=()
for f in "${sources[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    unformatted+=("$f")
  fi
done
if [ "${#unformatted[@]}" -gt 0 ]; then
  fail "${#unformatted[@]} files not formatted (clang-format --dry-run FILE shows where," \
    "clang-format -i FILE mends):"
  printf '  %s\n' "${unformatted[@]}" >&2
fi

# 2. Module edges, derived from the one list that builds them: each
#    `quarnel_module(NAME DEP...)` line of src/CMakeLists.txt. A folder under src/ may include
#    itself and what its declared dependencies reach; a folder the list does not declare is a
#    fault, so a new room is checked as soon as it is built.
declare -A reach=()
while read -r name deps; do
  reach[$name]="$deps"
done < <(sed -nE 's/^quarnel_module\(([a-z_]+)(.*)\)$/\1 \2/p' src/CMakeLists.txt |
  sed -E 's/[A-Za-z0-9_]+::[A-Za-z0-9_]+//g')
closure() {
  local todo=("$1") seen=" " m
  while [ "${#todo[@]}" -gt 0 ]; do
    m=${todo[0]}
    todo=("${todo[@]:1}")
    [[ "$seen" == *" $m "* ]] && continue
    seen+="$m "
    # shellcheck disable=SC2206
    todo+=(${reach[$m]:-})
  done
  echo "$seen"
}
for dir in src/*/; do
  from=$(basename "$dir")
  if [ -z "${reach[$from]+declared}" ]; then
    fail "src/$from is not declared by a quarnel_module line in src/CMakeLists.txt"
    continue
  fi
  allowed=$(closure "$from")
  while IFS= read -r hit; do
    to=$(sed -nE 's/.*#include "([a-z_]+)\/.*/\1/p' <<<"$hit")
    if [[ "$allowed" != *" $to "* ]]; then
      fail "src/$from includes $to, which its module line does not reach: $hit"
    fi
  done < <(grep -rnE '#include "[a-z_]+/' "$dir" || true)
done

# 2b. Private headers: X/*_internal.h is for the folder X and its unit tests
#     (tests/X_test*.cpp) alone; everyone else goes through the public header.
while IFS= read -r hit; do
  file=${hit%%:*}
  owner=$(sed -nE 's/.*#include "([a-z_]+)\/[a-z_]+_internal\.h".*/\1/p' <<<"$hit")
  case "$file" in
    "src/$owner/"* | "tests/${owner}_test"*.cpp) ;;
    *) fail "$file includes a private header of $owner: ${hit#*:}" ;;
  esac
done < <(grep -rnE '#include "[a-z_]+/[a-z_]+_internal\.h"' src tests bench fuzz || true)

# 2c. Sizes and macros. A function body stays within 60 lines (clang-tidy's
#     readability-function-size, step 4); a file under src/ or bench/ within 500 lines; no
#     macros of our own. What cannot keep a rule yet stands below, with the day it was put
#     there and what takes it off; nothing else may be added.
MAX_FILE_LINES=500
oversized_allowed=()
macros_allowed=()
for f in $(git ls-files -- 'src/*.cpp' 'src/*.h' 'bench/*.cpp' 'bench/*.h'); do
  lines=$(wc -l <"$f")
  if [ "$lines" -gt "$MAX_FILE_LINES" ] && [[ " ${oversized_allowed[*]} " != *" $f "* ]]; then
    fail "$f has $lines lines (at most $MAX_FILE_LINES: split it by concern)"
  fi
done
while IFS= read -r hit; do
  file=${hit%%:*}
  name=$(sed -nE 's/.*#[[:space:]]*define[[:space:]]+([A-Za-z0-9_]+).*/\1/p' <<<"$hit")
  if [[ " ${macros_allowed[*]} " != *" $file:$name "* ]]; then
    fail "$file defines the macro $name (use a constant, an inline function or a template)"
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*define[[:space:]]' src tests bench fuzz \
  --include='*.cpp' --include='*.h' || true)

# 3. Asserts active in the test build: the last word on NDEBUG in every command is -UNDEBUG
#    (or there is none).
without_asserts=$(grep '"command"' "$database" | while read -r line; do
  last=$(grep -oE -- '-[DU] ?NDEBUG' <<<"$line" | tail -n 1 || true)
  if [ -n "$last" ] && [ "$last" != "-UNDEBUG" ] && [ "$last" != "-U NDEBUG" ]; then
    sed -nE 's/.* -c ([^ "]+).*/\1/p' <<<"$line"
  fi
done)
if [ -n "$without_asserts" ]; then
  fail "$database compiles asserts out (configure with -DQUARNEL_ASSERTS=ON) in:"
  echo "$without_asserts" | sed 's/^/  /' >&2
fi

# 4. clang-tidy with the repository's .clang-tidy files, every warning an error. The
#    build's commands are GCC's: clang does not know some of its warning options.
tidy_files=()
for f in "${sources[@]}"; do
  [[ "$f" == *.cpp ]] || continue
  if grep -qF "\"file\": \"$PWD/$f\"" "$database"; then
    tidy_files+=("$f")
  elif [[ "$f" == src/* || "$f" == tests/* ]]; then
    fail "$f is not in $database"
  fi
done
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
printf '%s\n' "${tidy_files[@]}" | xargs -P "$JOBS" -I '{}' sh -c '
  log="$2/$(echo "$1" | tr / _).log"
  clang-tidy -p "$3" --quiet --warnings-as-errors="*" \
    --extra-arg=-Wno-unknown-warning-option "$1" >"$log" 2>&1 || echo "$1" >>"$2/failed"
' sh '{}' "$logs" "$BUILD"
if [ -f "$logs/failed" ]; then
  fail "clang-tidy finds fault with $(wc -l <"$logs/failed") files:"
  sort "$logs/failed" | while read -r f; do
    grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' \
      "$logs/$(echo "$f" | tr / _).log" >&2
  done
fi

if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "house rules: all kept (${#sources[@]} files formatted, ${#tidy_files[@]} linted)"
