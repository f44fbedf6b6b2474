#!/usr/bin/env bash
# The report page in a real browser: the page of the bundled example and of a
# ten-locus pair run load in headless Chromium without a console message,
# every population and pair appears in the rendered page, and a screenshot of
# each is kept as the test's artifact. Exits 77 (skipped) without chromium.
# Usage: report_page_browser.sh QUARNEL EXAMPLE_TABLE TEN_LOCI_TABLE ARTIFACT_FOLDER
set -uo pipefail
program=$1
example=$2
ten_loci=$3
artifacts=$4
browser=$(command -v chromium || command -v chromium-browser)
if [[ -z $browser ]]; then
  echo "skipped: no chromium (tools/install_packages.sh chromium installs it)"
  exit 77
fi
rm -rf "$artifacts"
mkdir -p "$artifacts"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
flags=(--headless --no-sandbox --disable-gpu --enable-logging=stderr --v=0
  "--user-data-dir=$artifacts/profile")

# check NAME NAME... : loads $artifacts/NAME.html, keeps NAME.png, and looks
# for every further name in the rendered page.
check() {
  local name=$1 page=$artifacts/$1.html
  shift
  if grep -qiE '<script|src=|href=|url\(|<link|@import' "$page"; then
    fail "$name: the page refers outside itself or has a script"
  fi
  timeout 120 "$browser" "${flags[@]}" --dump-dom "file://$page" >"$artifacts/$name.dom" \
    2>"$artifacts/$name.dom.err" || fail "$name: the browser did not load the page"
  timeout 120 "$browser" "${flags[@]}" --window-size=1200,2000 \
    "--screenshot=$artifacts/$name.png" "file://$page" >/dev/null 2>"$artifacts/$name.png.err" ||
    fail "$name: no screenshot"
  [[ -s $artifacts/$name.png ]] || fail "$name: the screenshot is empty"
  if grep -h ':CONSOLE' "$artifacts/$name.dom.err" "$artifacts/$name.png.err"; then
    fail "$name: console messages"
  fi
  grep -q '<svg' "$artifacts/$name.dom" || fail "$name: no picture in the rendered page"
  for text in "$@"; do
    grep -qF -- "$text" "$artifacts/$name.dom" || fail "$name: '$text' not in the rendered page"
  done
}

"$program" --genotypes "$example" --out "$artifacts/example" --quiet >/dev/null ||
  fail "the example run failed"
check example Valley Coast Upland ESD GLO1 HP TF

"$program" --genotypes "$ten_loci" --pairs --permutations 99 --out "$artifacts/ten_loci" \
  --quiet >/dev/null || fail "the ten-locus pair run failed"
pairs=()
for i in $(seq 1 10); do
  for j in $(seq $((i + 1)) 10); do
    pairs+=("L$i ~ L$j")
  done
done
check ten_loci North South "${pairs[@]}"

rm -rf "$artifacts/profile"
[[ $failures == 0 ]] || exit 1
echo "report pages: rendered without console messages; screenshots in $artifacts"
