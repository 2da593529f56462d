#!/bin/bash
# Names are only names: hostile names in the medium's list, in the package list (names,
# directories, destinations, attribute values) and in the medium's own path are copied,
# touched, made, linked and renamed as files of exactly those names, and the commands in
# them never run (each would make the marker /root/P). The last line gives chgrp a hostile
# group: refused by chgrp as a name, which ends the run with status 1 as any failing
# attribute does, and still runs nothing.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
app=/opt/Orvel/vpxx
m='$(cd;>P)'
names=("x$m" 'b`cd;>P`' 's;cd;>P' 'p|cd;>P' 'a&cd;>P' 'g>P' "q\"uo'te")

tree=$IL_HOST/tree
il_tree "$tree"
for n in "${names[@]}"; do echo "$n" >"$tree/$n"; done
mkdir "$tree/d$m" && echo in >"$tree/d$m/f"
{
  for n in "${names[@]}"; do printf 'c %s\n' "$n"; done
  printf '%s\n' "t t$m" "newdir n$m mode 700" "dir d$m" "dirto d$m $app/to$m" \
    "m x$m link $app/l$m" "m s;cd;>P name r$m" "m q\"uo'te mode 640" "m x$m group g$m"
} >"$tree/pkg.list"
medium="/media/it's \"$m\" & co"
il_medium "$tree" "$medium"
# The medium's list names the hostile files too; they are staged by name.
sb_sh 'cd "$1" && shift && for n; do echo "$n" >"./$n"; done &&
  { printf "%s " "$@"; echo; cat disks; } >d.new && mv d.new disks' "$medium" "${names[@]}"

il_setup
check_eq "status 1 from the refused group" 1 "$SB_RC"
check_contains "the refused group is chgrp's complaint about that name" "g$m" \
  "$(sb_cat /tmp/setup.log | grep -i 'invalid group')"
check "no command in a name ran" sb_test ! -e /root/P -a ! -e /P -a ! -e /tmp/OrvelInstall/P
for n in "${names[@]}"; do
  check_eq "staged from the medium's list: $n" "$n" "$(sb_cat "/tmp/OrvelInstall/$n")"
done
for n in "${names[@]}"; do
  [ "$n" = 's;cd;>P' ] && continue
  check_eq "copied by the package list: $n" "$n" "$(sb_cat "$app/$n")"
done
check "t: touched" sb_test -f "$app/t$m" -a ! -s "$app/t$m"
check_eq "newdir: made, mode 700" 700 "$(il_mode "$app/n$m")"
check_eq "dir: copied" in "$(sb_cat "$app/d$m/f")"
check_eq "dirto: copied to the destination" in "$(sb_cat "$app/to$m/f")"
check_eq "link: made" "$app/x$m" "$(sb_sh 'readlink "$1"' "$app/l$m")"
check_eq "name: renamed" "s;cd;>P" "$(sb_cat "$app/r$m")"
check "name: the old name gone" sb_test ! -e "$app/s;cd;>P"
check_eq "mode of a name with both quotes" 640 "$(il_mode "$app/q\"uo'te")"
check_eq "nothing written outside the install's places" "" \
  "$(il_stray /opt/Orvel /var/sadm /var/spool/Orvel /usr/share/doc/orvel-vpxx /tmp)"

sb_finish
