#!/bin/bash
# The package-list language on a fresh install: every keyword (dir, dirto, t, c, m, s, #,
# newdir twice, checkps with nothing running) and attribute (mode, bat, owner, group, link,
# name, sed first taking the rest of the line, sed later taking one word), "#comment" without
# a blank copied like a file, unknown keywords and attributes, incomplete pairs, empty lines
# and CR-LF line ends. The sed edits land in the files, which keep mode and owner, through a
# temporary file in the work directory. A second run: a sed that fails ends the run with
# status 1 and leaves the file as it was.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx

tree=$IL_HOST/tree
il_tree "$tree"
cd "$tree" || exit 1
for f in readme owned.txt oldname file2 file3 file4 commented.txt notlisted.txt crlf.txt \
  keepmode.txt ownsed.txt; do echo "$f" >"$f"; done
printf '#!/bin/sh\necho "tool ran"\n' >tool
printf 'OLD one\nFOO two\nkeep OLD\n' >script.sh
printf 'OLD value\n' >conf.txt
printf 'x marks\n' >keepmode.txt
printf 'a line\n' >ownsed.txt
echo file5 >file5
chmod 600 readme
chmod 755 tool script.sh
chmod 640 file5
mkdir -p docs/sub docs2 docs3
echo a >docs/a.txt
echo b >docs/sub/b.txt
echo c >docs2/c.txt
echo d >docs3/d.txt
cat >pkg.list <<'EOF'
# the package list of the scenario
c readme mode 644

dir docs mode 750
dirto docs2 /usr/share/doc/orvel-extra
t touched mode 600
m readme mode 640
m absent mode 600
s readme owner daemon
s absent2 mode 600
# c commented.txt
#comment file2
frob file3
c file4 colour blue mode 600
c file5 mode
c
dirto docs3
newdir spool mode 777
newdir spool mode 700
m bin/vprint mode 700
newdir spool/in mode 777
newdir spool/in mode 700
checkps ,nosuchprogram,
c tool mode 755 bat orveltool link /usr/bin/orveltool-link
c owned.txt owner daemon group daemon
c oldname mode 600 name newname
c script.sh sed -e s/OLD/NEW/g -e s/FOO/BAR/
c conf.txt mode 640 sed s/OLD/NEW/ mode 600
c keepmode.txt mode 604 sed s/x/y/
c ownsed.txt owner daemon sed s/a/the/
   
EOF
printf 'c crlf.txt mode 600\r\n' >>pkg.list
cd / || exit 1
il_medium "$tree" /cdrom/orvel

il_setup
check_eq "package list run: status 0" 0 "$SB_RC"
check_not_contains "no error on stderr" "ERROR" "$(cat "$SB/err")"
il_stat $app/readme $app/docs $app/touched $app/file4 $app/file5 $app/spool $app/tool \
  $app/newname $app/bin/vprint $app/spool/in $app/script.sh $app/conf.txt $app/keepmode.txt \
  $app/crlf.txt /usr/bin/orveltool
owner() { sb_sh 'stat -c %U:%G "$1"' "$1"; }

check_eq "c + mode, then m + mode: the later mode wins" 640 "${MODE[$app/readme]}"
check_eq "s with an existing file applies its attributes (owner)" daemon:root \
  "$(owner $app/readme)"
check_eq "m with a path below the application directory" 700 "${MODE[$app/bin/vprint]}"
check_eq "newdir with a path below: made once" 777 "${MODE[$app/spool/in]}"
check "m and s with a missing file do nothing (no file, no failure)" \
  sb_test ! -e $app/absent -a ! -e $app/absent2
check_eq "dir copies the directory tree" "a b" \
  "$(sb_sh "cat $app/docs/a.txt $app/docs/sub/b.txt" | tr '\n' ' ' | sed 's/ $//')"
