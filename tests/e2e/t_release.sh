#!/bin/bash
# The operating-system release check: releases that sort before 5.6 byte-wise are refused,
# except "5.10"; so 5.5.1, 5.4 and 5.11 end the run (message 61 on stderr, clean-up,
# status 0) while 5.8 and 5.10 install, on the fresh-install road and on the upgrade road.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
SETUP_BIN=${SETUP_BIN:-${BUILD_DIR:-$src/build}/setup}
. "$src/tests/e2e/sandbox.sh"
. "$src/tests/e2e/medium_lib.sh"

md_init
work=$MD_WORK
md_medium orvel

md_start
# uname -r prints the release written into /etc/fake-release (nothing when it is empty).
sb_fake_cmd /usr/bin/uname 'case "$1" in -r) cat /etc/fake-release ;; *) echo Linux ;; esac'

release() { sb_sh 'printf "%s" "$1" >/etc/fake-release' "$1"; }

# Everything of the product a run may change outside its work area and log, but the record
# of the maintenance tool's calls, which the clean-up adds to.
fingerprint() {
  sb_sh 'for d; do if [ -e "$d" ] || [ -L "$d" ]; then
      find "$d" ! -name vpqadmin.calls -printf "%p %y %m %u %s %T@ %l\n"
      find "$d" -type f ! -name vpqadmin.calls -exec md5sum {} +; fi
    done | LC_ALL=C sort' fp /opt/Orvel /var/sadm /var/spool/Orvel /etc/rc2.d \
    /usr/bin/vpprint /usr/share/doc/orvel-vpxx
}

msg61='
ERROR: You are trying to load the wrong version of the Telvane Services for Unix Systems software to this machine.'

refused() { # release, what [label]
  release "$1"
  local name="$2 ${3:-$1}"
  local before
  before=$(fingerprint)
  sb_sh 'rm -f /tmp/setup.log'
  sb_run -- /cdrom/orvel/setup
  check_eq "$name: status 0" 0 "$SB_RC"
  check_eq "$name: message 61 on stderr" "$msg61
|" "$(grep -v 'vpqadmin: not found' "$SB/err"; echo "|")"
  check_not_contains "$name: message 61 not on stdout" "wrong version" "$(cat "$SB/out")"
  check "$name: work directory removed" sb_test ! -e /tmp/OrvelInstall
  check_contains "$name: refused after staging" "cp -p '/cdrom/orvel/pkg_tar.aa'" \
    "$(sb_cat /tmp/setup.log)"
  check_not_contains "$name: nothing unpacked" "uncompress" "$(sb_cat /tmp/setup.log)"
  check_eq "$name: nothing installed or changed" "$before" "$(fingerprint)"
}

installed() { # release, what [label]
  release "$1"
  local name="$2 ${3:-$1}"
  sb_sh 'rm -f /tmp/setup.log /opt/Orvel/vpxx/vpqadmin.calls'
  sb_run -- /cdrom/orvel/setup
  check_eq "$name: status 0" 0 "$SB_RC"
  check_eq "$name: stderr empty" "" "$(cat "$SB/err")"
  check "$name: flag file written" sb_test -f /opt/Orvel/vpxx/.vp_cfg
  check "$name: work directory removed" sb_test ! -e /tmp/OrvelInstall
  check_eq "$name: maintenance lines ran" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat /opt/Orvel/vpxx/vpqadmin.calls)"
}

# Fresh install road.
refused 5.5.1 "fresh:"
check "fresh 5.5.1: both maintenance lines tried" \
  test "$(grep -c 'vpqadmin: not found' "$SB/err")" = 2
refused 5.4 "fresh:"
refused 5.11 "fresh:"
check_eq "fresh refusals changed nothing outside /tmp" "" "$(sb_changes | grep -v '^/tmp/')"

installed 5.10 "fresh:"
check_contains "fresh 5.10: pkgadd ran" "Installation of <TLVNvpxx> was successful." \
  "$(cat "$SB/out")"
# The package list's "v >= 5.8" compares byte-wise too: 5.10 sorts before 5.8.
check "fresh 5.10: release notes (v >= 5.8) not copied" \
  sb_test ! -e /opt/Orvel/vpxx/release-notes.txt

# Back to a host without the product, then a fresh install on 5.8.
sb_sh 'rm -rf /opt/Orvel /var/sadm /var/spool/Orvel /usr/bin/vpprint /usr/share/doc/orvel-vpxx'
installed 5.8 "fresh:"
check "fresh 5.8: release notes (v >= 5.8) copied" sb_test -f /opt/Orvel/vpxx/release-notes.txt

# Upgrade road: the refusal leaves the installation as it was.
refused 5.5.1 "upgrade:"
refused 5.11 "upgrade:"
check_eq "upgrade 5.11: the tool ran -upgrade and -clean" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat /opt/Orvel/vpxx/vpqadmin.calls 2>/dev/null | tail -n 2)"
sb_sh 'rm -f /opt/Orvel/vpxx/vpqadmin.calls'
installed 5.10 "upgrade:"
check_eq "upgrade 5.10: version rewritten" "VERSION=4.50.11" \
  "$(sb_sh 'grep ^VERSION= /var/sadm/pkg/TLVNvpxx/pkginfo')"
# uname without output, or with blank lines only: nothing to check against, the run goes on.
installed "" "upgrade:" "no output"
installed "$(printf '\n  \n')" "upgrade:" "blank lines"
# The first word of the first line is the release.
installed "$(printf '  5.9 generic\n5.5\n')" "upgrade:" "5.9 with words around it"
refused "$(printf '5.5\n5.9\n')" "upgrade:" "5.5 on the first line, 5.9 on the second"

sb_finish
