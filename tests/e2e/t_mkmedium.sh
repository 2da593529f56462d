#!/bin/bash
# tools/mkmedium builds media whose pieces, joined in list order, give back the package tree.
set -u
src=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
mk="$src/tools/mkmedium"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
failed=0
check() { local what=$1; shift; if ! "$@"; then echo "FAIL: $what"; failed=1; fi; }

mkdir -p "$t/tree/TLVNvpxx/reloc/vpxx/bin" "$t/tree/TLVNvpxx/root/usr/bin"
head -c 30000 /dev/urandom >"$t/tree/TLVNvpxx/reloc/vpxx/bin/vprint"
echo "PKG=TLVNvpxx" >"$t/tree/TLVNvpxx/pkginfo"
echo "c readme" >"$t/tree/pkg.list"
echo "notes" >"$t/readme"
printf '#!/bin/sh\necho fake\n' >"$t/setup"

# Joins the pieces in the order of the list's first line and lists the archive.
join_list() { # medium listname
  local m=$1 l=$2 n
  for n in $(head -n 1 "$m/$l"); do
    case $n in pkg_tar.* | PKG_TAR.*) cat "$m/$(echo "$n" | { [ "$l" = DISKS ] && tr a-z A-Z || cat; })" ;; esac
  done | uncompress -c | tar tf - | sort
}
expected=$(cd "$t/tree" && find . -mindepth 1 | sed 's|^\./||; s|$||' | while read -r p; do
  if [ -d "$t/tree/$p" ]; then echo "$p/"; else echo "$p"; fi
done | sort)

# Plain medium.
"$mk" -s "$t/setup" -b 4000 -x "$t/readme" "$t/tree" "$t/m1" >/dev/null
check "plain: list names itself, pieces and the extra file, then end_of_list" \
  test "$(head -n 1 "$t/m1/disks" | cut -d' ' -f1)" = disks
check "plain: extra file listed" grep -q ' readme$' "$t/m1/disks"
check "plain: second line end_of_list" test "$(sed -n 2p "$t/m1/disks")" = end_of_list
check "plain: several pieces" test "$(ls "$t/m1" | grep -c '^pkg_tar\.')" -ge 3
check "plain: joined pieces give the tree" test "$(join_list "$t/m1" disks)" = "$expected"
check "plain: setup copied and executable" test -x "$t/m1/setup"
check "plain: isize numeric" grep -Eq '^[0-9]+$' "$t/m1/isize"
check "plain: tsize at least isize" test "$(cat "$t/m1/tsize")" -ge "$(cat "$t/m1/isize")"
check "plain: readme copied" cmp -s "$t/readme" "$t/m1/readme"

# Reverse order: list order restores the archive, name order does not.
"$mk" -s "$t/setup" -b 4000 -r "$t/tree" "$t/m2" >/dev/null
first=$(head -n 1 "$t/m2/disks" | cut -d' ' -f2)
check "reverse: first listed piece is the last name" test "$first" = "$(ls "$t/m2" | grep '^pkg_tar\.' | tail -n 1)"
check "reverse: list order gives the tree" test "$(join_list "$t/m2" disks)" = "$expected"
check "reverse: name order does not" sh -c "cat '$t'/m2/pkg_tar.* | uncompress -c 2>/dev/null | tar tf - >/dev/null 2>&1; [ \$? -ne 0 ]"

# Upper-case medium, list without its own name, notes, fixed sizes.
"$mk" -s "$t/setup" -b 4000 -U -n -N "see the readme" -I 1000 -T 2000 "$t/tree" "$t/m3" >/dev/null
check "upper: DISKS, no disks" test -f "$t/m3/DISKS" -a ! -e "$t/m3/disks"
check "upper: pieces upper-cased" test -f "$t/m3/PKG_TAR.AA"
check "upper: list written in lower case, without its own name" \
  test "$(head -n 1 "$t/m3/DISKS" | cut -d' ' -f1)" = pkg_tar.aa
check "upper: notes after end_of_list" test "$(sed -n 3p "$t/m3/DISKS")" = "see the readme"
check "upper: joined gives the tree" test "$(join_list "$t/m3" DISKS)" = "$expected"
check "sizes as given" test "$(cat "$t/m3/isize") $(cat "$t/m3/tsize")" = "1000 2000"

# No size files; a non-empty medium is refused.
"$mk" -s "$t/setup" -S "$t/tree" "$t/m4" >/dev/null
check "no size files" test ! -e "$t/m4/isize" -a ! -e "$t/m4/tsize"
check "non-empty medium refused" sh -c "! '$mk' -s '$t/setup' '$t/tree' '$t/m4' 2>/dev/null"

[ $failed = 0 ] && echo "mkmedium: all checks passed"
exit $failed
