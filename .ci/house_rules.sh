#!/usr/bin/env bash
# The house rules that a compiler does not check: formatting, lint, the one-way module
# dependencies and asserts in the test build. Run after `make test`, whose build directory
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

# 2. The engine's stages never include each other; the newer rooms reach only common and
#    layout. A folder not yet there is skipped.
engine=(input expand permute estimate)
for from in "${engine[@]}"; do
  for to in "${engine[@]}"; do
    if [ "$from" != "$to" ] && hits=$(grep -rn "#include \"$to/" "src/$from"); then
      fail "src/$from includes $to:"
      echo "$hits" >&2
    fi
  done
done
for room in table results; do
  [ -d "src/$room" ] || continue
  if hits=$(grep -rn '#include "' "src/$room" | grep -vE "#include \"(common|layout|$room)/"); then
    fail "src/$room includes more than common and layout:"
    echo "$hits" >&2
  fi
done

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
