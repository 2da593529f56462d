#!/bin/bash
# Upgrade in place: a fresh install of 4.0, then setup with a newer medium. Every regular file
# of the new map is copied over the installed one and registered with installf, the library
# directories come only when lib is missing, VERSION= becomes 4.50.11 with the other pkginfo
# lines kept in order, the flag file and scripts are rewritten, and neither the package list
# nor the spool directories are touched. Then the same base named again: no relocation.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx

old=$IL_HOST/old
il_tree "$old" 4.0
il_medium "$old" /cdrom/v40
il_setup
check_eq "fresh install of 4.0: status 0" 0 "$SB_RC"

# The newer package: changed files, a new file with its own class, a new absolute file, and
# lines the upgrade must skip (a directory, an editable file, a link, a short line).
new=$IL_HOST/new
il_tree "$new" 4.5
pk=$new/TLVNvpxx
echo "new in 4.5" >"$pk/reloc/vpxx/bin/vpnew"
echo "changes of 4.5" >"$pk/root/usr/share/doc/orvel-vpxx/CHANGES"
mkdir -p "$pk/reloc/vpxx/newdir"
echo "editable" >"$pk/reloc/vpxx/edit.conf"
echo "short" >"$pk/reloc/vpxx/short"
cat >>"$pk/pkgmap" <<'EOF'
1 f extra vpxx/bin/vpnew 0750 root root 11 900 1700000000
1 f none /usr/share/doc/orvel-vpxx/CHANGES 0644 root root 15 1000 1700000000
1 d none vpxx/newdir 0755 root root
1 e none vpxx/edit.conf 0644 root root 9 800 1700000000
1 s none vpxx/vplink=bin/vprint
1 f none vpxx/short 0644 root
EOF
# A package list the upgrade must not carry out.
printf 'c trace.txt\nt touched_by_upgrade\nnewdir upgrade_dir mode 777\n' >"$new/pkg.list"
echo trace >"$new/trace.txt"
il_medium "$new" /cdrom/v45

# Traces of the installed state that the upgrade must mend or keep.
sb_sh "printf ' CUPS ' >$app/.vp_cfg; echo garbage >$app/OrvelPrintvpxx;
  chmod 600 $app/bin/vprint; chmod 700 /opt/Orvel; rm -rf /var/spool/Orvel;
  echo mine >$app/userdata"
pkginfo_before=$(sb_cat /var/sadm/pkg/TLVNvpxx/pkginfo)

il_setup
check_eq "upgrade: status 0" 0 "$SB_RC"
check_not_contains "upgrade: pkgadd is not run" "Processing package" "$(cat "$SB/out")"
check_contains "upgrade: progress dots" "......" "$(cat "$SB/out")"

check_eq "changed file copied from reloc/" 'echo "vprint 4.5"' \
  "$(sb_cat $app/bin/vprint | tail -n 1)"
check_eq "README copied" "readme of 4.5" "$(sb_cat $app/README)"
check_eq "absolute file copied from root/" "doc of 4.5" \
  "$(sb_cat /usr/share/doc/orvel-vpxx/README)"
check_eq "new file copied" "new in 4.5" "$(sb_cat $app/bin/vpnew)"
check_eq "new absolute file copied" "changes of 4.5" \
  "$(sb_cat /usr/share/doc/orvel-vpxx/CHANGES)"
check "a directory line is skipped" sb_test ! -e $app/newdir
check "an editable-file line is skipped" sb_test ! -e $app/edit.conf
check "a link line is skipped" sb_test ! -e $app/vplink -a ! -L $app/vplink
check "a short line is skipped" sb_test ! -e $app/short
check_eq "user data in the application directory stays" mine "$(sb_cat $app/userdata)"

contents=$(sb_cat /var/sadm/install/contents)
check_contains "new file registered with its class, mode, owner and group" \
  "$app/bin/vpnew f extra 0750 root root TLVNvpxx" "$contents"
