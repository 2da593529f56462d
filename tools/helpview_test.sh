#!/bin/bash
# Runs helpview on the sample help file and on bad arguments; compares the output exactly.
# Its output is not a terminal, so it prints (the help menu on a terminal: HelpTty_test).
# Environment: HELPVIEW (the binary), SOURCE_DIR (the source tree).
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}
bin=${HELPVIEW:-$src/build/helpview}
help=$src/demo/help/help.htm
expected=$src/demo/help/help.expected
tmp=$(mktemp -d /tmp/helpview_test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
failed=0
passed=0

check() { # name, then a command that succeeds when the check holds
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAIL: $name" >&2
    failed=$((failed + 1))
  fi
}

# The page of the expected text numbered $1 (pages are separated by form feeds).
expected_page() { awk -v n="$1" 'BEGIN { RS = "\f"; ORS = "" } NR == n' "$expected"; }

"$bin" "$help" >"$tmp/all" 2>"$tmp/err"
check "whole file: status 0" test $? = 0
check "whole file: the expected text" cmp -s "$tmp/all" "$expected"
check "whole file: nothing on stderr" test ! -s "$tmp/err"

"$bin" -d "$help" >"$tmp/dump"
check "-d: the expected text" cmp -s "$tmp/dump" "$expected"

expected_page 2 >"$tmp/page2"
"$bin" "$help" 2 >"$tmp/by_number"
check "page by number" cmp -s "$tmp/by_number" "$tmp/page2"
"$bin" "$help" printing >"$tmp/by_name"
check "page by name" cmp -s "$tmp/by_name" "$tmp/page2"
"$bin" "$help#queues" >"$tmp/by_anchor"
check "page of an anchor" cmp -s "$tmp/by_anchor" "$tmp/page2"

"$bin" -h >"$tmp/out" 2>"$tmp/err"
check "-h: status 0, usage on stdout" test $? = 0 -a -s "$tmp/out" -a ! -s "$tmp/err"
check "-h: names the arguments" grep -q '^usage: helpview \[-d\] FILE \[PAGE\]$' "$tmp/out"

"$bin" >"$tmp/out" 2>"$tmp/err"
check "no argument: status 2, usage on stderr" test $? = 2 -a ! -s "$tmp/out" -a -s "$tmp/err"
"$bin" "$help" 1 2 >"$tmp/out" 2>"$tmp/err"
check "too many arguments: status 2" test $? = 2 -a ! -s "$tmp/out"

"$bin" "$tmp/missing.htm" >"$tmp/out" 2>"$tmp/err"
check "missing file: status 1" test $? = 1 -a ! -s "$tmp/out"
printf 'Error in reading HTML file %s\n' "$tmp/missing.htm" >"$tmp/want"
check "missing file: the message" cmp -s "$tmp/err" "$tmp/want"
: >"$tmp/empty.htm"
"$bin" "$tmp/empty.htm" >"$tmp/out" 2>"$tmp/err"
check "empty file: status 1" test $? = 1 -a -s "$tmp/err"

"$bin" "$help" 9 >"$tmp/out" 2>"$tmp/err"
check "no such page: status 1" test $? = 1 -a ! -s "$tmp/out" -a -s "$tmp/err"

echo "helpview: $passed passed, $failed failed"
test "$failed" = 0
