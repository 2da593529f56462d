#!/bin/bash
# The "v" condition of the package list against the system release (fake uname): every
# operator on releases 5.8, 5.9 and "5.10" (which sorts before 5.8 byte-wise, so
# "v >= 5.8 c libfoo.so" copies on 5.8 and 5.9 only), an unknown operator that never holds,
# a nested condition, incomplete conditions; and a release that cannot be read: message 60
# on standard error, no conditional command, the rest of the list carried out.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx
sb_fake_cmd /usr/bin/uname \
  'r=$(cat /etc/uname.release 2>/dev/null); [ -n "$r" ] || exit 1; echo "$r"'

tree=$IL_HOST/tree
il_tree "$tree"
echo "library" >"$tree/libfoo.so"
echo "notes" >"$tree/relnotes"
cat >"$tree/pkg.list" <<'EOF'
v >= 5.8 c libfoo.so
v < 5.9 t lt
v <= 5.9 t le
v = 5.9 t eq
v > 5.9 t gt
v >= 5.9 t ge
v != 5.9 t ne
v >= 5.8 c relnotes mode 600
v >= 5.8 v <= 5.9 t nested
v
v >=
v >= 5.8
t always
EOF
il_medium "$tree" /cdrom/orvel

# What the conditional lines left in the application directory, in a fixed order.
made() {
  sb_sh 'cd "$1" && for f in libfoo.so lt le eq gt ge ne relnotes nested always; do
    [ -e "$f" ] && printf "%s " "$f"; done; true' $app | sed 's/ $//'
}

for case in "5.8:libfoo.so lt le relnotes nested always" \
  "5.9:libfoo.so le eq ge relnotes nested always" \
  "5.10:lt le always"; do
  rel=${case%%:*}
  sb_sh 'rm -rf /opt/Orvel /var/sadm /var/spool/Orvel; echo "$1" >/etc/uname.release' "$rel"
  il_setup
  check_eq "release $rel: status 0" 0 "$SB_RC"
  check_eq "release $rel: the lines whose condition holds ran" "${case#*:}" "$(made)"
  check_eq "release $rel: nothing on stderr" "" "$(cat "$SB/err")"
  [ "$rel" = 5.8 ] &&
    check_eq "a conditional command keeps its attributes" 600 "$(il_mode $app/relnotes)"
done

sb_sh 'rm -rf /opt/Orvel /var/sadm /var/spool/Orvel; : >/etc/uname.release'
il_setup
check_eq "release unreadable: status 0" 0 "$SB_RC"
check_contains "release unreadable: message 60 on stderr" "failed ts get version: " \
  "$(cat "$SB/err")"
check_eq "release unreadable: no conditional command ran, the rest did" always "$(made)"
check "release unreadable: the install went on to the end" sb_test ! -e /tmp/OrvelInstall

sb_finish
