#!/bin/bash
# pkgadd fails on a fresh install: the new application directory and its flag file go, the
# work directory stays for inspection, nothing of the later steps happens, status 0. Once
# with a map that names a file missing from reloc/, once with a pkgadd that refuses outright
# under /export/opt; then a good medium installs cleanly over what the failures left.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx

bad=$IL_HOST/bad
il_tree "$bad"
echo "1 f none vpxx/bin/missing 0755 root root 10 100 1700000000" >>"$bad/TLVNvpxx/pkgmap"
printf '#!/bin/sh\necho tool\n' >"$bad/tool"
printf 'c tool bat orveltool\nnewdir spool mode 777\n' >"$bad/pkg.list"
il_medium "$bad" /cdrom/bad

il_setup
check_eq "map names a missing file: status 0" 0 "$SB_RC"
check_contains "pkgadd's own complaint reaches the user" "vpxx/bin/missing is missing" \
  "$(cat "$SB/err")"
check "application directory removed" sb_test ! -e $app
check "maker directory left (it was made by mkdir -p)" sb_test -d /opt/Orvel
check "work directory kept" sb_test -f /tmp/OrvelInstall/TLVNvpxx/pkgmap
check "work directory keeps the package list" sb_test -f /tmp/OrvelInstall/pkg.list
check "no spool directories" sb_test ! -e /var/spool/Orvel
check "package list not carried out: no launcher" sb_test ! -e /usr/bin/orveltool
check_contains "the removal is logged" "rm -rf  '$app'" "$(sb_cat /tmp/setup.log)"
check_not_contains "no clean-up: the work directory was not removed" \
  "rm -rf  '/tmp/OrvelInstall'" "$(sb_cat /tmp/setup.log)"
stray=$(il_stray =/opt/Orvel /tmp /var/sadm /usr/share/doc/orvel-vpxx)
check_eq "nothing else left behind by setup" "" "$stray"

# A pkgadd that refuses, with the base /export/opt.
sb_sh 'rm -rf /opt/Orvel /tmp/OrvelInstall'
sb_fake_cmd /usr/sbin/pkgadd 'echo "pkgadd: refused" >&2; exit 1'
good=$IL_HOST/good
il_tree "$good"
printf '#!/bin/sh\necho tool\n' >"$good/tool"
printf 'c tool bat orveltool\n' >"$good/pkg.list"
il_medium "$good" /cdrom/good
il_setup /tmp /export/opt
check_eq "pkgadd exits 1: status 0" 0 "$SB_RC"
check_contains "pkgadd's message reaches the user" "pkgadd: refused" "$(cat "$SB/err")"
check "application directory under /export/opt removed" sb_test ! -e /export/opt/Orvel/vpxx
check "work directory kept" sb_test -f /tmp/OrvelInstall/pkg.list
check "no launcher" sb_test ! -e /usr/bin/orveltool
check "no spool directories" sb_test ! -e /var/spool/Orvel

# With pkgadd back, the next run is a fresh install again.
sb_svr4 pkgadd
il_setup /tmp /export/opt
check_eq "next run: status 0" 0 "$SB_RC"
check "next run: installed" sb_test -f /export/opt/Orvel/vpxx/bin/vprint
check_eq "next run: the link leads to it" /export/opt/Orvel/vpxx \
  "$(sb_sh 'readlink /opt/Orvel/vpxx')"
check "next run: launcher made" sb_test -x /usr/bin/orveltool
check "next run: work directory removed" sb_test ! -e /tmp/OrvelInstall

sb_finish
