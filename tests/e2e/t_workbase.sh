#!/bin/bash
# The work base named on the command line: one trailing "/" dropped, made with its parents
# when missing, used as it is when present, and a base that cannot be made ends the run with
# message 3, "\n\n" and status 2. A final -v ends each run right after the command line.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
sb_start
sb_put "$SETUP_BIN" /medium/setup 755

# Exactly one log line names the mkdir of the given path, and it ends there.
mkdir_logged() { sb_cat /tmp/setup.log | grep -qE "/mkdir -p '$1'\$"; }

for arg in /big/ /big; do
  sb_sh 'rm -rf /big'
  sb_run -- /medium/setup "$arg" -v
  check_eq "work base $arg: status 0" 0 "$SB_RC"
  check "work base $arg: /big is made" sb_test -d /big
  check "work base $arg: the mkdir names /big without the slash" mkdir_logged /big
  check "work base $arg: no work directory yet" sb_test ! -e /big/OrvelInstall
  check_eq "work base $arg: one progress dot" "." "$(cat "$SB/out")"
done

# Missing parents are made too.
sb_run -- /medium/setup /deep/a/b/ -v
check_eq "nested work base: status 0" 0 "$SB_RC"
check "nested work base: made with its parents" sb_test -d /deep/a/b

# An existing directory is used as it is: no mkdir, nothing changed but the log.
sb_mkdir /ready
sb_run -- /medium/setup /ready/ -v
check_eq "existing work base: status 0" 0 "$SB_RC"
check_eq "existing work base: no progress dot" "" "$(cat "$SB/out")"
check "existing work base: no mkdir logged" eval '! sb_cat /tmp/setup.log | grep -q mkdir'
changes=$(sb_changes)
check_not_contains "existing work base: not touched" "/ready" "$changes"

# The root directory as work base.
sb_run -- /medium/setup / -v
check_eq "work base /: status 0" 0 "$SB_RC"
check_eq "work base /: nothing made" "" "$(cat "$SB/out")"

# Under a regular file: message 3 with the path, then "\n\n", status 2.
sb_sh 'rm -rf /big /deep'
sb_run -- /medium/setup /etc/passwd/w
printf '.ERROR: couldn'"'"'t open %s\n\n' /etc/passwd/w >"$SB/exp"
check_eq "uncreatable work base: status 2" 2 "$SB_RC"
check "uncreatable work base: \".\" (the mkdir), message 3 and \"\\n\\n\" on stdout" \
  cmp -s "$SB/exp" "$SB/out"
check_eq "uncreatable work base: nothing on stderr" "" "$(cat "$SB/err")"
check_contains "uncreatable work base: the failed mkdir is a warning in the log" \
  "WARNING_MSG" "$(sb_cat /tmp/setup.log)"
check_eq "uncreatable work base: nothing changed but the log" "/tmp/setup.log" "$(sb_changes)"

# A regular file is no work base either, and stays as it is.
sb_run -- /medium/setup /etc/passwd/ -v
printf '.ERROR: couldn'"'"'t open %s\n\n' /etc/passwd >"$SB/exp"
check_eq "a file as work base: status 2, before -v is reached" 2 "$SB_RC"
check "a file as work base: message 3 with the path" cmp -s "$SB/exp" "$SB/out"
check_not_contains "a file as work base: the file is untouched" "/etc/passwd" "$(sb_changes)"

# A path the shell would split or interpret is refused before anything runs.
sb_run -- /medium/setup "/my dir" -v
printf 'ERROR: couldn'"'"'t open %s\n\n' "/my dir" >"$SB/exp"
check_eq "work base with a blank: status 2" 2 "$SB_RC"
check "work base with a blank: message 3, no mkdir dot" cmp -s "$SB/exp" "$SB/out"
check "work base with a blank: neither half is made" eval '! sb_test -e /my && ! sb_test -e /dir'
sb_run -- /medium/setup /w install '/x;touch /hacked'
check_eq "install base with a \";\": status 2" 2 "$SB_RC"
check "install base with a \";\": no command ran" sb_test ! -e /hacked

# An ordinary user who may not create the directory gets the same answer.
sb_run -u sbuser -- /medium/setup /opt/w
printf '.ERROR: couldn'"'"'t open %s\n\n' /opt/w >"$SB/exp"
check_eq "not allowed to make the work base: status 2" 2 "$SB_RC"
check "not allowed to make the work base: message 3" cmp -s "$SB/exp" "$SB/out"
check "not allowed to make the work base: nothing made" sb_test ! -e /opt/w

sb_finish
