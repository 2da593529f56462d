#!/bin/bash
# Bad archive contents: no pkg.list on a fresh install and no pkgmap on an upgrade end the
# run with "ERROR: can't open file, <path>" on standard error and status 0; a pkgmap full of
# junk (binary bytes, short lines, lines too long to read, tabs, CR-LF, a path too long for
# the 512-byte command lines, shell text in paths) upgrades what it can, writes nothing
# anywhere else, and does not crash. An installation whose package record is gone upgrades
# without making up an empty pkginfo.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx

nolist=$IL_HOST/nolist
il_tree "$nolist"
rm "$nolist/pkg.list"
il_medium "$nolist" /cdrom/nolist
il_setup
check_eq "no pkg.list: status 0" 0 "$SB_RC"
check_eq "no pkg.list: the message on stderr" \
  "ERROR: can't open file, /tmp/OrvelInstall/./pkg.list" "$(cat "$SB/err")"
check "no pkg.list: the package itself was added" sb_test -f $app/bin/vprint

nomap=$IL_HOST/nomap
il_tree "$nomap" 4.5
rm "$nomap/TLVNvpxx/pkgmap"
il_medium "$nomap" /cdrom/nomap
il_setup
check_eq "upgrade without pkgmap: status 0" 0 "$SB_RC"
check_eq "upgrade without pkgmap: the message on stderr" \
  "ERROR: can't open file, /tmp/OrvelInstall/TLVNvpxx/pkgmap" "$(cat "$SB/err")"
check_eq "upgrade without pkgmap: installed files untouched" 'echo "vprint 4.0"' \
  "$(sb_cat $app/bin/vprint | tail -n 1)"
check_contains "upgrade without pkgmap: version untouched" "VERSION=4.0" \
  "$(sb_cat /var/sadm/pkg/TLVNvpxx/pkginfo)"

junk=$IL_HOST/junk
il_tree "$junk" 4.5
long=vpxx/$(printf 'd%.0s' $(seq 1 120))/$(printf 'f%.0s' $(seq 1 120))
mkdir -p "$junk/TLVNvpxx/reloc/${long%/*}"
echo dollar >"$junk/TLVNvpxx/reloc/vpxx/Foo\$Bar.class"
echo parens >"$junk/TLVNvpxx/reloc/vpxx/a(b).txt"
echo long >"$junk/TLVNvpxx/reloc/$long"
echo hidden | tee "$junk/TLVNvpxx/reloc/vpxx/hidden" >"$junk/TLVNvpxx/reloc/vpxx/skipped"
{
  cat "$junk/TLVNvpxx/pkgmap"
  for i in $(seq 1 255); do printf "\\$(printf %o "$i")"; done
  printf '\n\n   \n1\n1 f\n1 f none\n1 f none vpxx/a 0644 root\n'
  printf '1\tf\tnone\tvpxx/README\t0600\troot\troot\r\n'
  echo "1 f none $long 0644 root root 5 5 5"
  printf '1 f none vpxx/%s 0644 root root\n' "$(printf 'x%.0s' $(seq 1 600))"
  # Over-long: skipped whole; the rest past 510 characters would read as a line of its own.
  pad="1 f none vpxx/skipped 0644 root root "
  printf '%s%s1 f none vpxx/hidden 0644 root root\n' "$pad" \
    "$(printf '9%.0s' $(seq $((${#pad} + 1)) 510))"
  printf '1 f none vpxx/bin/vprint 0755 root root \0 trailing\n'
  echo '1 f none vpxx/Foo$Bar.class 0644 root root'
  echo '1 f none vpxx/a(b).txt 0644 root root'
  echo '1 f none vpxx/x;touch${IFS}/tmp/pwned 0644 root root'
  echo '1 f none /tmp/`touch${IFS}/tmp/pwned2` 0644 root root'
} >"$junk/TLVNvpxx/pkgmap.new"
mv "$junk/TLVNvpxx/pkgmap.new" "$junk/TLVNvpxx/pkgmap"
il_medium "$junk" /cdrom/junk
il_setup
check_eq "junk pkgmap: status 0" 0 "$SB_RC"
check_eq "junk pkgmap: the good lines still upgrade" 'echo "vprint 4.5"' \
  "$(sb_cat $app/bin/vprint | tail -n 1)"
check_eq "junk pkgmap: a tab-separated CR-LF line is used (last mode wins)" \
  "readme of 4.5 600" "$(sb_cat $app/README) $(il_mode $app/README)"
check_contains "junk pkgmap: a command line too long is refused, not cut" \
  "command line too long, not run" "$(cat "$SB/err")"
check "junk pkgmap: the overlong path was not installed" sb_test ! -e "/opt/Orvel/$long"
check_not_contains "junk pkgmap: nor registered" "$long" "$(sb_cat /var/sadm/install/contents)"
check "junk pkgmap: a line longer than 510 characters is skipped, and all of it" \
  sb_test ! -e $app/skipped -a ! -e $app/hidden
check_eq "junk pkgmap: a name with \$ is copied as it is" dollar \
  "$(sb_cat "$app/Foo\$Bar.class")"
check_eq "junk pkgmap: a name with parentheses is copied" parens "$(sb_cat "$app/a(b).txt")"
check "junk pkgmap: shell text in a path runs nothing" \
  sb_test ! -e /tmp/pwned -a ! -e /tmp/pwned2
check_contains "junk pkgmap: the version is rewritten" "VERSION=4.50.11" \
  "$(sb_cat /var/sadm/pkg/TLVNvpxx/pkginfo)"
stray=$(il_stray /opt/Orvel /var/spool/Orvel /var/sadm /usr/share/doc/orvel-vpxx /tmp)
check_eq "nothing written elsewhere" "" "$stray"

sb_sh 'rm -f /var/sadm/pkg/TLVNvpxx/pkginfo'
v46=$IL_HOST/v46
il_tree "$v46" 4.6
il_medium "$v46" /cdrom/v46
il_setup
check_eq "no installed pkginfo: status 0" 0 "$SB_RC"
check_eq "no installed pkginfo: files upgraded" "readme of 4.6" "$(sb_cat $app/README)"
check "no installed pkginfo: none made up, no temporary file left" \
  sb_test ! -e /var/sadm/pkg/TLVNvpxx/pkginfo -a ! -e /var/sadm/pkg/TLVNvpxx/pkginfo.tmp

sb_finish
