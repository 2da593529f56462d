# Shared start of the scenarios that run setup from media of the demo package (demo/package).
# Sourced after sandbox.sh.
#
#   md_init                          skips without compress; makes MD_WORK, a host directory
#                                    removed at exit
#   md_medium NAME [OPTION...]       builds the medium MD_WORK/NAME from the demo package with
#                                    tools/mkmedium (pieces of 2048 bytes; OPTIONs are mkmedium's)
#   md_start                         sb_start; pkgadd, pkginfo, installf in /usr/sbin; every
#                                    medium of MD_WORK at /cdrom/NAME; a fake ps that lists no
#                                    process; a fake uname whose release (-r) is the text of
#                                    /etc/fake-release, 5.8 at first (the host's own release
#                                    could sort before 5.6 and be refused)
#   md_release TEXT                  the release uname -r prints from now on ("" prints nothing)

MD_WORK=

md_init() {
  command -v compress >/dev/null || sb_skip "compress (ncompress) is missing: cannot build a medium"
  MD_WORK=$(mktemp -d)
  trap 'rm -rf "$MD_WORK"' EXIT # until sb_start takes over the exit trap
  sb_atexit 'rm -rf "$MD_WORK"'
}

md_medium() {
  local name=$1
  shift
  "$SOURCE_DIR/tools/mkmedium" -s "$SETUP_BIN" -b 2048 "$@" "$SOURCE_DIR/demo/package" \
    "$MD_WORK/$name" >/dev/null || { echo "FAIL: mkmedium $* $name"; exit 1; }
}

md_start() {
  local t m
  sb_start
  sb_svr4
  for m in "$MD_WORK"/*; do
    [ -d "$m" ] && sb_put "$m" "/cdrom/${m##*/}"
  done
  sb_fake_cmd /usr/bin/ps 'echo "  PID TTY          TIME CMD"'
  sb_fake_cmd /usr/bin/uname 'case "$1" in -r) cat /etc/fake-release ;; *) echo Linux ;; esac'
  md_release 5.8
}

md_release() { sb_sh 'printf "%s" "$1" >/etc/fake-release' "$1"; }
