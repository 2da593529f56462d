# Shared part of the install scenarios (t_fresh*, t_upgrade*, t_pkgadd_fail, t_pkglist*,
# t_checkps, t_spooler, t_badinput): a small package tree, media built from it, and a sandbox
# with the SVR4 stand-ins and a controlled process table. Sourced after sandbox.sh.
#
#   il_start                  sb_start, then: pkgadd/pkginfo/installf in /usr/sbin, a fake ps
#                             in /usr/bin that lists only the lines of /etc/ps.table (empty at
#                             first), no lpd anywhere
#   il_tree DIR [VERSION]     writes a package tree into DIR (host): TLVNvpxx with pkginfo
#                             (VERSION=4.0 unless given), pkgmap, reloc/ and root/, and an
#                             empty pkg.list. Files: vpxx/bin/vprint, vpxx/vpqadmin (records
#                             each call in vpxx/vpqadmin.calls), vpxx/README and
#                             /usr/share/doc/orvel-vpxx/README; their text names VERSION
#   il_medium TREE PATH       builds a medium from TREE and puts it at PATH in the sandbox
#   il_setup [ARG...]         runs the last medium's setup as root with the umask $IL_UMASK
#                             (default 077, so that every mode a scenario checks is one that
#                             setup or pkgadd set, not one mkdir happened to give); stdin
#                             from $IL_INPUT (default /dev/null)
#   il_mode PATH              octal mode as seen inside ("-" when missing)
#   il_stat PATH...           fills MODE[PATH] for every path at once (one call inside)
#   il_ps LINE...             the process table fake ps shows from now on (no line: none)
#   il_year                   the year of the run, as the banners carry it
#   il_stray PLACE...         the changed paths (sb_changes) outside the places: PLACE is a
#                             path with everything below it, =PATH that path alone; the
#                             directories above a place and /tmp/setup.log always count as in

IL_MEDIUM=
IL_INPUT=/dev/null
IL_UMASK=077
IL_HOST=

il_start() {
  [ -n "${SETUP_BIN:-}" ] && [ -x "$SETUP_BIN" ] || {
    echo "FAIL: SETUP_BIN is not an executable: '${SETUP_BIN:-}'"
    exit 1
  }
  command -v compress >/dev/null || sb_skip "compress (ncompress) is missing: cannot build a medium"
  IL_HOST=$(mktemp -d "${TMPDIR:-/tmp}/il.XXXXXX")
  sb_atexit 'rm -rf "$IL_HOST"'
  sb_start
  sb_svr4
  # Columns of ps -e: PID TTY TIME CMD.
  sb_fake_cmd /usr/bin/ps \
    'echo "  PID TTY          TIME CMD"; cat /etc/ps.table 2>/dev/null; exit 0'
  sb_sh ': >/etc/ps.table; rm -f /usr/sbin/lpd /usr/bin/lpd /usr/lib/lpd /sbin/lpd /bin/lpd'
}

il_ps() { printf '%s\n' "$@" | sed '/^$/d' | sb_sh 'cat >/etc/ps.table'; }

il_tree() {
  local d=$1 v=${2:-4.0}
  mkdir -p "$d/TLVNvpxx/reloc/vpxx/bin" "$d/TLVNvpxx/root/usr/share/doc/orvel-vpxx"
  cat >"$d/TLVNvpxx/pkginfo" <<EOF
PKG=TLVNvpxx
NAME=Orvel printing services (scenario)
ARCH=sparc
VERSION=$v
CATEGORY=application
VENDOR=Orvel
BASEDIR=/opt/Orvel
CLASSES=none
EOF
  printf '#!/bin/sh\necho "vprint %s"\n' "$v" >"$d/TLVNvpxx/reloc/vpxx/bin/vprint"
  printf '#!/bin/sh\necho "vpqadmin $*" >>"$(dirname "$0")/vpqadmin.calls"\n' \
    >"$d/TLVNvpxx/reloc/vpxx/vpqadmin"
  chmod 755 "$d/TLVNvpxx/reloc/vpxx/bin/vprint" "$d/TLVNvpxx/reloc/vpxx/vpqadmin"
  echo "readme of $v" >"$d/TLVNvpxx/reloc/vpxx/README"
  echo "doc of $v" >"$d/TLVNvpxx/root/usr/share/doc/orvel-vpxx/README"
  # The application directory itself is not in the map: its mode is setup's.
  cat >"$d/TLVNvpxx/pkgmap" <<EOF
: 1 20
1 d none vpxx/bin 0755 root root
1 f none vpxx/bin/vprint 0755 root root 30 2000 1700000000
1 f none vpxx/vpqadmin 0755 root root 70 5000 1700000000
1 f none vpxx/README 0644 root root 16 1200 1700000000
1 d none /usr/share/doc/orvel-vpxx 0755 root root
1 f none /usr/share/doc/orvel-vpxx/README 0644 root root 14 1100 1700000000
1 i pkginfo 150 9000 1700000000
EOF
  : >"$d/pkg.list"
}

il_medium() {
  local tree=$1 path=$2 m
  m=$(mktemp -d "$IL_HOST/medium.XXXXXX")
  rmdir "$m"
  "$SOURCE_DIR/tools/mkmedium" -s "$SETUP_BIN" -b 2048 "$tree" "$m" >/dev/null || {
    echo "FAIL: mkmedium $tree"
    exit 1
  }
  sb_put "$m" "$path"
  IL_MEDIUM=$path
}

il_setup() {
  sb_run -i "$IL_INPUT" -- /bin/sh -c 'umask "$1"; shift; exec "$@"' umask "$IL_UMASK" \
    "$IL_MEDIUM/setup" "$@"
}

il_mode() { sb_sh 'stat -c %a "$1" 2>/dev/null || echo -' "$1"; }

declare -A MODE
il_stat() {
  local p m
  MODE=()
  while IFS=' ' read -r m p; do MODE[$p]=$m; done < <(
    sb_sh 'for p in "$@"; do echo "$(stat -c %a "$p" 2>/dev/null || echo -) $p"; done' "$@")
}

il_stray() {
  local c p a ok
  sb_changes | while IFS= read -r c; do
    ok=0
    for p in "$@" =/tmp/setup.log; do
      case $p in
        =*) p=${p#=} && [ "$c" = "$p" ] && ok=1 ;;
        *) case $c in "$p" | "$p"/*) ok=1 ;; esac ;;
      esac
      a=${p%/*}
      while [ $ok = 0 ] && [ -n "$a" ]; do
        [ "$c" = "$a" ] && ok=1
        a=${a%/*}
      done
      [ $ok = 1 ] && break
    done
    [ $ok = 1 ] || echo "$c"
  done
}

il_year() { date +%Y; }
