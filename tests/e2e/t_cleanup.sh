#!/bin/bash
# The end of a run: after a normal run the work directory is gone and the installed tool's
# two maintenance commands have run; a work base that the run created is removed with it
# when it is empty; a work base that was there stays with what it holds. A failed pkgadd
# removes the new application directory and keeps the work directory for inspection.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
SETUP_BIN=${SETUP_BIN:-${BUILD_DIR:-$src/build}/setup}
. "$src/tests/e2e/sandbox.sh"
. "$src/tests/e2e/medium_lib.sh"

md_init
work=$MD_WORK
md_medium orvel
md_medium huge -I 999999999

md_start
sb_fake_cmd /usr/bin/ps 'echo "  PID TTY          TIME CMD"'

run() { # what, setup arguments...
  local what=$1
  shift
  sb_sh 'rm -f /tmp/setup.log /opt/Orvel/vpxx/vpqadmin.calls'
  sb_run -- /cdrom/orvel/setup "$@"
  check_eq "$what: status 0" 0 "$SB_RC"
  check_eq "$what: stderr empty" "" "$(cat "$SB/err")"
  check_eq "$what: maintenance commands ran" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat /opt/Orvel/vpxx/vpqadmin.calls)"
}

# pkgadd fails: the new application directory goes, the work directory stays, no clean-up.
sb_fake_cmd /usr/sbin/pkgadd 'echo "pkgadd: ERROR: cannot install $3"; exit 1'
sb_run -- /cdrom/orvel/setup
check_eq "pkgadd fails: status 0" 0 "$SB_RC"
check_contains "pkgadd fails: its words reach the user" "pkgadd: ERROR: cannot install TLVNvpxx" \
  "$(cat "$SB/out")"
check_eq "pkgadd fails: the application directory removed" "" \
  "$(sb_changes | grep '^/opt/Orvel/vpxx')"
check "pkgadd fails: the work directory kept" sb_test -d /tmp/OrvelInstall/TLVNvpxx
check_not_contains "pkgadd fails: no clean-up" "rm -rf  '/tmp/OrvelInstall'" \
  "$(sb_cat /tmp/setup.log)"
check_eq "pkgadd fails: nothing else installed" "" \
  "$(sb_changes | grep -v '^/tmp/\|^/opt/Orvel$')"

sb_svr4

# A normal run: fresh install, then the work directory is gone and the tool has run twice,
# the last two progress dots and a line end closing the output.
run "fresh install"
check "fresh install: work directory removed" sb_test ! -e /tmp/OrvelInstall
check_eq "fresh install: output ends with the clean-up's dots" "..
|" \
  "$(tail -c 3 "$SB/out"; echo "|")"
check_contains "fresh install: work directory removed from /" "rm -rf  '/tmp/OrvelInstall'" \
  "$(sb_cat /tmp/setup.log)"
check_eq "fresh install: /opt/Orvel mode 755" 755 "$(sb_sh 'stat -c %a /opt/Orvel')"

# A work base the run creates: used, then removed with the work directory.
for base in /big /big/; do
  run "created work base $base" "$base"
  check_contains "created work base $base: staged there" "cp -p '/cdrom/orvel/disks' '/big/OrvelInstall'" \
    "$(sb_cat /tmp/setup.log)"
  check "created work base $base: /tmp/OrvelInstall never made" sb_test ! -e /tmp/OrvelInstall
  check "created work base $base: removed" sb_test ! -e /big
done
# Several levels made at once: the work base itself goes.
run "created work base /big/deep" /big/deep
check "created work base /big/deep: removed" sb_test ! -e /big/deep

# A work base named relative to where setup starts: made there, used, removed.
sb_mkdir /home/u
sb_sh 'rm -f /tmp/setup.log /opt/Orvel/vpxx/vpqadmin.calls'
sb_run -C /home/u -- /cdrom/orvel/setup mywork
check_eq "relative work base: status 0" 0 "$SB_RC"
check_eq "relative work base: stderr empty" "" "$(cat "$SB/err")"
check_contains "relative work base: staged under the starting directory" \
  "cp -p '/cdrom/orvel/disks' '/home/u/mywork/OrvelInstall'" "$(sb_cat /tmp/setup.log)"
check_eq "relative work base: maintenance commands ran" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat /opt/Orvel/vpxx/vpqadmin.calls)"
check "relative work base: removed" sb_test ! -e /home/u/mywork
check_eq "relative work base: nothing of it left anywhere" "" \
  "$(sb_changes | grep 'mywork\|OrvelInstall')"
sb_sh 'mkdir /home/u/kept && echo mine >/home/u/kept/mine'
sb_run -C /home/u/kept -- /cdrom/orvel/setup .
check_eq "relative work base '.': status 0" 0 "$SB_RC"
check "relative work base '.': work directory removed" sb_test ! -e /home/u/kept/OrvelInstall
check_eq "relative work base '.': kept with its file" "mine" "$(sb_cat /home/u/kept/mine)"

# A work base that was there: kept, with what it holds.
sb_mkdir /data
sb_sh 'echo mine >/data/mine'
run "existing work base /data" /data
check "existing work base /data: work directory removed" sb_test ! -e /data/OrvelInstall
check_eq "existing work base /data: kept with its file" "mine" "$(sb_cat /data/mine)"
sb_mkdir /empty
run "existing empty work base /empty" /empty
check "existing empty work base /empty: kept" sb_test -d /empty

# A run that ends before staging leaves nothing but the work base it created.
sb_sh 'rm -f /opt/Orvel/vpxx/vpqadmin.calls; rmdir /big 2>/dev/null; true'
before=$(sb_changes)
sb_run -- /cdrom/huge/setup /big
check_eq "space refused with a created work base: status 0" 0 "$SB_RC"
check_contains "space refused with a created work base: message 55" "There isn't enough space in /opt" \
  "$(cat "$SB/out")"
check_eq "space refused with a created work base: only the empty base is new" "/big" \
  "$(comm -13 <(echo "$before") <(sb_changes) | grep -v '^/tmp/')"
check_eq "space refused with a created work base: it is empty" "" "$(sb_sh 'ls -A /big')"

sb_finish
