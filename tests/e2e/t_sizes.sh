#!/bin/bash
# Size files that hold no non-negative decimal number count as missing: an empty isize,
# "nan", "-5" and binary bytes (each in isize or tsize) end the run with message 65 and
# status 0 before anything is staged, instead of turning the space check off.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
tree=$IL_HOST/tree
il_tree "$tree"
il_medium "$tree" /cdrom/orvel

m65="Could not determine how much space needed for install, missing isize."
# bad FILE WHAT TEXT...: the medium's FILE holds TEXT (printf format), the other one 100.
bad() {
  local file=$1 what=$2
  shift 2
  sb_sh 'printf 100 >/cdrom/orvel/isize; printf 100 >/cdrom/orvel/tsize
    f=$1; shift; printf "$@" >"/cdrom/orvel/$f"' "$file" "$@"
  il_setup
  check_eq "$what: status 0" 0 "$SB_RC"
  check_eq "$what: message 65" "$m65" "$(cat "$SB/out")"
  check "$what: nothing staged" sb_test ! -e /tmp/OrvelInstall
}
bad isize "empty isize" ''
bad isize "isize nan" 'nan\n'
bad tsize "tsize -5" -- '-5\n'
bad tsize "binary tsize" '\001\377\000\n'
check_eq "nothing written but the log" "/tmp/setup.log" "$(sb_changes)"

sb_finish
