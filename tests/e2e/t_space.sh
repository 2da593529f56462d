#!/bin/bash
# The space check, with a fake df (POSIX format, one data line per path, from a table of
# path prefixes) and a fake du. The medium asks for isize 1000 and tsize 2000, so the
# install area needs 1040 and the work area 2040 (1024-byte units). A run that passes the
# check is stopped right after staging by a refused release, so each case takes a moment.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
SETUP_BIN=${SETUP_BIN:-${BUILD_DIR:-$src/build}/setup}
. "$src/tests/e2e/sandbox.sh"
. "$src/tests/e2e/medium_lib.sh"

md_init
work=$MD_WORK
md_medium orvel -I 1000 -T 2000
md_medium nosizes -S
md_medium notsize -I 1000 -T 2000
rm "$work/notsize/tsize"
md_medium words -I "1000 blocks" -T "  2000"

md_start
sb_sh 'echo 5.5 >/etc/fake-release'
# df -Pk PATH: /etc/fake-df has lines "PREFIX DEVICE AVAILABLE"; the longest prefix that
# holds the path decides. The paths asked for are recorded in /tmp/df.calls.
sb_fake_cmd /usr/bin/df '[ -s /etc/fake-df ] || exit 1
echo "Filesystem     1024-blocks      Used Available Capacity Mounted on"
for p; do
  case $p in -*) continue ;; esac
  echo "$p" >>/tmp/df.calls
  best= dev= avail=
  while read -r pre d a; do
    case $pre in /) ;; *) case $p in "$pre" | "$pre"/*) ;; *) continue ;; esac ;; esac
    [ ${#pre} -ge ${#best} ] && best=$pre dev=$d avail=$a
  done </etc/fake-df
  echo "/dev/$dev 104857600 1000 $avail 1% /mnt/$dev"
done'
# du -s PATH: the size /etc/fake-du gives for exactly that path ("PATH SIZE"), else 0.
sb_fake_cmd /usr/bin/du 'for p; do
  case $p in -*) continue ;; esac
  s=$(awk -v p="$p" "\$1 == p { print \$2 }" /etc/fake-du 2>/dev/null)
  printf "%s\t%s\n" "${s:-0}" "$p"
done'

partitions() { sb_sh 'printf "$1" >/etc/fake-df; rm -f /tmp/df.calls /tmp/setup.log' "$1"; }
sizes() { sb_sh 'printf "$1" >/etc/fake-du' "$1"; }

m49="There isn't enough space in %s to perform the installation activities. The temporary work area should be at least %e bytes. Restart the installation procedure using a work area that has enough space. \nie: 1. Use /new_work_area_path in place of /tmp\n    2. Run \`setup /new_work_area_path\`\n"
m55="There isn't enough space in %s to perform the installation activities. The install area should be at least %e bytes. Restart the installation procedure using an install area that has enough space. \nie: 1. Use /new_install_path in place of the default location\n    2. Run 'setup install /new_install_path'\n"
m56="There isn't enough space to perform the installation activities. As you are using a working directory, %s on the same partition as the install directory you have selected, %s this install requires %e bytes free. Please re-run the install specifing a different location for a working directory or install directory. Please see the readme if you need help with the syntax."
m65="Could not determine how much space needed for install, missing isize.\n"

# The text of a message as printf makes it, followed by "|" (keeps its trailing newlines).
msg() {
  printf "$@"
  echo "|"
}
# short WHAT EXPECTED-STDOUT SETUP-ARGS...: the run ends at the space check.
short() {
  local what=$1 expected=$2
  shift 2
  sb_run -- "$@"
  check_eq "$what: status 0" 0 "$SB_RC"
  check_eq "$what: message" "$expected" "$(cat "$SB/out"; echo "|")"
  check_eq "$what: stderr empty" "" "$(cat "$SB/err")"
  check "$what: nothing staged" sb_test ! -e /tmp/OrvelInstall
  check_eq "$what: nothing changed outside /tmp" "" "$(sb_changes | grep -v '^/tmp/')"
}
# enough WHAT SETUP-ARGS...: the run passes the check and stages the medium.
enough() {
  local what=$1
  shift
  sb_run -- "$@"
  check_eq "$what: status 0" 0 "$SB_RC"
  check_not_contains "$what: no space message" "enough space" "$(cat "$SB/out")"
  check_contains "$what: staged, then stopped by the release" "wrong version" "$(cat "$SB/err")"
}

# Separate partitions: the work area is tested first.
partitions '/ root 99999\n/tmp tmp 2039\n'
short "work area 2039 of 2040" "$(msg "$m49" /tmp/OrvelInstall 2040)" /cdrom/orvel/setup
partitions '/ root 1039\n/tmp tmp 2039\n'
short "both short: the work area is reported" "$(msg "$m49" /tmp/OrvelInstall 2040)" \
  /cdrom/orvel/setup
partitions '/ root 99999\n/tmp tmp 2040\n/opt opt 1039\n'
short "install area 1039 of 1040" "$(msg "$m55" /opt 1040)" /cdrom/orvel/setup
partitions '/ root 99999\n/big big 2039\n/opt opt 99999\n'
sb_mkdir /big
short "work base on the command line, 2039" "$(msg "$m49" /big/OrvelInstall 2040)" \
  /cdrom/orvel/setup /big
partitions '/ root 99999\n/tmp tmp 2040\n/opt opt 1040\n'
enough "exactly enough on both" /cdrom/orvel/setup
check_eq "the work area is measured at /tmp, the install area at /opt (twice)" "/tmp
/opt
/opt" "$(sb_cat /tmp/df.calls)"

# The partition of the install base must have more than 17 free.
partitions '/ root 99999\n/tmp tmp 99999\n/opt opt 17\n'
short "install base partition at 17" "$(msg "$m56" /tmp/OrvelInstall /opt 3080)" \
  /cdrom/orvel/setup
# A base that does not exist yet is measured where it would be made: "/".
partitions '/ root 17\n/tmp tmp 99999\n'
short "new base, / at 17" "$(msg "$m56" /tmp/OrvelInstall /export/opt 3080)" \
  /cdrom/orvel/setup /tmp /export/opt
partitions '/ root 99999\n/tmp tmp 99999\n'
enough "new base measured at /" /cdrom/orvel/setup /tmp /export/opt
check_eq "new base: / measured for the install area" "/tmp
/
/" "$(sb_cat /tmp/df.calls)"

# One partition for both: one combined demand of 3080.
partitions '/ root 3079\n'
short "one partition, 3079 of 3080" "$(msg "$m56" /tmp/OrvelInstall /opt 3080)" \
  /cdrom/orvel/setup
partitions '/ root 3080\n'
enough "one partition, 3080" /cdrom/orvel/setup

# A work directory left over by an earlier run counts as free: its du size is added.
sb_mkdir /tmp/OrvelInstall
sb_sh 'echo leftover >/tmp/OrvelInstall/OrvelSolarisVpxx.tar.Z'
sizes '/tmp/OrvelInstall 79\n'
partitions '/ root 3000\n'
sb_run -- /cdrom/orvel/setup
check_eq "leftover of 79 on 3000 free: message 56" "$(msg "$m56" /tmp/OrvelInstall /opt 3080)" \
  "$(cat "$SB/out"; echo "|")"
check_eq "leftover of 79: left as it was" "leftover" \
  "$(sb_cat /tmp/OrvelInstall/OrvelSolarisVpxx.tar.Z)"
sizes '/tmp/OrvelInstall 80\n'
partitions '/ root 3000\n'
enough "leftover of 80 on 3000 free" /cdrom/orvel/setup
check "leftover of 80: replaced, then removed" sb_test ! -e /tmp/OrvelInstall
# The same on a work partition of its own.
sb_mkdir /tmp/OrvelInstall
sizes '/tmp/OrvelInstall 40\n'
partitions '/ root 99999\n/tmp tmp 2000\n'
enough "leftover of 40 on a work partition with 2000" /cdrom/orvel/setup

# Missing or odd size files.
partitions '/ root 99999\n'
short "no isize and no tsize" "$(msg "$m65")" /cdrom/nosizes/setup
short "no tsize: the same message" "$(msg "$m65")" /cdrom/notsize/setup
partitions '/ root 99999\n/tmp tmp 2039\n'
short "sizes with words after and blanks before the number" \
  "$(msg "$m49" /tmp/OrvelInstall 2040)" /cdrom/words/setup

# df without an answer for the work area: nothing is checked.
partitions ''
enough "df gives nothing" /cdrom/orvel/setup

# An earlier installation is upgraded in place: its du size counts as free, and the
# minimum does not apply.
sb_mkdir /opt/Orvel/vpxx
sb_sh 'echo conf >/opt/Orvel/vpxx/vpxx.conf'
sizes '/opt/Orvel/vpxx 1030\n'
partitions '/ root 99999\n/tmp tmp 99999\n/opt opt 10\n'
enough "upgrade: 10 free plus 1030 installed" /cdrom/orvel/setup
check_eq "upgrade: the application directory is measured" "/tmp
/opt/Orvel/vpxx" "$(sb_cat /tmp/df.calls)"
sizes '/opt/Orvel/vpxx 1029\n'
partitions '/ root 99999\n/tmp tmp 99999\n/opt opt 10\n'
short "upgrade: 10 free plus 1029 installed" "$(msg "$m55" /opt 1040)" /cdrom/orvel/setup
# Only the maker directory: it is measured, and the minimum applies to it.
sb_sh 'rm -rf /opt/Orvel/vpxx'
partitions '/ root 99999\n/tmp tmp 99999\n/opt/Orvel orvel 17\n'
short "maker directory at 17" "$(msg "$m56" /tmp/OrvelInstall /opt 3080)" /cdrom/orvel/setup

sb_finish
