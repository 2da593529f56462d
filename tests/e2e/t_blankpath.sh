#!/bin/bash
# Media under paths with blanks, as desktops mount removable media: a fresh install from
# "/media/My Disk", then an upgrade from a medium started from its own directory
# "/media/user/Orvel Disk 4.5". A work base named relative to such a directory is refused
# (message 3, status 2) before anything is made: the work directory would hold the blank.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx

old=$IL_HOST/old
il_tree "$old" 4.0
echo extra >"$old/extra.txt"
echo 'c extra.txt mode 600' >"$old/pkg.list"
il_medium "$old" "/media/My Disk"
il_setup
check_eq "fresh install: status 0" 0 "$SB_RC"
check_eq "fresh install: stderr empty" "" "$(cat "$SB/err")"
check_eq "fresh install: the package added" 'echo "vprint 4.0"' \
  "$(sb_cat $app/bin/vprint | tail -n 1)"
check_eq "fresh install: the package list carried out" "extra 600" \
  "$(sb_cat $app/extra.txt) $(il_mode $app/extra.txt)"
check_contains "fresh install: the medium's files copied by their whole path" \
  "cp -p '/media/My Disk/disks' '/tmp/OrvelInstall'" "$(sb_cat /tmp/setup.log)"
check "fresh install: work directory removed" sb_test ! -e /tmp/OrvelInstall

new=$IL_HOST/new
il_tree "$new" 4.5
il_medium "$new" "/media/user/Orvel Disk 4.5"
sb_run -C "$IL_MEDIUM" -- ./setup
check_eq "upgrade from the medium's directory: status 0" 0 "$SB_RC"
check_eq "upgrade: stderr empty" "" "$(cat "$SB/err")"
check_eq "upgrade: files replaced" 'echo "vprint 4.5"' "$(sb_cat $app/bin/vprint | tail -n 1)"
check_contains "upgrade: version rewritten" "VERSION=4.50.11" \
  "$(sb_cat /var/sadm/pkg/TLVNvpxx/pkginfo)"
check_eq "upgrade: the earlier package list's file kept" extra "$(sb_cat $app/extra.txt)"
check_eq "nothing written outside the install's places" "" \
  "$(il_stray /opt/Orvel /var/sadm =/var/spool/Orvel /var/spool/Orvel/vpxx \
    /usr/share/doc/orvel-vpxx)"

sb_run -C "$IL_MEDIUM" -- ./setup mywork
check_eq "relative work base under a blank: status 2" 2 "$SB_RC"
check_eq "relative work base under a blank: message 3" "ERROR: couldn't open mywork

|" "$(cat "$SB/out"; echo "|")"
check "relative work base under a blank: not made" sb_test ! -e "$IL_MEDIUM/mywork"

sb_finish
