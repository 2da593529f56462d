#!/bin/bash
# The accepted command-line forms, seen from outside: which words are taken as the work base
# (made at once) and which as the install base (not made at start-up). A final -v ends each
# run right after the command line; the no-argument and trailing-install forms run on until
# the space check finds no size files on this medium.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
sb_start
sb_put "$SETUP_BIN" /medium/setup 755
printf 'setup 4.50.11\n' >"$SB/exp.err"

# Runs setup with the arguments; expects the version answer (status 0, text on stderr).
run_v() {
  sb_sh 'rm -rf /w /w2 /w3 /x /export /install'
  sb_run -- /medium/setup "$@"
  check_eq "setup $*: status 0" 0 "$SB_RC"
  check "setup $*: the version answer" cmp -s "$SB/exp.err" "$SB/err"
}

# WORKBASE INSTALLBASE
run_v /w /export/opt/Orvel/vpxx -v
check "WORKBASE INSTALLBASE: the work base is made" sb_test -d /w
check "WORKBASE INSTALLBASE: the install base is not" sb_test ! -e /export

# install INSTALLBASE
run_v install /x -v
check "install INSTALLBASE: nothing made" sb_test ! -e /x
check_eq "install INSTALLBASE: no progress dot" "" "$(cat "$SB/out")"

# WORKBASE install INSTALLBASE
run_v /w install /x -v
check "WORKBASE install INSTALLBASE: the work base is made" sb_test -d /w
check "WORKBASE install INSTALLBASE: the install base is not" sb_test ! -e /x
check "WORKBASE install INSTALLBASE: \"install\" names no directory" sb_test ! -e /install

# install INSTALLBASE WORKBASE: the word at position 3 is a work base.
run_v install /x /w3 -v
check "install INSTALLBASE WORKBASE: the work base is made" sb_test -d /w3
check "install INSTALLBASE WORKBASE: the install base is not" sb_test ! -e /x

# A later work base is made as well and replaces the earlier one.
run_v /w /x /w3 -v
check "three words: the first is made" sb_test -d /w
check "three words: the second is the install base" sb_test ! -e /x
check "three words: the third is made" sb_test -d /w3
check_eq "three words: two mkdir runs" ".." "$(cat "$SB/out")"

# "install" followed by -v takes -v as its directory: no version answer, the start-up runs.
sb_sh 'rm -rf /w'
sb_run -- /medium/setup /w install -v
check_eq "install -v: -v is the install base, no version text" "" "$(cat "$SB/err")"
check "install -v: the work base is made" sb_test -d /w

# The whole start-up, without arguments and with a trailing "install" (ignored). This medium
# holds only the program, so the run goes on to the space check and stops there: no isize.
sb_sh 'rm -rf /w /w2 /w3'
sb_run -- /medium/setup
check_eq "no argument: status 0" 0 "$SB_RC"
check_eq "no argument: only the missing-size message" \
  "Could not determine how much space needed for install, missing isize." \
  "$(cat "$SB/out")$(cat "$SB/err")"
check_contains "no argument: the log was started" "initializing system" \
  "$(sb_cat /tmp/setup.log)"
check_eq "no argument: nothing made but the log" "/tmp/setup.log" "$(sb_changes)"

sb_run -- /medium/setup /w install
check_eq "WORKBASE install: status 0" 0 "$SB_RC"
check "WORKBASE install: the work base is made" sb_test -d /w
check "WORKBASE install: \"install\" names no directory" sb_test ! -e /install

sb_run -- /medium/setup install
check_eq "install alone: status 0" 0 "$SB_RC"
check "install alone: \"install\" names no directory" sb_test ! -e /install

sb_finish
