#!/bin/bash
# Package-list lines longer than the 510 characters the line reader takes are skipped whole,
# with a warning: a comment hiding "t ../../../etc/hidden" right after the limit, the same
# with a NUL byte early in the line, and a command whose words run past the limit run
# nothing. A short line with a NUL byte, a line of exactly 510 characters and the lines
# after the long ones still run.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx

# pad TEXT: TEXT followed by blanks to 510 characters.
pad() { printf '%-510s' "$1"; }
tree=$IL_HOST/tree
il_tree "$tree"
for f in cut.txt exact.txt; do echo "$f" >"$tree/$f"; done
{
  printf '%s%s\n' "$(pad '# a long comment')" 't ../../../etc/hidden1'
  printf '#\0%s%s\n' "$(pad '' | cut -c 3-)" 't ../../../etc/hidden2'
  printf '%s%s\n' "$(pad 'c cut.txt mode 600')" 'mode 644 t hidden3'
  printf '#\0 a short line with a NUL byte\n'
  printf '%s\n' "$(pad 'c exact.txt mode 640')" 't after'
} >"$tree/pkg.list"
il_medium "$tree" /cdrom/orvel
il_setup
check_eq "status 0" 0 "$SB_RC"
warning="WARNING: /tmp/OrvelInstall/./pkg.list: a line longer than 510 characters is skipped"
check_eq "one warning per long line" "$warning
$warning
$warning" "$(cat "$SB/err")"
check "the text after the limit never ran" \
  sb_test ! -e /etc/hidden1 -a ! -e /etc/hidden2 -a ! -e $app/hidden3
check "the long command line did not run either" sb_test ! -e $app/cut.txt
check_eq "a line of exactly 510 characters ran" "exact.txt 640" \
  "$(sb_cat $app/exact.txt) $(il_mode $app/exact.txt)"
check "the line after the long ones ran" sb_test -f $app/after
check_eq "nothing written outside the install's places" "" \
  "$(il_stray /opt/Orvel /var/sadm /var/spool/Orvel /usr/share/doc/orvel-vpxx)"

sb_finish