check_contains "new absolute file registered" \
  "/usr/share/doc/orvel-vpxx/CHANGES f none 0644 root root TLVNvpxx" "$contents"
check_contains "replaced file registered" "$app/bin/vprint f none 0755 root root TLVNvpxx" \
  "$contents"
check_not_contains "the skipped lines are not registered" "edit.conf" "$contents"
il_stat $app/bin/vprint $app/bin/vpnew /opt/Orvel $app/lib
check_eq "installf -f applied the recorded mode to a replaced file (was 600)" 755 \
  "${MODE[$app/bin/vprint]}"
check_eq "installf -f applied the mode of the new file" 750 "${MODE[$app/bin/vpnew]}"
check_eq "final chmod on /opt/Orvel (was 700)" 755 "${MODE[/opt/Orvel]}"

libs="lib
lib/gtk
lib/gtk/modules
lib/gtk/modules/2.2.0
lib/gtk/modules/2.2.0/engines
lib/gtk/modules/2.2.0/immodules
lib/gtk/modules/2.2.0/loaders
lib/gtk/modules/etc
lib/gtk/modules/etc/gtk-2.0
lib/gtk/modules/etc/pango
lib/gtk/modules/include
lib/gtk/modules/modules
lib/gtk/modules/pango
lib/gtk/modules/pango/1.2.0
lib/gtk/modules/pango/1.2.0/modules"
check_eq "lib and its fourteen directories made when lib was missing" "$libs" \
  "$(sb_sh "cd $app && find lib | LC_ALL=C sort")"
check_eq "lib mode 755" 755 "${MODE[$app/lib]}"

check_eq "pkginfo: VERSION=4.50.11, the other lines as they were, in order" \
  "$(printf '%s\n' "$pkginfo_before" | sed 's/^VERSION=.*/VERSION=4.50.11/')" \
  "$(sb_cat /var/sadm/pkg/TLVNvpxx/pkginfo)"
check "pkginfo: no temporary file left" sb_test ! -e /var/sadm/pkg/TLVNvpxx/pkginfo.tmp

check "package list not carried out: no copy" sb_test ! -e $app/trace.txt
check "package list not carried out: no touch" sb_test ! -e $app/touched_by_upgrade
check "package list not carried out: no newdir" sb_test ! -e $app/upgrade_dir
check "spool directories not made on an upgrade" sb_test ! -e /var/spool/Orvel

check_eq "flag file rewritten" "[ V5 ]" "$(sb_sh 'printf "[%s]" "$(cat "$1")"' $app/.vp_cfg)"
check_eq "queue script rewritten" "#!/bin/sh" "$(sb_cat $app/OrvelPrintvpxx | head -n 1)"
check_contains "queue script has its tool path again" "ToolPath=\"$app\"" \
  "$(sb_cat $app/OrvelPrintvpxx)"
check "work directory removed" sb_test ! -e /tmp/OrvelInstall
check_eq "the administration tool ran after each run" "vpqadmin -upgrade
vpqadmin -clean
vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat $app/vpqadmin.calls)"
stray=$(il_stray /opt/Orvel /var/sadm =/var/spool/Orvel /usr/share/doc/orvel-vpxx)
check_eq "nothing changed outside the named places" "" "$stray"

# The same base named again, with lib present but lib/gtk gone: no relocation, no library
# directories.
sb_sh "rm -rf $app/lib/gtk"
il_setup /tmp /opt
check_eq "upgrade with the same base named: status 0" 0 "$SB_RC"
check "lib present: lib/gtk is not made again" sb_test ! -e $app/lib/gtk
check "no relocation: the application directory is still a real directory" \
  sb_test -d $app -a ! -L $app
check_eq "no relocation: user data still there" mine "$(sb_cat $app/userdata)"
check_not_contains "no relocation: nothing moved" "mv -f -f" "$(sb_cat /tmp/setup.log)"
check_contains "version still 4.50.11" "VERSION=4.50.11" \
  "$(sb_cat /var/sadm/pkg/TLVNvpxx/pkginfo)"

sb_finish
