#!/bin/bash
# Moving an earlier installation to a new install base: the application directory moves as
# it is (site files kept) and /opt/Orvel/vpxx becomes a link to it; the next run finds it
# through the link; naming the base it already has (in any spelling) moves nothing; a base
# that cannot take it ends the run with status 1 and leaves the installation where it was.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
SETUP_BIN=${SETUP_BIN:-${BUILD_DIR:-$src/build}/setup}
. "$src/tests/e2e/sandbox.sh"
. "$src/tests/e2e/medium_lib.sh"

md_init
work=$MD_WORK
md_medium orvel

md_start
sb_fake_cmd /usr/bin/ps 'echo "  PID TTY          TIME CMD"'

# An earlier installation under /opt, with a site file the package does not carry.
sb_mkdir /opt/Orvel/vpxx/bin /var/sadm/pkg/TLVNvpxx /usr/share/doc/orvel-vpxx
sb_sh 'cd /opt/Orvel/vpxx && echo "site settings" >site.conf && echo old >bin/vprint &&
  printf "PKG=TLVNvpxx\nNAME=old\nVERSION=4.0\n" >/var/sadm/pkg/TLVNvpxx/pkginfo'

run() { # what, setup arguments...: a run that ends normally
  local what=$1
  shift
  sb_sh 'rm -f /tmp/setup.log'
  sb_run -- /cdrom/orvel/setup "$@"
  check_eq "$what: status 0" 0 "$SB_RC"
  check_eq "$what: stderr empty" "" "$(cat "$SB/err")"
}
moved() { sb_cat /tmp/setup.log | grep -c 'mv -f -f'; }
kind() { sb_sh 'if [ -L "$1" ]; then echo "link to $(readlink "$1")"; elif [ -d "$1" ]; then
  echo directory; elif [ -e "$1" ]; then echo other; else echo none; fi' "$1"; }
fingerprint() {
  sb_sh 'for d; do if [ -e "$d" ] || [ -L "$d" ]; then
      find "$d" ! -name vpqadmin.calls -printf "%p %y %m %u %s %T@ %l\n"
      find "$d" -type f ! -name vpqadmin.calls -exec md5sum {} +; fi
    done | LC_ALL=C sort' fp /opt/Orvel /export /var/sadm /etc/passwd
}

run "to /export/opt" /tmp /export/opt
check_eq "to /export/opt: /export/opt/Orvel/vpxx is a directory" directory \
  "$(kind /export/opt/Orvel/vpxx)"
check_eq "to /export/opt: /opt/Orvel/vpxx links to it" "link to /export/opt/Orvel/vpxx" \
  "$(kind /opt/Orvel/vpxx)"
check_eq "to /export/opt: the site file moved along" "site settings" \
  "$(sb_cat /export/opt/Orvel/vpxx/site.conf)"
check_eq "to /export/opt: upgraded in the new place" \
  "$(cat "$src/demo/package/TLVNvpxx/reloc/vpxx/bin/vprint")" \
  "$(sb_cat /export/opt/Orvel/vpxx/bin/vprint)"
check_eq "to /export/opt: the new maker directory has mode 755" 755 \
  "$(sb_sh 'stat -c %a /export/opt/Orvel')"
check_eq "to /export/opt: the old maker directory stays" directory "$(kind /opt/Orvel)"
check_eq "to /export/opt: moved before staging" "mv cp" \
  "$(sb_cat /tmp/setup.log | grep -o "mv -f -f\\|cp -p '/cdrom" | sed 's/ .*//' | uniq | head -n 2 | tr '\n' ' ' | sed 's/ $//')"
check_contains "to /export/opt: files registered under the new base" \
  "/export/opt/Orvel/vpxx/bin/vprint" "$(sb_cat /var/sadm/install/contents)"
check_eq "to /export/opt: version rewritten" "VERSION=4.50.11" \
  "$(sb_sh 'grep ^VERSION= /var/sadm/pkg/TLVNvpxx/pkginfo')"
check_eq "to /export/opt: the tool ran from the new place" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat /export/opt/Orvel/vpxx/vpqadmin.calls)"

# The next run finds the installation through the link and upgrades it where it is.
run "no arguments after the move" /tmp
check_eq "no arguments after the move: nothing moved" 0 "$(moved)"
check_eq "no arguments after the move: still a link" "link to /export/opt/Orvel/vpxx" \
  "$(kind /opt/Orvel/vpxx)"
check_eq "no arguments after the move: the tool ran from /export/opt" "2" \
  "$(sb_cat /export/opt/Orvel/vpxx/vpqadmin.calls | grep -c upgrade)"
run "the same base again" /tmp /export/opt
check_eq "the same base again: nothing moved" 0 "$(moved)"

# Back to /opt: the link is replaced by the directory; no link is made.
run "back to /opt" /tmp /opt
check_eq "back to /opt: /opt/Orvel/vpxx is a directory again" directory "$(kind /opt/Orvel/vpxx)"
check_eq "back to /opt: the site file came back" "site settings" \
  "$(sb_cat /opt/Orvel/vpxx/site.conf)"
check_eq "back to /opt: nothing left at /export/opt/Orvel/vpxx" none \
  "$(kind /export/opt/Orvel/vpxx)"

# The base it already has: no move, whatever the spelling.
for base in /opt /opt/ //opt /opt/. /opt/Orvel/vpxx; do
  run "the base it has, as $base" /tmp "$base"
  check_eq "the base it has, as $base: nothing moved" 0 "$(moved)"
  check_eq "the base it has, as $base: the site file is there" "site settings" \
    "$(sb_cat /opt/Orvel/vpxx/site.conf 2>&1)"
done

# A new base named relative to the starting directory: the link must lead there from
# anywhere.
sb_mkdir /srv
sb_sh 'rm -f /tmp/setup.log'
sb_run -C /srv -- /cdrom/orvel/setup /tmp opt2
check_eq "relative new base: status 0" 0 "$SB_RC"
check_eq "relative new base: stderr empty" "" "$(cat "$SB/err")"
check_eq "relative new base: moved under the starting directory" "site settings" \
  "$(sb_cat /srv/opt2/Orvel/vpxx/site.conf)"
check_eq "relative new base: the link is absolute" "link to /srv/opt2/Orvel/vpxx" \
  "$(kind /opt/Orvel/vpxx)"
run "after the relative move" /tmp
check_eq "after the relative move: nothing moved" 0 "$(moved)"
check_eq "after the relative move: the tool ran from the new place" "vpqadmin -upgrade
vpqadmin -clean" "$(sb_cat /srv/opt2/Orvel/vpxx/vpqadmin.calls | tail -n 2)"
run "back to /opt once more" /tmp /opt
check_eq "back to /opt once more: a directory again" directory "$(kind /opt/Orvel/vpxx)"

# A base that cannot hold the installation: the move fails, status 1, nothing lost.
before=$(fingerprint)
sb_sh 'rm -f /tmp/setup.log'
sb_run -- /cdrom/orvel/setup /tmp /etc/passwd
check_eq "a file as the base: status 1" 1 "$SB_RC"
check_contains "a file as the base: the failed move reported" "ERROR: exit status 1" \
  "$(cat "$SB/out")"
check_eq "a file as the base: installation and the file untouched" "$before" "$(fingerprint)"
check "a file as the base: nothing staged" sb_test ! -e /tmp/OrvelInstall

sb_finish
