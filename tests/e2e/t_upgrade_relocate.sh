#!/bin/bash
# Upgrade with a new base: an installation under /opt moved to /export/opt by
# "setup /tmp /export/opt" (after a refused attempt while its programs run), upgraded there,
# /opt/Orvel/vpxx left as a link to it; then moved back to /opt, where no link is needed.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
opt=/opt/Orvel/vpxx
exp=/export/opt/Orvel/vpxx

old=$IL_HOST/old
il_tree "$old" 4.0
il_medium "$old" /cdrom/v40
il_setup
check_eq "fresh install under /opt: status 0" 0 "$SB_RC"
sb_sh "echo mine >$opt/userdata"

new=$IL_HOST/new
il_tree "$new" 4.5
il_medium "$new" /cdrom/v45

# A program of the installation runs and the user chooses to quit: nothing moves.
il_ps "  4711 ?        00:00:03 vprint"
printf '2\n' >"$IL_HOST/quit"
IL_INPUT=$IL_HOST/quit il_setup /tmp /export/opt
check_eq "quit while vprint runs: status 0" 0 "$SB_RC"
check_contains "the running program is named" "vprint" "$(cat "$SB/out")"
check "quit: nothing moved" sb_test -d $opt -a ! -L $opt -a ! -e /export
check "quit: nothing staged" sb_test ! -e /tmp/OrvelInstall
il_ps

il_setup /tmp /export/opt
check_eq "upgrade into /export/opt: status 0" 0 "$SB_RC"
check "the application directory is now under /export/opt" sb_test -d $exp -a ! -L $exp
check_eq "its contents moved with it" mine "$(sb_cat $exp/userdata)"
check "/opt/Orvel/vpxx is a symbolic link" sb_test -L $opt
check_eq "the link leads to the new place" $exp "$(sb_sh "readlink $opt")"
check "the old maker directory stays" sb_test -d /opt/Orvel -a ! -L /opt/Orvel
check_eq "upgraded in the new place" 'echo "vprint 4.5"' "$(sb_cat $exp/bin/vprint | tail -n 1)"
check_eq "absolute file upgraded" "doc of 4.5" "$(sb_cat /usr/share/doc/orvel-vpxx/README)"
check_contains "registered under the new base" "$exp/bin/vprint f none 0755 root root TLVNvpxx" \
  "$(sb_cat /var/sadm/install/contents)"
check "library directories made in the new place" \
  sb_test -d $exp/lib/gtk/modules/pango/1.2.0/modules
check_contains "scripts name the new place" "ToolPath=\"$exp\"" "$(sb_cat $exp/v4DriverScript)"
check_eq "flag file in the new place" "[ V5 ]" "$(sb_sh 'printf "[%s]" "$(cat "$1")"' $exp/.vp_cfg)"
check_eq "maker directory of the new base 755" 755 "$(il_mode /export/opt/Orvel)"
check_contains "version rewritten" "VERSION=4.50.11" "$(sb_cat /var/sadm/pkg/TLVNvpxx/pkginfo)"
check_eq "the administration tool of the new place ran" "vpqadmin -upgrade
vpqadmin -clean
vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat $exp/vpqadmin.calls)"

# Back to /opt: the link makes way for the directory itself.
il_setup /tmp /opt
check_eq "upgrade back into /opt: status 0" 0 "$SB_RC"
check "/opt/Orvel/vpxx is a real directory again" sb_test -d $opt -a ! -L $opt
check_eq "its contents came back" mine "$(sb_cat $opt/userdata)"
check "nothing left at /export/opt/Orvel/vpxx" sb_test ! -e $exp -a ! -L $exp
check "the old maker directory under /export/opt stays" sb_test -d /export/opt/Orvel
check_contains "scripts name /opt again" "ToolPath=\"$opt\"" "$(sb_cat $opt/OrvelVSF)"
check_contains "registered under /opt" "$opt/bin/vprint f none 0755 root root TLVNvpxx" \
  "$(sb_cat /var/sadm/install/contents)"
check "work directory removed" sb_test ! -e /tmp/OrvelInstall

sb_finish
