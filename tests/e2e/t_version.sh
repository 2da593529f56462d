#!/bin/bash
# "-v": the program name and the version on standard error, status 0, nothing made but the
# log. Arguments before it are applied first (a work base is made); later ones are not.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
sb_start
sb_put "$SETUP_BIN" /medium/setup 755
sb_put "$SETUP_BIN" /medium/vsetup 755
printf 'setup 4.50.11\n' >"$SB/exp.err"

sb_run -- /medium/setup -v
check_eq "-v ends with status 0" 0 "$SB_RC"
check "-v prints exactly \"setup 4.50.11\\n\" on standard error" cmp -s "$SB/exp.err" "$SB/err"
check "-v prints nothing on standard output" test ! -s "$SB/out"
check_eq "-v creates nothing but the log" "/tmp/setup.log" "$(sb_changes)"
check_contains "the log was started" "initializing system" "$(sb_cat /tmp/setup.log)"

# The name is the last component of the program's path; the log is named after it.
sb_run -C /medium -- ./vsetup -v
check_eq "-v under another name: status 0" 0 "$SB_RC"
check_eq "-v under another name prints that name" "vsetup 4.50.11" "$(cat "$SB/err")"
check "the log is named after the program" sb_test -f /tmp/vsetup.log

# A work base before -v is made first; -v ends the run before the next argument.
sb_run -- /medium/setup /big -v /later
check_eq "work base then -v: status 0" 0 "$SB_RC"
check "work base then -v: the version text" cmp -s "$SB/exp.err" "$SB/err"
check "the work base before -v is made" sb_test -d /big
check "no work directory is made in it" sb_test ! -e /big/OrvelInstall
check "the argument after -v is not applied" sb_test ! -e /later
check_eq "one progress dot for the mkdir, nothing else" "." "$(cat "$SB/out")"
check_contains "the mkdir is in the log" "mkdir -p '/big'" "$(sb_cat /tmp/setup.log)"

# -v at the install base position still answers.
sb_run -- /medium/setup /big2 -v
check "-v in second position: the version text" cmp -s "$SB/exp.err" "$SB/err"
check_eq "-v in second position: status 0" 0 "$SB_RC"

sb_finish
