#!/bin/bash
# Fresh install into another base (setup /tmp /export/opt): the application directory there
# with mode 775, /opt/Orvel made when missing (and left alone when present), the link
# /opt/Orvel/vpxx leading to the application directory, and everything of the install
# (package, flag file, scripts, launcher) reaching the new place.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start

tree=$IL_HOST/tree
il_tree "$tree"
printf '#!/bin/sh\necho "tool in $(pwd)"\n' >"$tree/tool"
chmod 755 "$tree/tool"
echo "c tool bat orveltool" >"$tree/pkg.list"
il_medium "$tree" /cdrom/orvel

app=/export/opt/Orvel/vpxx
il_setup /tmp /export/opt
check_eq "install into /export/opt: status 0" 0 "$SB_RC"
check_not_contains "no error on stderr" "ERROR" "$(cat "$SB/err")"
il_stat $app /export/opt/Orvel /opt/Orvel $app/.vp_cfg
check "application directory is a real directory" sb_test -d $app -a ! -L $app
check_eq "application directory mode 775" 775 "${MODE[$app]}"
check_eq "/opt/Orvel made with mode 775" 775 "${MODE[/opt/Orvel]}"
check_eq "final chmod on the new base's maker directory: 755 (umask 077 gave 700)" 755 \
  "${MODE[/export/opt/Orvel]}"
check "/opt/Orvel/vpxx is a symbolic link" sb_test -L /opt/Orvel/vpxx
check_eq "the link leads to the application directory" $app \
  "$(sb_sh 'readlink /opt/Orvel/vpxx')"

check_eq "package file reached the new base" 'echo "vprint 4.0"' \
  "$(sb_cat $app/bin/vprint | tail -n 1)"
check_eq "flag file in the new place" "[ V5 ]" "$(sb_sh 'printf "[%s]" "$(cat "$1")"' $app/.vp_cfg)"
check_eq "flag file mode 644" 644 "${MODE[$app/.vp_cfg]}"
for s in OrvelPrintvpxx v4DriverScript v5DriverScript OrvelVSF; do
  check_contains "$s names the new tool path" "ToolPath=\"$app\"" "$(sb_cat $app/$s)"
done
check_contains "launcher changes to the new place" "cd $app" "$(sb_cat /usr/bin/orveltool)"
sb_run -- /usr/bin/orveltool
check_eq "launcher runs the tool there" "tool in $app" "$(cat "$SB/out")"
check "work directory removed" sb_test ! -e /tmp/OrvelInstall
check_eq "clean-up ran the administration tool of the new place" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat $app/vpqadmin.calls)"
check_eq "under /opt only the maker directory and the link" "/opt/Orvel
/opt/Orvel/vpxx" "$(sb_changes | grep '^/opt/')"

# Again on a host where /opt/Orvel already exists (mode 700): it is used as it is.
sb_sh 'rm -rf /export /opt/Orvel /var/sadm /var/spool/Orvel /usr/bin/orveltool &&
  mkdir -m 700 /opt/Orvel'
il_setup /tmp /export/opt
check_eq "second install into /export/opt: status 0" 0 "$SB_RC"
check_eq "an existing /opt/Orvel keeps its mode" 700 "$(il_mode /opt/Orvel)"
check_eq "the link is made in it" $app "$(sb_sh 'readlink /opt/Orvel/vpxx')"
check "the package is in place" sb_test -f $app/bin/vprint

sb_finish
