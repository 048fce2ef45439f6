#!/usr/bin/env bash
# The test summary against a made-up tree: a GoogleTest program with a skipped
# case, a script test, and a program that failed without a report. A skip that
# counted as a pass would hide a feature the tests never reached.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/reports" "$tree/Testing/Temporary"
printf 'add_test(gtests true)\nadd_test(script true)\nadd_test(crashed false)\n' > "$tree/CTestTestfile.cmake"
cat > "$tree/reports/gtests.xml" <<'XML'
<testsuites tests="4" failures="0" disabled="0" errors="0" name="AllTests">
  <testsuite name="A" tests="2" failures="0" disabled="0" skipped="0" errors="0"/>
  <testsuite name="B" tests="2" failures="0" disabled="0" skipped="1" errors="0"/>
</testsuites>
XML
printf '3:crashed\n' > "$tree/Testing/Temporary/LastTestsFailed.log"
status=0
out=$(python3 "$root/tools/summarize-tests" "$tree") || status=$?
want="4 passed, 1 failed, 1 skipped"
[ "$(tail -n 1 <<<"$out")" = "$want" ] || { printf 'got:\n%s\nwanted: %s\n' "$out" "$want"; exit 1; }
[ $status -ne 0 ] || { echo "a failure must end the summary non-zero"; exit 1; }
