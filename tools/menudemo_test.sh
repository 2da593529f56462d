#!/bin/bash
# Runs menudemo on scripted input (a name refused, a number out of range, a sub-menu chosen
# by the connection, items hidden and greyed out by state formats, the trays action, the
# leave and apply questions) and compares its last screen, the summary and the stored
# settings file exactly; then a batch run from that file, an unreadable file and a wrong
# argument.
# Environment: MENUDEMO (the binary; the catalogue lies beside it), SOURCE_DIR.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}
bin=${MENUDEMO:-$src/build/menudemo}
tmp=$(mktemp -d /tmp/menudemo_test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1
export TERM=dumb # "clear" then prints nothing
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

printf '%s\n' '' n '1 my queue' '' '1 lp0' '4 70000' '' '3 2' 5 1 /dev/ttyS1 '2 2' '' y \
  '6 3' '10 2,4' '11 2' '7 7.5' '' y >input
"$bin" <input >out 2>err
check "session: status 0" test $? = 0
check "session: nothing on stderr" test ! -s err
check "session: the name refused" grep -qFx 'This text may contain "abc..zABC..Z012..9-_"' out
check "session: the port refused" grep -qF 'exit: This number must be between 1 to 65535.' out

cat >settings <<'END'
1[lp0] 11 0
2[Office printer] 12 0
3[1] 9 0
4[9100] 13 2
6[2] 9 0
7[7.500] 14 0
8[0] 9 1
11[1] 9 0
12[Printed by Orvel] 12 0
13[10] 13 2
5{
0[/dev/ttyS1] 12 0
1[1] 9 0
}
END
cat >summary <<'END'

Queue "lp0" (Office printer)
  connection:  Serial on /dev/ttyS1 at 19200 baud
  paper:       Legal, darkness 7.5, duplex Off
  extra trays: Tray 2 Manual feed
  banner:      "Printed by Orvel"

END
{
  printf '\n%30s%s\n\n' '' 'Printer queue set-up'
  printf '%s\n\n' 'Queue settings ' ' 1) Queue name .... [lp0]' \
    ' 2) Description ... [Office printer]' ' 3) Connection .... [2. Serial]' \
    ' 5) Serial line ' ' 6) Paper ......... [3. Legal]' ' 7) Darkness ...... [7.500]' \
    '    Duplex ........ [1. Off]' ' 9) Extra trays ... [2,4]' '10) Choose trays ' \
    '11) Banner page ... [2. Yes]' '12) Banner text ... [Printed by Orvel]' ' a) Apply ' \
    ' q) Quit '
  printf '\nEnter a selection or s for store settings in a file or h for help or <Return> to exit: '
  printf 'Apply the queue settings? [y/n] '
  cat summary
  echo 'Settings stored in queue.settings:'
  cat settings
} >last
awk 'BEGIN { RS = "\f"; ORS = "" } { page = $0 } END { print page }' out >out.last
check "session: the last screen, the summary and the stored file" cmp -s out.last last
check "session: queue.settings" cmp -s queue.settings settings

printf '%s\n' h 1 b e '' y | "$bin" >out 2>err
check "help: status 0" test $? = 0 -a ! -s err
check "help: its page" grep -qF 'Type the number of an item to change it, or the number' out
check "help: the page of its first link" grep -qF 'A queue name has 1 to 32 letters' out

"$bin" -f queue.settings -o again.settings >out 2>err
check "batch: status 0" test $? = 0 -a ! -s err
{
  cat summary
  echo 'Settings stored in again.settings:'
  cat settings
} >want
check "batch: the same summary and file" cmp -s out want
check "batch: again.settings" cmp -s again.settings settings

"$bin" -f missing.settings >out 2>err
check "unreadable file: status 1" test $? = 1 -a ! -s out
printf '%s\n' "WARNING: can't open file, missing.settings" \
  'menudemo: the settings file could not be read: nothing applied' >want
check "unreadable file: the messages" cmp -s err want

"$bin" -x >out 2>err
check "wrong argument: status 2 and the usage" test $? = 2 -a ! -s out -a -s err

echo "menudemo_test: $passed passed, $failed failed"
[ "$failed" = 0 ]
