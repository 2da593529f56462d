#!/bin/bash
# Launchers never replace a system program. "bat sh" (a link to the shell), "bat ls" (a
# program of the system), "bat ../x" and "bat ." (not plain names) and a launcher over a
# planted link are skipped with a warning on stderr and in the log, and the run goes on;
# /bin/sh and ls still work and the link's target is untouched. The launcher an earlier
# install wrote (banner of another year) is replaced; a new one is made, mode 755.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx

first=$IL_HOST/first
il_tree "$first"
printf '#!/bin/sh\necho "tool ran $*"\n' >"$first/tool"
chmod 755 "$first/tool"
echo 'c tool bat orvelold' >"$first/pkg.list"
il_medium "$first" /cdrom/first
il_setup
check_eq "earlier install: status 0" 0 "$SB_RC"
# As if written years ago, for another place; then the product is gone but the launcher.
sb_sh 'sed -i -e "s/[0-9]\{4\}/1999/" -e "s|^exec .*|exec /old/place|" /usr/bin/orvelold
  rm -rf /opt/Orvel /var/sadm /var/spool/Orvel /tmp/setup.log
  echo precious >/etc/victim; ln -s /etc/victim /usr/bin/orvellink'
shell_link=$(sb_sh 'readlink /usr/bin/sh')

tree=$IL_HOST/tree
cp -a "$first" "$tree"
printf 'c tool bat %s\n' sh ls ../x . orvellink orvelold orvelnew >"$tree/pkg.list"
echo 'c tool mode 700' >>"$tree/pkg.list"
il_medium "$tree" /cdrom/orvel
il_setup
check_eq "status 0" 0 "$SB_RC"
warnings='/usr/bin/sh is a symbolic link: left alone, no launcher written there
/usr/bin/ls was not written by setup: left alone, no launcher written there
launcher name "../x" is not a plain file name: no launcher written
launcher name "." is not a plain file name: no launcher written
/usr/bin/orvellink is a symbolic link: left alone, no launcher written there'
check_eq "a warning for each launcher left out" "$(sed 's/^/WARNING: /' <<<"$warnings")" \
  "$(cat "$SB/err")"
check_eq "the same in the log" "$(sed 's/^/WARNING_MSG: /' <<<"$warnings")" \
  "$(sb_cat /tmp/setup.log | grep '^WARNING_MSG')"
check_eq "the run went on to the last line" 700 "$(il_mode $app/tool)"
check_eq "/usr/bin/sh still the same link" "$shell_link" "$(sb_sh 'readlink /usr/bin/sh')"
check_eq "/bin/sh still works" "shell works" "$(sb_run -- /bin/sh -c 'echo shell works'; cat "$SB/out")"
check_eq "ls still works" vpxx "$(sb_run -- ls /opt/Orvel; cat "$SB/out")"
check_eq "the planted link and its target untouched" "/etc/victim precious" \
  "$(sb_sh 'echo "$(readlink /usr/bin/orvellink) $(cat /etc/victim)"')"
old=$(sb_cat /usr/bin/orvelold)
check_contains "the earlier launcher replaced: runs the new file" "exec $app/'tool' \$*" "$old"
check_not_contains "the earlier launcher replaced: nothing of it left" "1999" "$old"
check_eq "the new launcher: mode 755" 755 "$(il_mode /usr/bin/orvelnew)"
check_eq "the new launcher runs the file" "tool ran a b" \
  "$(sb_run -- /usr/bin/orvelnew a b; cat "$SB/out")"
check_eq "nothing else written, in /usr/bin or elsewhere" "" \
  "$(il_stray /opt/Orvel /var/sadm /var/spool/Orvel /usr/share/doc/orvel-vpxx \
    =/usr/bin/orvelold =/usr/bin/orvelnew)"

sb_finish
