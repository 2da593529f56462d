#!/bin/bash
# An older print daemon (VPrintD or VPrintDStop) in the application directory: setup warns
# and asks whether to go on. Only the exact words y, yes, n, no count; "n", "no" and the end
# of the input end the run with status 0 and leave the installation and the daemon's boot
# scripts as they were; "y"/"yes" go on and remove the scripts from /etc/rc2.d.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
SETUP_BIN=${SETUP_BIN:-${BUILD_DIR:-$src/build}/setup}
. "$src/tests/e2e/sandbox.sh"
. "$src/tests/e2e/medium_lib.sh"

md_init
work=$MD_WORK
md_medium orvel

md_start

fingerprint() {
  sb_sh 'for d; do if [ -e "$d" ] || [ -L "$d" ]; then
      find "$d" -printf "%p %y %m %u %s %T@ %l\n"; find "$d" -type f -exec md5sum {} +; fi
    done | LC_ALL=C sort' fp /opt/Orvel /var/sadm /var/spool/Orvel /etc/rc2.d \
    /usr/bin/vpprint /usr/share/doc/orvel-vpxx
}
answer() { printf "$1" >"$work/in"; }
count() { grep -c -F -- "$1" "$SB/out"; }

msg62='
If you currently have Orvel printer software installed that uses VPrintD
print daemon, you must delete all your Orvel print queues prior to installing
this package.

NOTE: VPrintD is located in <install directory>/Orvel/vpxx
'
prompt='Do You want to continue with the installation? [yn] '

# The earlier installation.
sb_run -- /cdrom/orvel/setup
check_eq "fresh install: status 0" 0 "$SB_RC"
check_not_contains "fresh install: no daemon, no question" "VPrintD" "$(cat "$SB/out")"

sb_sh 'echo daemon >/opt/Orvel/vpxx/VPrintD; chmod 755 /opt/Orvel/vpxx/VPrintD
  echo "#!/bin/sh" >/etc/rc2.d/KOrvelPrintD; echo "#!/bin/sh" >/etc/rc2.d/SOrvelPrintD
  rm -f /tmp/setup.log'
before=$(fingerprint)

declined() { # input, what, number of questions
  answer "$1"
  sb_run -i "$work/in" -- /cdrom/orvel/setup
  check_eq "$2: status 0" 0 "$SB_RC"
  check_contains "$2: message 62" "$msg62" "$(cat "$SB/out")"
  check_eq "$2: asked $3 time(s)" "$3" "$(count "$prompt")"
  check_eq "$2: stderr empty" "" "$(cat "$SB/err")"
  check_eq "$2: installation, boot scripts and tool calls untouched" "$before" "$(fingerprint)"
  check_not_contains "$2: nothing unpacked" "uncompress" "$(sb_cat /tmp/setup.log)"
  # The run ends where it asked: no clean-up, the staged medium stays for the next run.
  check "$2: no clean-up" sb_test -f /tmp/OrvelInstall/disks
}
declined 'n\n' "answer n" 1
declined 'YES\nno\n' "YES then no" 2
declined '\n  \nNo\nyess\nn\n' "blank, No, yess, then n" 5
declined '' "end of input" 1
declined 'YES\n' "YES then end of input" 2

# "yes" after a word that does not count: go on with the upgrade.
answer 'Y\nyes\n'
sb_run -i "$work/in" -- /cdrom/orvel/setup
check_eq "Y then yes: status 0" 0 "$SB_RC"
check_eq "Y then yes: asked twice" 2 "$(count "$prompt")"
check_eq "Y then yes: stderr empty" "" "$(cat "$SB/err")"
check "Y then yes: KOrvelPrintD removed" sb_test ! -e /etc/rc2.d/KOrvelPrintD
check "Y then yes: SOrvelPrintD removed" sb_test ! -e /etc/rc2.d/SOrvelPrintD
check "Y then yes: other boot scripts kept" sb_test -e /etc/rc2.d/S01dbus -o ! -e /etc/rc2.d
check "Y then yes: the daemon itself is left to the user" sb_test -f /opt/Orvel/vpxx/VPrintD
check_eq "Y then yes: upgraded" "VERSION=4.50.11" \
  "$(sb_sh 'grep ^VERSION= /var/sadm/pkg/TLVNvpxx/pkginfo')"
check "Y then yes: work directory removed" sb_test ! -e /tmp/OrvelInstall

# The stop program alone also counts as the older daemon; "y" goes on. Without boot scripts
# there is nothing to remove.
sb_sh 'rm -f /opt/Orvel/vpxx/VPrintD; echo stop >/opt/Orvel/vpxx/VPrintDStop'
answer 'y\n'
sb_run -i "$work/in" -- /cdrom/orvel/setup
check_eq "VPrintDStop, y: status 0" 0 "$SB_RC"
check_contains "VPrintDStop, y: message 62" "$msg62" "$(cat "$SB/out")"
check_eq "VPrintDStop, y: asked once" 1 "$(count "$prompt")"
check_eq "VPrintDStop, y: stderr empty" "" "$(cat "$SB/err")"

# Daemon gone: no question, the input is not read.
sb_sh 'rm -f /opt/Orvel/vpxx/VPrintDStop'
answer 'n\n'
sb_run -i "$work/in" -- /cdrom/orvel/setup
check_eq "no daemon: status 0" 0 "$SB_RC"
check_eq "no daemon: not asked" 0 "$(count "$prompt")"

# The question comes after a move to a new base: "n" then leaves the installation moved,
# whole, with the link under /opt leading to it.
sb_sh 'echo daemon >/opt/Orvel/vpxx/VPrintD'
answer 'n\n'
sb_run -i "$work/in" -- /cdrom/orvel/setup /tmp /export/opt
check_eq "after a move, n: status 0" 0 "$SB_RC"
check_eq "after a move, n: asked once" 1 "$(count "$prompt")"
check_contains "after a move, n: the daemon found in the new place" "$msg62" "$(cat "$SB/out")"
check "after a move, n: the installation is in the new place" \
  sb_test -f /export/opt/Orvel/vpxx/VPrintD -a -f /export/opt/Orvel/vpxx/vpxx.conf
check_eq "after a move, n: /opt/Orvel/vpxx leads there" "/export/opt/Orvel/vpxx" \
  "$(sb_sh 'readlink /opt/Orvel/vpxx')"

sb_finish
