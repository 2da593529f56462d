#!/bin/bash
# What the start-up leaves behind: a fresh log /tmp/setup.log (mode 666 when new) whose first
# line is "initializing system", and nothing written outside the work base; with "setup /big"
# only /big (and what is inside it) and the log change. The log never writes through a link.
here=$(cd "$(dirname "$0")" && pwd)
. "${SOURCE_DIR:-$here/../..}/tests/e2e/sandbox.sh"
sb_start
sb_put "$SETUP_BIN" /medium/setup 755

# Prints the changes outside the given work directory (and outside the directory itself).
changes_outside() { sb_changes | grep -vE "^$1(/|\$)"; }

# No argument: the work base is /tmp, the work directory /tmp/OrvelInstall.
sb_run -- /medium/setup
check "no argument: setup does not die of a signal" [ "$SB_RC" -lt 128 ]
check_eq "no argument: the log's first line" "initializing system" \
  "$(sb_cat /tmp/setup.log | head -n 1)"
check_eq "no argument: a new log is readable and writable by all" 666 \
  "$(sb_sh 'stat -c %a /tmp/setup.log')"
check_eq "no argument: nothing changed but the log" "/tmp/setup.log" \
  "$(changes_outside /tmp/OrvelInstall)"
check_eq "no argument: nothing on standard error" "" "$(cat "$SB/err")"

# A second run starts the log afresh.
sb_sh 'echo "left by an earlier run" >/tmp/setup.log'
sb_run -- /medium/setup
check_eq "second run: the log's first line" "initializing system" \
  "$(sb_cat /tmp/setup.log | head -n 1)"
check_not_contains "second run: the earlier log is gone" "left by an earlier run" \
  "$(sb_cat /tmp/setup.log)"

# "setup /big": /big is made; nothing else but the log changes.
sb_sh 'rm -f /tmp/setup.log'
sb_run -- /medium/setup /big
check "work base /big: setup does not die of a signal" [ "$SB_RC" -lt 128 ]
check "work base /big: /big is a directory" sb_test -d /big
check_eq "work base /big: the log's first line" "initializing system" \
  "$(sb_cat /tmp/setup.log | head -n 1)"
changes=$(sb_changes)
check_contains "work base /big: /big is among the changes" "/big" "$changes"
check_eq "work base /big: nothing changed outside /big but the log" "/tmp/setup.log" \
  "$(changes_outside /big)"

# The log as a link: nothing is written through it; the message is reported as lost.
sb_sh 'rm -rf /big; echo "keep me" >/etc/victim; chmod 600 /etc/victim;
       ln -sf /etc/victim /tmp/setup.log'
sb_run -- /medium/setup
check_eq "log is a link: the file it names is unchanged" "keep me" "$(sb_cat /etc/victim)"
check_eq "log is a link: its mode is unchanged" 600 "$(sb_sh 'stat -c %a /etc/victim')"
check "log is a link: still a link" sb_test -L /tmp/setup.log
check_contains "log is a link: the lost message is reported" \
  "ERROR: couldn't open /tmp/setup.log" "$(cat "$SB/err")"
check_eq "log is a link: nothing changed" "" "$(changes_outside /tmp/OrvelInstall)"

sb_finish
