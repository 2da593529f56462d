#!/bin/bash
# /opt/Orvel/vpxx as a link to an existing directory whose text holds a blank or a shell
# character: setup refuses as for such a path on the command line (message 3 with the link's
# text, "\n\n", status 2) before anything is staged or installed, and leaves the link and the
# earlier installation as they were. Also when the command line names an install base.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
probe=/opt/Orvel/vpxx

tree=$IL_HOST/tree
il_tree "$tree" 4.5
echo 'c extra.txt' >"$tree/pkg.list"
echo extra >"$tree/extra.txt"
il_medium "$tree" /cdrom

# Each case: the directory the link leads to (as made inside), the link's text, arguments.
cases=(
  "/export/my opt/Orvel/vpxx|/export/my opt/Orvel/vpxx|"
  '/srv/a$(touch /tmp/ran)/Orvel/vpxx|../../srv/a$(touch /tmp/ran)/Orvel/vpxx|'
  "/srv/b;c/Orvel/vpxx|/srv/b;c/Orvel/vpxx|install /opt2"
)
for c in "${cases[@]}"; do
  IFS='|' read -r dir text args <<<"$c"
  sb_sh 'rm -rf /opt/Orvel /export /srv /opt2 && mkdir -p "$1/bin" /opt/Orvel &&
    echo old >"$1/bin/vprint" && ln -s "$2" /opt/Orvel/vpxx' "$dir" "$text"
  # shellcheck disable=SC2086
  il_setup $args
  check_eq "link '$text': status 2" 2 "$SB_RC"
  printf "ERROR: couldn't open %s\n\n" "$text" >"$SB/exp"
  check "link '$text': message 3 with the link's text and \"\\n\\n\", nothing else" \
    cmp -s "$SB/exp" "$SB/out"
  check_eq "link '$text': nothing on stderr" "" "$(cat "$SB/err")"
  check_eq "link '$text': the link is kept" "$text" "$(sb_sh 'readlink "$1"' $probe)"
  check_eq "link '$text': the earlier installation is kept" old "$(sb_cat "$dir/bin/vprint")"
  check_eq "link '$text': nothing staged, installed or run; only the log written" \
    /tmp/setup.log "$(sb_changes)"
done

sb_finish
