#!/bin/bash
# The search for an earlier installation through /opt/Orvel/vpxx: a real directory and a
# link to an existing directory count as installations and are left as they are; a dangling
# link, or one to something that is not a directory, is removed with a logged "rm -f".
#
# The base chosen for the first two cases (/opt, and /export/opt for the link) is not shown
# by the start-up itself; once the install sequence uses it (the application directory it
# upgrades, the messages it prints), this scenario is extended to assert it.
here=$(cd "$(dirname "$0")" && pwd)
. "${SOURCE_DIR:-$here/../..}/tests/e2e/sandbox.sh"
sb_start
sb_put "$SETUP_BIN" /medium/setup 755

probe=/opt/Orvel/vpxx
rm_line_re="(^|[\" ])/[^ ]*/rm -f '$probe'\$"
# Prints the log lines that remove the probe path.
rm_lines() { sb_cat /tmp/setup.log | grep -E "$rm_line_re"; }
# Prints the changes below /opt/Orvel and /export, made by the last run.
orvel_changes() { sb_changes | grep -E '^(/opt/Orvel|/export)(/|$)'; }
reset() { sb_sh 'rm -rf /opt/Orvel /export'; }

# A real directory: an installation under "/opt"; nothing is removed or changed.
sb_mkdir $probe/db
sb_sh "echo data >$probe/db/que.vdb"
sb_run -- /medium/setup
check "real directory: setup does not die of a signal" [ "$SB_RC" -lt 128 ]
check_eq "real directory: the log starts as usual" "initializing system" \
  "$(sb_cat /tmp/setup.log | head -n 1)"
check "real directory: still a directory" sb_test -d $probe -a ! -L $probe
check_eq "real directory: its content is kept" "data" "$(sb_cat $probe/db/que.vdb)"
check_eq "real directory: no rm -f of the probe path in the log" "" "$(rm_lines)"
check_eq "real directory: nothing changed below /opt/Orvel" "" "$(orvel_changes)"

# A link to an existing directory: the earlier base is /export/opt; the link stays.
reset
sb_mkdir /export/opt/Orvel/vpxx /opt/Orvel
sb_sh "ln -s /export/opt/Orvel/vpxx $probe"
sb_run -- /medium/setup
check "link to a directory: setup does not die of a signal" [ "$SB_RC" -lt 128 ]
check "link to a directory: still a link" sb_test -L $probe
check_eq "link to a directory: pointing where it did" "/export/opt/Orvel/vpxx" \
  "$(sb_sh "readlink $probe")"
check "link to a directory: the directory is kept" sb_test -d /export/opt/Orvel/vpxx
check_eq "link to a directory: no rm -f of the probe path in the log" "" "$(rm_lines)"
check_eq "link to a directory: nothing changed below /opt/Orvel or /export" "" \
  "$(orvel_changes)"

# A dangling link: removed with "rm -f '/opt/Orvel/vpxx'" (logged, one progress dot).
reset
sb_mkdir /opt/Orvel
sb_sh "ln -s /export/opt/Orvel/vpxx $probe"
sb_run -- /medium/setup
check "dangling link: setup does not die of a signal" [ "$SB_RC" -lt 128 ]
check "dangling link: the link is gone" sb_test ! -L $probe -a ! -e $probe
check_eq "dangling link: one logged rm -f line" 1 "$(rm_lines | wc -l)"
check_eq "dangling link: the log starts as usual" "initializing system" \
  "$(sb_cat /tmp/setup.log | head -n 1)"
check_eq "dangling link: the removal is the only change below /opt/Orvel" "$probe" \
  "$(orvel_changes)"
check_eq "dangling link: its progress dot" "." "$(head -c 1 "$SB/out")"

# A link to a regular file is no installation either; the file itself stays.
reset
sb_mkdir /export/opt/Orvel /opt/Orvel
sb_sh "echo file >/export/opt/Orvel/vpxx && ln -s /export/opt/Orvel/vpxx $probe"
sb_run -- /medium/setup
check "link to a file: the link is gone" sb_test ! -L $probe -a ! -e $probe
check_eq "link to a file: the file it named is kept" "file" "$(sb_cat /export/opt/Orvel/vpxx)"
check_eq "link to a file: one logged rm -f line" 1 "$(rm_lines | wc -l)"

# The probe looks under /opt whatever install base the command line names.
reset
sb_mkdir /opt/Orvel /export/opt
sb_sh "ln -s /nowhere/Orvel/vpxx $probe"
sb_run -- /medium/setup /w /export/opt
check "install base on the command line: the dangling link under /opt is gone" \
  sb_test ! -L $probe
check_eq "install base on the command line: one logged rm -f line" 1 "$(rm_lines | wc -l)"

sb_finish
