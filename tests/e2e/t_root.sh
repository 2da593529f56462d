#!/bin/bash
# setup run by an ordinary user: the medium is staged (the work area is writable by anyone),
# then the user check refuses, the work directory is removed, the installed tool's two
# maintenance lines are still tried, and the run ends with status 0 having installed nothing.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
SETUP_BIN=${SETUP_BIN:-${BUILD_DIR:-$src/build}/setup}
. "$src/tests/e2e/sandbox.sh"
. "$src/tests/e2e/medium_lib.sh"

md_init
work=$MD_WORK
md_medium orvel

md_start

refusal="sbuser is logged in
You must become root to run setup"

# No earlier installation: the maintenance tool is not there, so both lines fail in the shell.
sb_run -u sbuser -- /cdrom/orvel/setup
check_eq "no earlier installation: status 0" 0 "$SB_RC"
check_contains "message 35 names the user and the program" "$refusal" "$(cat "$SB/out")"
check_eq "both maintenance lines tried (not found)" 2 \
  "$(grep -c '/opt/Orvel/vpxx/vpqadmin: not found' "$SB/err")"
check_not_contains "no error besides the maintenance lines" "ERROR" "$(cat "$SB/err")"
check "work directory removed" sb_test ! -e /tmp/OrvelInstall
log=$(sb_cat /tmp/setup.log)
check_contains "the medium was staged before the user check" \
  "cp -p '/cdrom/orvel/disks' '/tmp/OrvelInstall'" "$log"
check_contains "the work directory was removed by the clean-up" "rm -rf  '/tmp/OrvelInstall'" "$log"
check_not_contains "nothing was unpacked" "uncompress" "$log"
check_eq "nothing changed outside /tmp" "" "$(sb_changes | grep -v '^/tmp/')"

# An earlier installation whose administration tool records its calls and who made them.
sb_mkdir /opt/Orvel/vpxx/bin
sb_sh 'echo "keep me" >/opt/Orvel/vpxx/vpxx.conf
  printf "#!/bin/sh\necho \"\$(id -un) vpqadmin \$*\" >>/tmp/vpqadmin.calls\n" \
    >/opt/Orvel/vpxx/vpqadmin
  chmod 755 /opt/Orvel/vpxx/vpqadmin'
sb_run -u sbuser -- /cdrom/orvel/setup
check_eq "earlier installation: status 0" 0 "$SB_RC"
check_contains "earlier installation: message 35" "$refusal" "$(cat "$SB/out")"
check_eq "the tool ran -upgrade then -clean, as the user" \
  "sbuser vpqadmin -upgrade
sbuser vpqadmin -clean" "$(sb_cat /tmp/vpqadmin.calls)"
check_eq "earlier installation: stderr empty" "" "$(cat "$SB/err")"
check "earlier installation: work directory removed" sb_test ! -e /tmp/OrvelInstall
check_eq "earlier installation untouched" "" "$(sb_changes | grep -v '^/tmp/')"

# A work directory left behind by root: the user can neither remove it nor make a new one.
# The run must not stage into it, nor install anything.
sb_mkdir /tmp/OrvelInstall
sb_sh 'rm -f /tmp/setup.log; echo stale >/tmp/OrvelInstall/pkg_tar.aa; chmod 755 /tmp/OrvelInstall'
sb_run -u sbuser -- /cdrom/orvel/setup
check_eq "root's leftover work directory: status 1" 1 "$SB_RC"
check_contains "root's leftover work directory: says why" \
  "ERROR: cannot create the work directory /tmp/OrvelInstall" "$(cat "$SB/err")"
check_eq "root's leftover work directory: its content untouched" "stale
pkg_tar.aa" "$(sb_sh 'cat /tmp/OrvelInstall/pkg_tar.aa; ls /tmp/OrvelInstall')"
check_not_contains "root's leftover work directory: nothing copied into it" "cp -p" \
  "$(sb_cat /tmp/setup.log)"
check_eq "root's leftover work directory: earlier installation untouched" "" \
  "$(sb_changes | grep -v '^/tmp/')"

# A medium the user may not read: staging comes before the user check, so the copy fails
# and ends the run (status 1) before message 35 could be shown; what was copied stays.
sb_sh 'rm -rf /tmp/OrvelInstall /tmp/setup.log; chmod 600 /cdrom/orvel/pkg_tar.ab'
sb_run -u sbuser -- /cdrom/orvel/setup
check_eq "unreadable medium: status 1" 1 "$SB_RC"
check_contains "unreadable medium: the failed copy reported" "ERROR: exit status 1" \
  "$(cat "$SB/out")"
check_not_contains "unreadable medium: no message 35" "logged in" "$(cat "$SB/out")"
check_contains "unreadable medium: cp's complaint in the log" "Permission denied" \
  "$(sb_cat /tmp/setup.log)"
check_eq "unreadable medium: nothing changed outside /tmp" "" "$(sb_changes | grep -v '^/tmp/')"
sb_sh 'chmod 644 /cdrom/orvel/pkg_tar.ab'

# A work base the user may not create: message 3, two line ends, status 2.
sb_run -u sbuser -- /cdrom/orvel/setup /big
check_eq "uncreatable work base: status 2" 2 "$SB_RC"
check_eq "uncreatable work base: message 3 and two line ends" ".ERROR: couldn't open /big

|" "$(cat "$SB/out"; echo "|")"
check "uncreatable work base: nothing made" sb_test ! -e /big

sb_finish
