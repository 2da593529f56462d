#!/bin/bash
# Staging the medium: every file the list names is copied into the work directory, the
# archive pieces are joined in list order, uncompressed and unpacked. Lists with notes after
# end_of_list, upper-case media, DOS line ends and blank lines install; a list that does not
# name itself, a listed file missing from the medium and a corrupt archive end the run with
# status 1 before anything is installed.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
SETUP_BIN=${SETUP_BIN:-${BUILD_DIR:-$src/build}/setup}
. "$src/tests/e2e/sandbox.sh"
. "$src/tests/e2e/medium_lib.sh"

md_init
work=$MD_WORK
pkg=$src/demo/package
echo "Read me first." >"$work/readme"
md_medium reverse -r -x "$work/readme" -N "see pkg_tar.aa and the readme"
md_medium upper -U
md_medium noself -n
md_medium upnoself -U -n
md_medium missing
rm "$work/missing/$(tr ' ' '\n' <"$work/missing/disks" | grep '^pkg_tar' | tail -n 1)"
md_medium corrupt
head -c "$(stat -c %s "$work/corrupt/pkg_tar.aa")" /dev/urandom >"$work/corrupt/pkg_tar.aa"
md_medium dos
pieces=$(tr ' ' '\n' <"$work/dos/disks" | grep '^pkg_tar' | tr '\n' ' ')
printf '\r\n\r\ndisks\r\n\r\n%s\r\n\r\nend_of_list\r\nnot a name\r\n' "$pieces" >"$work/dos/disks"
md_medium marker -x "$work/readme"
printf 'disks readme end_of_list bogus\n%s\nend_of_list\n' "$pieces" >"$work/marker/disks"
# A sound compressed file that holds no tar archive.
mkdir "$work/notar"
cp "$work/dos/setup" "$work/dos/isize" "$work/dos/tsize" "$work/notar/"
printf 'disks pkg_tar.aa\nend_of_list\n' >"$work/notar/disks"
head -c 20000 /dev/urandom | od -An -tx1 | compress -c >"$work/notar/pkg_tar.aa"
# A list longer than the 4095 bytes that count, whose last name crosses that point: the cut
# name ("readm") must not be used.
md_medium long -x "$work/readme"
head=$(printf 'disks %s' "$pieces")
{
  printf '%s' "$head"
  printf '%*s' $((4090 - ${#head})) ''
  printf 'readme\nend_of_list\n'
} >"$work/long/disks"
[ "$(echo $pieces | wc -w)" -ge 2 ] || { echo "FAIL: the medium should have several pieces"; exit 1; }

md_start
sb_fake_cmd /usr/bin/ps 'echo "  PID TTY          TIME CMD"'

# Names copied by the last run, in order, from the log.
copied() { sb_cat /tmp/setup.log | sed -n "s|.*/cp -p '/cdrom/[a-z]*/\\([^ ]*\\)' '/tmp/OrvelInstall'\$|\\1|p"; }
reset() { # back to a host without the product
  sb_sh 'rm -rf /opt/Orvel /var/sadm /var/spool/Orvel /usr/bin/vpprint /usr/share/doc/orvel-vpxx \
    /tmp/OrvelInstall /tmp/setup.log'
}
installs() { # what, medium
  reset
  sb_run -- "/cdrom/$2/setup"
  check_eq "$1: status 0" 0 "$SB_RC"
  check_eq "$1: stderr empty" "" "$(cat "$SB/err")"
  check_eq "$1: the package's files installed" "$(cat "$pkg/TLVNvpxx/reloc/vpxx/bin/vprint")" \
    "$(sb_cat /opt/Orvel/vpxx/bin/vprint)"
  check_eq "$1: the package list carried out" "$(cat "$pkg/vpxx.conf")" \
    "$(sb_cat /opt/Orvel/vpxx/vpxx.conf)"
  check "$1: work directory removed" sb_test ! -e /tmp/OrvelInstall
}
fails() { # what, medium, expected stderr
  reset
  sb_run -- "/cdrom/$2/setup"
  check_eq "$1: status 1" 1 "$SB_RC"
  check_eq "$1: stderr" "$3" "$(cat "$SB/err")"
  check_eq "$1: nothing installed" "" "$(sb_changes | grep -v '^/tmp/')"
}

# Pieces listed in reverse name order: joined in list order; the readme is copied, not
# joined; the notes after end_of_list name no file.
installs "reversed list" reverse
list=$(head -n 1 "$work/reverse/disks" | tr ' ' '\n')
check_eq "reversed list: copied in list order" "$list" "$(copied)"
check_contains "reversed list: the readme is among them" "readme" "$list"

# Upper-case medium: DISKS written in lower case; PKG_TAR.* copied and joined.
installs "upper-case medium" upper
check_eq "upper-case medium: upper-case names copied" \
  "$(head -n 1 "$work/upper/DISKS" | tr a-z A-Z | tr ' ' '\n')" "$(copied)"
check_contains "upper-case medium: list copied as DISKS" "DISKS" "$(copied)"

# DOS line ends and blank lines; a line of notes after end_of_list.
installs "DOS list" dos
check_eq "DOS list: copied" "$(echo disks $pieces | tr ' ' '\n')" "$(copied)"

# The list does not name itself: everything is staged, then the joiner finds no list.
fails "list without its own name" noself "ERROR: can't open file, OrvelInstall/disks"
check_eq "list without its own name: every listed file staged" \
  "$(head -n 1 "$work/noself/disks" | tr ' ' '\n' | sort)" "$(sb_sh 'ls /tmp/OrvelInstall')"
fails "upper-case list without its own name" upnoself "ERROR: can't open file, OrvelInstall/disks"

# A listed piece missing from the medium: the copy fails and ends the run.
fails "listed piece missing" missing ""
check_contains "listed piece missing: reported on stdout" "ERROR: exit status 1" "$(cat "$SB/out")"
check_contains "listed piece missing: cp's complaint in the log" "No such file" \
  "$(sb_cat /tmp/setup.log)"
check_not_contains "listed piece missing: nothing joined" "uncompress" "$(sb_cat /tmp/setup.log)"

# A corrupt archive: uncompress fails and ends the run.
fails "corrupt archive" corrupt ""
check_contains "corrupt archive: reported on stdout" "ERROR: exit status 1" "$(cat "$SB/out")"
check_contains "corrupt archive: the failing step" "uncompress  '/tmp/OrvelInstall/OrvelSolarisVpxx.tar.Z'
" "$(sb_cat /tmp/setup.log | grep -A3 uncompress)"
check_not_contains "corrupt archive: nothing unpacked" "tar xvfp" "$(sb_cat /tmp/setup.log)"

# Uncompressed, the archive is no tar file: tar fails and ends the run.
fails "not a tar archive" notar ""
check_contains "not a tar archive: reported on stdout" "ERROR: exit status 2" "$(cat "$SB/out")"
check_contains "not a tar archive: the failing step" "tar xvfp '/tmp/OrvelInstall/OrvelSolarisVpxx.tar'" \
  "$(sb_cat /tmp/setup.log)"

# end_of_list inside a line: the copy goes on with the next line, the joiner stops there,
# so no archive is made and uncompress fails.
fails "marker inside a line" marker ""
check_eq "marker inside a line: copied" "$(echo disks readme $pieces | tr ' ' '\n')" "$(copied)"
check "marker inside a line: no archive joined" sb_test ! -e /tmp/OrvelInstall/OrvelSolarisVpxx.tar.Z

# A work directory left over with an archive in it: staging starts from an empty one.
reset
sb_mkdir /tmp/OrvelInstall
sb_sh 'echo garbage >/tmp/OrvelInstall/OrvelSolarisVpxx.tar.Z; echo old >/tmp/OrvelInstall/old'
sb_run -- /cdrom/reverse/setup
check_eq "leftover archive: status 0" 0 "$SB_RC"
check_eq "leftover archive: stderr empty" "" "$(cat "$SB/err")"
check "leftover archive: installed" sb_test -f /opt/Orvel/vpxx/bin/vprint

# A link planted where the work directory goes: replaced by a new directory; what it led to
# is never staged into nor removed.
reset
sb_mkdir /etc/victim
sb_sh 'echo precious >/etc/victim/data; ln -s /etc/victim /tmp/OrvelInstall'
sb_run -- /cdrom/reverse/setup
check_eq "planted link: status 0" 0 "$SB_RC"
check "planted link: installed" sb_test -f /opt/Orvel/vpxx/bin/vprint
check_eq "planted link: its target untouched" "data
precious" "$(sb_sh 'ls /etc/victim; cat /etc/victim/data')"
check "planted link: gone with the work directory" sb_test ! -e /tmp/OrvelInstall -a ! -L /tmp/OrvelInstall
reset
sb_sh 'ln -s /nonexistent /tmp/OrvelInstall'
sb_run -- /cdrom/reverse/setup
check_eq "planted dangling link: status 0" 0 "$SB_RC"
check "planted dangling link: installed" sb_test -f /opt/Orvel/vpxx/bin/vprint
check "planted dangling link: nothing made where it led" sb_test ! -e /nonexistent

# The name cut by the list's limit is dropped, with a line in the log.
installs "long list" long
check_not_contains "long list: the cut name was not copied" "readm" "$(copied)"
check_contains "long list: the dropped name is logged" 'ignored from "readm"' \
  "$(sb_cat /tmp/setup.log)"

sb_finish
