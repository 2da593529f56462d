#!/bin/bash
# A "checkps" line of the package list while a listed program runs (fake ps): the user
# answers "2" (quit), or gives no answer at all. The list stops at that line, the install
# sequence returns before the final chmod (so /opt/Orvel keeps the 700 that mkdir gave it
# under umask 077), and the clean-up still runs; status 0.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx

tree=$IL_HOST/tree
il_tree "$tree"
printf 't before\ncheckps ,vpqadmin,vprint,\nt after\n' >"$tree/pkg.list"
il_medium "$tree" /cdrom/orvel
il_ps "  4711 ?        00:00:03 vprint" "  4712 ?        00:00:00 bash"

printf '2\n' >"$IL_HOST/quit"
for how in answer-2 end-of-input; do
  if [ $how = answer-2 ]; then IL_INPUT=$IL_HOST/quit; else IL_INPUT=/dev/null; fi
  sb_sh 'rm -rf /opt/Orvel /var/sadm /var/spool/Orvel'
  il_setup
  out=$(cat "$SB/out")
  check_eq "$how: status 0" 0 "$SB_RC"
  check_contains "$how: the running program is shown with its process id" "vprint ( 4711 )" "$out"
  check_contains "$how: the choice is offered" "2.  Quit the installation" "$out"
  check_not_contains "$how: a program not listed is not shown" "bash" "$out"
  check "$how: lines before checkps ran" sb_test -e $app/before
  check "$how: lines after checkps did not" sb_test ! -e $app/after
  check "$how: the package was added before the list" sb_test -f $app/bin/vprint
  check "$how: the spool directories were made before the list" \
    sb_test -d /var/spool/Orvel/vpxx/__vpa_download__
  check_eq "$how: no final chmod: /opt/Orvel keeps 700" 700 "$(il_mode /opt/Orvel)"
  check "$how: the clean-up removed the work directory" sb_test ! -e /tmp/OrvelInstall
  check_eq "$how: the clean-up ran the administration tool" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat $app/vpqadmin.calls)"
done

# With no program running the same list goes through to the end.
il_ps
sb_sh 'rm -rf /opt/Orvel /var/sadm /var/spool/Orvel'
il_setup
check_eq "nothing running: status 0" 0 "$SB_RC"
check "nothing running: lines after checkps ran" sb_test -e $app/after
check_eq "nothing running: final chmod: /opt/Orvel 755" 755 "$(il_mode /opt/Orvel)"

sb_finish
