#!/bin/bash
# The print subsystem found on the host decides the flag file's word, rewritten on every run:
# LPRng (a fake lpd answering "lpd (LPRng) 3.8" to -V) with the queue script linked into
# /usr/share/printconf/util once; CUPS (a fake ps listing cupsd); both: CUPS; an lpd that is
# not LPRng: V5. The generated driver script follows the word at run time.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx
lprng='case "$1" in -V) echo "lpd (LPRng) 3.8";; esac; exit 0'
flag() { sb_sh 'printf "[%s]" "$(cat "$1")"' $app/.vp_cfg; }
# Runs the v5 driver script as the CUPS spooler would and prints what v5driver was given.
driver_call() {
  sb_sh "rm -f $app/v5driver.args"
  sb_run -e PRINTER=q1 -- $app/v5DriverScript 17 alice report 2 "a=1 b=2" /tmp/job
  sb_sh "cat $app/v5driver.args 2>/dev/null; true"
}

tree=$IL_HOST/tree
il_tree "$tree"
printf '#!/bin/sh\necho "$*" >"$(dirname "$0")/v5driver.args"\n' >"$tree/v5driver"
chmod 755 "$tree/v5driver"
echo "c v5driver" >"$tree/pkg.list"
il_medium "$tree" /cdrom/orvel

sb_fake_cmd /usr/sbin/lpd "$lprng"
sb_mkdir /usr/share/printconf/util
il_setup
check_eq "LPRng: fresh install status 0" 0 "$SB_RC"
check_eq "LPRng: flag file" "[ LPRng ]" "$(flag)"
check_eq "LPRng: queue script linked into printconf" "$app/OrvelPrintvpxx" \
  "$(sb_sh 'readlink /usr/share/printconf/util/OrvelPrintvpxx')"
check_eq "LPRng: the v5 driver script has no LPRng arm and runs nothing" "" "$(driver_call)"

il_ps "  612 ?        00:00:01 cupsd"
sb_sh 'rm -f /usr/sbin/lpd'
il_setup
check_eq "CUPS: upgrade status 0" 0 "$SB_RC"
check_eq "CUPS: flag file" "[ CUPS ]" "$(flag)"
check_eq "CUPS: the v5 driver script runs v5driver for the job" \
  "-dq1 -oCopies=2 -u alice -t report -o a=1 -o b=2 /tmp/job" "$(driver_call)"

sb_fake_cmd /usr/sbin/lpd "$lprng"
il_setup
check_eq "both: upgrade status 0" 0 "$SB_RC"
check_eq "both: CUPS wins" "[ CUPS ]" "$(flag)"
check_eq "both: the existing printconf link is not made again (this run's log)" 0 \
  "$(sb_cat /tmp/setup.log | grep -c 'ln -s .*/usr/share/printconf/util/OrvelPrintvpxx')"

check_eq "both: the printconf link stays" "$app/OrvelPrintvpxx" \
  "$(sb_sh 'readlink /usr/share/printconf/util/OrvelPrintvpxx')"

il_ps
sb_fake_cmd /usr/sbin/lpd 'echo "lpd 0.48 (BSD)"; exit 0'
il_setup
check_eq "neither: upgrade status 0" 0 "$SB_RC"
check_eq "an lpd that is not LPRng and no cupsd: V5" "[ V5 ]" "$(flag)"
check_eq "flag file mode 644" 644 "$(il_mode $app/.vp_cfg)"

sb_finish
