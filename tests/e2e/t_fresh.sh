#!/bin/bash
# Fresh install with the default base: the application directory, the package through pkgadd,
# the flag file, the four interface scripts, the spool directories, a launcher from the
# package list, the final chmod of /opt/Orvel, the clean-up, and nothing written elsewhere.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start

tree=$IL_HOST/tree
il_tree "$tree"
printf '#!/bin/sh\necho "vpprint ran in $(pwd) with $*"\n' >"$tree/vpprint"
chmod 755 "$tree/vpprint"
echo "c vpprint mode 755 bat vpprint" >"$tree/pkg.list"
il_medium "$tree" /cdrom/orvel

il_setup
year=$(il_year)
check_eq "fresh install: status 0" 0 "$SB_RC"
check_not_contains "fresh install: no error on stderr" "ERROR" "$(cat "$SB/err")"
check_contains "fresh install: pkgadd talks to the user on the terminal" \
  "Installation of <TLVNvpxx> was successful." "$(cat "$SB/out")"

app=/opt/Orvel/vpxx
il_stat $app /opt/Orvel $app/bin/vprint $app/.vp_cfg $app/OrvelPrintvpxx $app/v4DriverScript \
  $app/v5DriverScript $app/OrvelVSF /var/spool/Orvel /var/spool/Orvel/vpxx/__vpa_download__ \
  /usr/bin/vpprint $app/vpprint
check "application directory is a directory, not a link" sb_test -d $app -a ! -L $app
check_eq "application directory mode 755 (umask 077 would give 700)" 755 "${MODE[$app]}"
check_eq "final chmod: /opt/Orvel 755 (mkdir under umask 077 made it 700)" 755 \
  "${MODE[/opt/Orvel]}"

check_eq "package file from reloc/" 'echo "vprint 4.0"' "$(sb_cat $app/bin/vprint | tail -n 1)"
check_eq "package file mode from the map" 755 "${MODE[$app/bin/vprint]}"
check_eq "package file README" "readme of 4.0" "$(sb_cat $app/README)"
check_eq "absolute package file from root/" "doc of 4.0" \
  "$(sb_cat /usr/share/doc/orvel-vpxx/README)"
check_contains "pkgadd recorded the package" "TLVNvpxx" "$(sb_sh /usr/sbin/pkginfo)"
check_contains "pkgadd recorded its version" "VERSION=4.0" \
  "$(sb_cat /var/sadm/pkg/TLVNvpxx/pkginfo)"
check_contains "pkgadd recorded the paths" "$app/bin/vprint f none 0755 root root TLVNvpxx" \
  "$(sb_cat /var/sadm/install/contents)"

check_eq "flag file holds \" V5 \"" "[ V5 ]" "$(sb_sh 'printf "[%s]" "$(cat "$1")"' $app/.vp_cfg)"
check_eq "flag file: 4 bytes, no newline" 4 "$(sb_sh 'wc -c <"$1"' $app/.vp_cfg)"
check_eq "flag file mode 644" 644 "${MODE[$app/.vp_cfg]}"

for s in OrvelPrintvpxx v4DriverScript v5DriverScript OrvelVSF; do
  text=$(sb_cat $app/$s)
  check_eq "$s: mode 755" 755 "${MODE[$app/$s]}"
  check_eq "$s: shell line" "#!/bin/sh" "$(printf '%s\n' "$text" | head -n 1)"
  check_contains "$s: banner carries the year $year" "$year" \
    "$(printf '%s\n' "$text" | sed -n '2,12p')"
  check_contains "$s: tool path" 'ToolPath="/opt/Orvel/vpxx"' "$text"
  check "$s: is a valid shell script" sb_sh 'sh -n "$1"' $app/$s
done
check_contains "OrvelVSF: spool directory" 'SpoolDir="/var/spool/Orvel/vpxx"' \
  "$(sb_cat $app/OrvelVSF)"
check_contains "v4DriverScript reads .vp_cfg" '.vp_cfg' "$(sb_cat $app/v4DriverScript)"

check_eq "spool directory mode 775" 775 "${MODE[/var/spool/Orvel]}"
check_eq "download directory mode 777" 777 "${MODE[/var/spool/Orvel/vpxx/__vpa_download__]}"

launcher=$(sb_cat /usr/bin/vpprint)
check_eq "launcher /usr/bin/vpprint: mode 755" 755 "${MODE[/usr/bin/vpprint]}"
check_eq "launcher: shell line" "#!/bin/sh" "$(printf '%s\n' "$launcher" | head -n 1)"
check_contains "launcher: banner carries the year" "$year" "$launcher"
check_contains "launcher: changes to the application directory" "cd $app" "$launcher"
check_contains "launcher: runs the listed file" "exec $app/'vpprint' \$*" "$launcher"
check_contains "launcher: exports the caller's directory" "export VPrintFileSourceDir" "$launcher"
check_eq "the listed file was copied with mode 755" 755 "${MODE[$app/vpprint]}"
sb_run -C /var -- /usr/bin/vpprint a b
check_eq "the launcher runs the installed file" "vpprint ran in $app with a b" "$(cat "$SB/out")"

check "work directory removed" sb_test ! -e /tmp/OrvelInstall
check_eq "clean-up ran the administration tool twice" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat $app/vpqadmin.calls)"

# Everything the run changed lies in the places named for a fresh install.
stray=$(il_stray /opt/Orvel /var/spool/Orvel /var/sadm =/usr/bin/vpprint \
  /usr/share/doc/orvel-vpxx)
check_eq "nothing changed outside the named places" "" "$stray"

sb_finish
