#!/bin/bash
# Tests of the SVR4 packaging stand-ins, run against a private root (-R).
set -u
here=$(cd "$(dirname "$0")" && pwd)
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
failed=0
check() { local what=$1; shift; if ! "$@"; then echo "FAIL: $what"; failed=1; fi; }
R="$t/root"
mkdir -p "$R"

# A package with a directory, a relocatable file, an absolute file and a link.
p="$t/media/TLVNdemo"
mkdir -p "$p/reloc/demo/bin" "$p/root/usr/bin"
printf 'PKG=TLVNdemo\nNAME=Demo package\nVERSION=4.0\nCATEGORY=application\nBASEDIR=/opt/Orvel\n' >"$p/pkginfo"
echo "#!/bin/sh" >"$p/reloc/demo/bin/tool"
echo "absolute" >"$p/root/usr/bin/demo"
cat >"$p/pkgmap" <<'MAP'
: 1 10
1 d none demo 0755 root root
1 d none demo/bin 0750 root root
1 f none demo/bin/tool 0711 root root 10 100 1000
1 f none /usr/bin/demo 0644 root root 9 90 900
1 s none demo/current=bin
1 i pkginfo 100 200 300
1 x none
MAP

out=$("$here/pkgadd" -R "$R" -d "$t/media" TLVNdemo </dev/null 2>&1)
check "pkgadd succeeds" test $? -eq 0
check "pkgadd reports success" grep -q "was successful" <<<"$out"
check "relocatable file under BASEDIR" test -f "$R/opt/Orvel/demo/bin/tool"
check "its mode applied" test "$(stat -c %a "$R/opt/Orvel/demo/bin/tool")" = 711
check "directory mode applied" test "$(stat -c %a "$R/opt/Orvel/demo/bin")" = 750
check "absolute file under root/" test "$(cat "$R/usr/bin/demo")" = absolute
check "symbolic link made" test "$(readlink "$R/opt/Orvel/demo/current")" = bin
check "package recorded with its version" grep -q '^VERSION=4.0$' "$R/var/sadm/pkg/TLVNdemo/pkginfo"
check "paths recorded" grep -q '^/opt/Orvel/demo/bin/tool f none 0711 root root TLVNdemo$' "$R/var/sadm/install/contents"
check "short line skipped" test "$(grep -c '^/' "$R/var/sadm/install/contents")" -eq 5

# pkginfo lists it in columns; a named missing package fails.
line=$("$here/pkginfo" -R "$R")
check "pkginfo line" test "$(echo "$line" | awk '{print $1, $2, $3, $4}')" = "application TLVNdemo Demo package"
check "pkginfo of a missing package fails" sh -c "! '$here/pkginfo' -R '$R' TLVNnone 2>/dev/null"

# A missing package file makes pkgadd fail.
rm "$p/root/usr/bin/demo"
check "pkgadd fails when a file is missing" sh -c "! '$here/pkgadd' -R '$R' -d '$t/media' TLVNdemo </dev/null >/dev/null 2>&1"
check "pkgadd without pkgmap fails" sh -c "! '$here/pkgadd' -R '$R' -d '$t/media' TLVNnone </dev/null >/dev/null 2>&1"

# installf records (replacing an earlier record) and finalises.
echo new >"$R/opt/Orvel/demo/bin/extra"
chmod 600 "$R/opt/Orvel/demo/bin/extra"
"$here/installf" -R "$R" -c none TLVNdemo /opt/Orvel/demo/bin/extra f 0755 root root
check "installf records" grep -q '^/opt/Orvel/demo/bin/extra f none 0755 root root TLVNdemo$' "$R/var/sadm/install/contents"
"$here/installf" -R "$R" -c none TLVNdemo /opt/Orvel/demo/bin/extra f 0700 root root
check "installf replaces an earlier record" test "$(grep -c '^/opt/Orvel/demo/bin/extra ' "$R/var/sadm/install/contents")" -eq 1
rm -f "$R/usr/bin/demo"  # recorded by pkgadd, now missing
check "installf -f fails on a missing recorded path" sh -c "! '$here/installf' -R '$R' -f TLVNdemo 2>/dev/null"
check "installf -f applied the recorded mode" test "$(stat -c %a "$R/opt/Orvel/demo/bin/extra")" = 700
echo back >"$R/usr/bin/demo"
check "installf -f succeeds when all paths exist" "$here/installf" -R "$R" -f TLVNdemo
check "installf refuses a relative path" sh -c "! '$here/installf' -R '$R' TLVNdemo rel/x f 0644 root root 2>/dev/null"

[ $failed = 0 ] && echo "svr4 tools: all checks passed"
exit $failed
