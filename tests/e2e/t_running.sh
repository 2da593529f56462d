#!/bin/bash
# Programs of an earlier installation still running: setup lists them with a two-choice
# menu. "2" and the end of the input quit with status 0 before anything is staged or moved,
# any other character shows the menu again, "1" waits (5-second polls) and goes on as soon
# as they are gone. Without an earlier installation nothing is asked.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
SETUP_BIN=${SETUP_BIN:-${BUILD_DIR:-$src/build}/setup}
. "$src/tests/e2e/sandbox.sh"
. "$src/tests/e2e/medium_lib.sh"

md_init
work=$MD_WORK
md_medium orvel

md_start
# ps -e: the header, then the rows of /etc/fake-ps. With /etc/fake-ps-window holding N, the
# rows are listed only during the N seconds after the first call (the programs then end).
sb_fake_cmd /usr/bin/ps 'echo "  PID TTY          TIME CMD"
if [ -f /etc/fake-ps-window ]; then
  now=$(date +%s)
  [ -f /tmp/ps.first ] || echo "$now" >/tmp/ps.first
  [ $((now - $(cat /tmp/ps.first))) -lt "$(cat /etc/fake-ps-window)" ] || exit 0
fi
cat /etc/fake-ps 2>/dev/null; exit 0'

running() { sb_sh 'printf "$1" >/etc/fake-ps' "$1"; }
answer() { printf "$1" >"$work/in"; }
count() { grep -c -F -- "$1" "$SB/out"; }
fingerprint() {
  sb_sh 'for d; do if [ -e "$d" ] || [ -L "$d" ]; then
      find "$d" -printf "%p %y %m %u %s %T@ %l\n"; find "$d" -type f -exec md5sum {} +; fi
    done | LC_ALL=C sort' fp /opt/Orvel /var/sadm /var/spool/Orvel /usr/bin/vpprint \
    /usr/share/doc/orvel-vpxx /export
}

menu='Would you like to:
1.  Wait 30 seconds for these processes to terminate
2.  Quit the installation

Enter a selection:  '
heading='
The following processes are running.
The installer can not continue until these terminate:
'

running '  77 ?        00:00:01 vpqadmin\n'

# No earlier installation: the process table is not consulted.
sb_run -- /cdrom/orvel/setup
check_eq "fresh install: status 0" 0 "$SB_RC"
check_eq "fresh install: no menu" 0 "$(count 'Enter a selection')"
check "fresh install: installed" sb_test -f /opt/Orvel/vpxx/.vp_cfg
sb_sh 'rm -f /tmp/setup.log'
before=$(fingerprint)

quits() { # input, what, number of menus
  answer "$1"
  sb_run -i "$work/in" -- "${@:4}"
  check_eq "$2: status 0" 0 "$SB_RC"
  check_eq "$2: menu shown $3 time(s)" "$3" "$(count '2.  Quit the installation')"
  check_eq "$2: stderr empty" "" "$(cat "$SB/err")"
  check "$2: nothing staged" sb_test ! -e /tmp/OrvelInstall
  check_eq "$2: installation untouched, tool not run" "$before" "$(fingerprint)"
}

quits '2\n' "2" 1 /cdrom/orvel/setup
check_eq "2: report and menu" "$heading"'vpqadmin ( 77 )

'"$menu|" "$(cat "$SB/out"; echo "|")"
quits '3\n2\n' "3 then 2" 2 /cdrom/orvel/setup
quits 'x\n9\n2\n' "x, 9, then 2" 3 /cdrom/orvel/setup
quits '' "end of input" 1 /cdrom/orvel/setup
# A new base asked for: the quit comes before anything is moved.
quits '2\n' "2 with a new base" 1 /cdrom/orvel/setup /tmp /export/opt
check "2 with a new base: /opt/Orvel/vpxx still a directory" sb_test ! -L /opt/Orvel/vpxx

# Several programs: one report line each, in the order of the watched list; the name must
# match the command column exactly.
running '  77 ?        00:00:01 vpqadmin\n  90 pts/0    00:00:00 driver\n  78 ?        00:00:00 vpqadmin\n  91 ?        00:00:00 vpqadmin-helper\n  92 ?        00:00:00 /opt/Orvel/vpxx/vsf\n'
quits '2\n' "several" 1 /cdrom/orvel/setup
check_contains "several: report" "$heading"'vpqadmin ( 77 78 )
driver ( 90 )

Would you like to:' "$(cat "$SB/out")"

# "1" while the program goes on running: six looks 5 seconds apart, then the report and the
# menu again; "2" then quits.
running '  77 ?        00:00:01 vpqadmin\n'
answer '1\n2\n'
start=$SECONDS
sb_run -i "$work/in" -- /cdrom/orvel/setup
took=$((SECONDS - start))
check_eq "1 while it runs: status 0" 0 "$SB_RC"
check_eq "1 while it runs: menu shown again after the wait" 2 "$(count '2.  Quit the installation')"
check_eq "1 while it runs: report shown again" 2 "$(count 'vpqadmin ( 77 )')"
check "1 while it runs: waited 30 s (took ${took}s)" test "$took" -ge 30 -a "$took" -lt 40
check "1 while it runs: nothing staged" sb_test ! -e /tmp/OrvelInstall
check_eq "1 while it runs: installation untouched" "$before" "$(fingerprint)"

# "1": the program is gone at the first 5-second look; the upgrade goes on.
running '  77 ?        00:00:01 vpqadmin\n'
sb_sh 'echo 3 >/etc/fake-ps-window'
answer '1\n'
start=$SECONDS
sb_run -i "$work/in" -- /cdrom/orvel/setup
took=$((SECONDS - start))
check_eq "1: status 0" 0 "$SB_RC"
check_eq "1: menu shown once" 1 "$(count '2.  Quit the installation')"
check "1: waited one poll (5 s, took ${took}s)" test "$took" -ge 5 -a "$took" -lt 10
check_eq "1: stderr empty" "" "$(cat "$SB/err")"
check_eq "1: upgraded" "VERSION=4.50.11" \
  "$(sb_sh 'grep ^VERSION= /var/sadm/pkg/TLVNvpxx/pkginfo')"
check "1: work directory removed" sb_test ! -e /tmp/OrvelInstall

sb_finish