check_eq "dir + mode" 750 "${MODE[$app/docs]}"
check_eq "dirto copies to the destination" c "$(sb_cat /usr/share/doc/orvel-extra/c.txt)"
check "dirto without a destination does nothing" sb_test ! -e $app/docs3 -a ! -e $app/d.txt
check "t makes an empty file" sb_test -f $app/touched -a ! -s $app/touched
check_eq "t + mode" 600 "${MODE[$app/touched]}"
check "a \"#\" line is a comment" sb_test ! -e $app/commented.txt
check_eq "\"#comment file2\" copies file2" file2 "$(sb_cat $app/file2)"
check_eq "an unknown keyword copies its argument" file3 "$(sb_cat $app/file3)"
check_eq "an unknown attribute is skipped with its value" 600 "${MODE[$app/file4]}"
check_eq "an incomplete pair does nothing (cp -p mode kept)" 640 "${MODE[$app/file5]}"
check "a file no line names is not copied" sb_test ! -e $app/notlisted.txt
check_eq "newdir: made, then mode 777; the second newdir line does nothing" 777 \
  "${MODE[$app/spool]}"
check_eq "after checkps with nothing running, the line's file is there" "tool ran" \
  "$(sb_run -- $app/tool && cat "$SB/out")"
check_eq "bat: launcher mode 755" 755 "${MODE[/usr/bin/orveltool]}"
check_contains "bat: launcher runs the file" "exec $app/'tool' \$*" "$(sb_cat /usr/bin/orveltool)"
check_eq "link: a symbolic link to the file" "$app/tool" \
  "$(sb_sh 'readlink /usr/bin/orveltool-link')"
check_eq "owner and group" daemon:daemon "$(owner $app/owned.txt)"
check "name: the old name is gone" sb_test ! -e $app/oldname
check_eq "name: the new name has the file, with the mode set before" "oldname 600" \
  "$(sb_cat $app/newname) ${MODE[$app/newname]}"
check_eq "sed first: the rest of the line is the script" "NEW one
BAR two
keep NEW" "$(sb_cat $app/script.sh)"
check_eq "sed first: the file keeps its mode" 755 "${MODE[$app/script.sh]}"
check_eq "sed later: one word, the next pair still applies" "NEW value 600" \
  "$(sb_cat $app/conf.txt) ${MODE[$app/conf.txt]}"
check_eq "sed later: the file keeps the mode set before" "y marks 604" \
  "$(sb_cat $app/keepmode.txt) ${MODE[$app/keepmode.txt]}"
check_eq "sed: the file keeps the owner set before" "the line daemon:root" \
  "$(sb_cat $app/ownsed.txt) $(owner $app/ownsed.txt)"
check_eq "a CR-LF line works" 600 "${MODE[$app/crlf.txt]}"

log=$(sb_cat /tmp/setup.log)
check_contains "sed writes into the work directory" "> '/tmp/OrvelInstall/setup.tmp'" "$log"
check_not_contains "sed's output does not go to the log" "BAR two" "$log"
changes=$(sb_changes)
check_eq "no temporary file in /tmp" "/tmp/setup.log" "$(echo "$changes" | grep '^/tmp')"
stray=$(il_stray /opt/Orvel /var/spool/Orvel /var/sadm =/usr/bin/orveltool \
  =/usr/bin/orveltool-link /usr/share/doc/orvel-vpxx /usr/share/doc/orvel-extra)
check_eq "nothing changed outside the named places" "" "$stray"

# A sed script that sed refuses: the run ends with status 1, the file stays as copied.
bad=$IL_HOST/bad
il_tree "$bad"
printf 'keep me\n' >"$bad/victim.txt"
printf 'c victim.txt sed s/unterminated\nt after\n' >"$bad/pkg.list"
il_medium "$bad" /cdrom/bad
sb_sh 'rm -rf /opt/Orvel /var/sadm /var/spool/Orvel /usr/bin/orveltool /usr/bin/orveltool-link'
il_setup
check_eq "failing sed: status 1" 1 "$SB_RC"
check_eq "failing sed: the file is not emptied" "keep me" "$(sb_cat $app/victim.txt)"
check "failing sed: the run ended there" sb_test ! -e $app/after
check "failing sed: no temporary file left in /tmp" sb_test ! -e /tmp/setup.tmp

sb_finish
