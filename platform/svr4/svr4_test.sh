#!/bin/bash
# Tests of the SVR4 packaging stand-ins (the built pkgadd, pkginfo and installf, from
# $SVR4_BIN, default build/svr4), run against a private root (-R).
set -u
here=$(cd "$(dirname "$0")" && pwd)
bin=${SVR4_BIN:-$here/../../build/svr4}
for tool in pkgadd pkginfo installf; do
  [ -x "$bin/$tool" ] || { echo "FAIL: $bin/$tool is not built"; exit 1; }
done
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
failed=0
check() { local what=$1; shift; if ! "$@"; then echo "FAIL: $what"; failed=1; fi; }
check_eq() { # what expected actual
  [ "$2" == "$3" ] && return
  printf 'FAIL: %s\n  expected: %s\n  actual:   %s\n' "$1" "$(printf %s "$2" | sed -n l)" \
    "$(printf %s "$3" | sed -n l)"
  failed=1
}
umask 022
R="$t/root"
C="$R/var/sadm/install/contents"
mkdir -p "$R"
pkgadd() { "$bin/pkgadd" -R "$R" -d "$t/media" "$@" </dev/null; }
installf() { "$bin/installf" -R "$R" "$@"; }

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

out=$(pkgadd TLVNdemo 2>&1)
check "pkgadd succeeds" test $? -eq 0
check_eq "pkgadd's report" "Processing package instance <TLVNdemo> from <$t/media>
Demo package (4.0)
pkgadd: WARNING: short line for <> in pkgmap, skipped
Installing Demo package as <TLVNdemo>: 2 file(s)
Installation of <TLVNdemo> was successful." "$out"
check "relocatable file under BASEDIR" test -f "$R/opt/Orvel/demo/bin/tool"
check "its mode applied" test "$(stat -c %a "$R/opt/Orvel/demo/bin/tool")" = 711
check "directory mode applied" test "$(stat -c %a "$R/opt/Orvel/demo/bin")" = 750
check "absolute file under root/" test "$(cat "$R/usr/bin/demo")" = absolute
check "symbolic link made" test "$(readlink "$R/opt/Orvel/demo/current")" = bin
check "package information copied" cmp -s "$p/pkginfo" "$R/var/sadm/pkg/TLVNdemo/pkginfo"
records="/opt/Orvel/demo d none 0755 root root TLVNdemo
/opt/Orvel/demo/bin d none 0750 root root TLVNdemo
/opt/Orvel/demo/bin/tool f none 0711 root root TLVNdemo
/usr/bin/demo f none 0644 root root TLVNdemo
/opt/Orvel/demo/current s none - - - TLVNdemo"
check_eq "a record for every path, in map order" "$records" "$(cat "$C")"

# Installed again over itself, next to records of another package: each path keeps one
# record, the other package's lines stay as they were.
other="/etc/other f none 0644 root root TLVNother
  # a line that is not a record"
{ echo "$other"; cat "$C"; } >"$t/c" && mv "$t/c" "$C"
check "re-install succeeds" pkgadd TLVNdemo >/dev/null 2>&1
check_eq "re-install replaces the records" "$other
$records" "$(cat "$C")"

# pkginfo lists it in columns; a named missing package fails.
check_eq "pkginfo line" "application  TLVNdemo        Demo package" "$("$bin/pkginfo" -R "$R")"
check_eq "pkginfo of a missing package" 'ERROR: information for "TLVNnone" was not found 1' \
  "$("$bin/pkginfo" -R "$R" TLVNnone 2>&1) $?"

# Attributes: names and numbers, set-id bits kept through the change of owner, a "?" that
# keeps what the installed file had (or takes the source's mode less the umask), hard links,
# a link planted at a file's path replaced (not followed), "x" recorded as a directory, an
# unknown type skipped, and a last map line without its newline.
q="$t/media/TLVNattr"
mkdir -p "$q/reloc/a"
printf 'PKG=TLVNattr\nNAME=Attributes\nVERSION=1\nBASEDIR=/srv/\n' >"$q/pkginfo"
for f in named numeric setid kept new; do echo "$f" >"$q/reloc/a/$f"; done
chmod 777 "$q/reloc/a/new"
mkdir -p "$R/srv/a" && echo old >"$R/srv/a/kept" && chown daemon:bin "$R/srv/a/kept" &&
  chmod 604 "$R/srv/a/kept"
echo outside >"$t/outside" && ln -s "$t/outside" "$R/srv/a/named"
printf '%s\n' ': 1 1' '1 d none a 2750 bin daemon' '1 f none a/named 0640 daemon bin' \
  '1 f none a/numeric 0600 4242 4343' '1 f none a/setid 4755 bin bin' '1 f none a/kept ? ? ?' \
  '1 l none a/hard=a/named' '1 s none a/abs=/srv/a/named' '1 l none a/hard=a/named' \
  '1 f none a/new ? ? ?' '1 x none a/x 0700 root root' '1 b none a/dev 0600 root root' >"$q/pkgmap"
printf '1 s none a/last=named' >>"$q/pkgmap"
check_eq "pkgadd of TLVNattr warns of the unknown type only" \
  "pkgadd: WARNING: a/dev: file type <b> not supported, skipped 0" "$(pkgadd TLVNattr 2>&1 >/dev/null) $?"
check_eq "a planted link is replaced, its target untouched" "named outside" \
  "$(cat "$R/srv/a/named") $(cat "$t/outside")"
check_eq "x is recorded as a directory" "/srv/a/x d none 0700 root root TLVNattr" "$(grep '^/srv/a/x ' "$C")"
ub=$(id -u bin) ud=$(id -u daemon) gb=$(getent group bin | cut -d: -f3)
gd=$(getent group daemon | cut -d: -f3)
while read -r path want; do
  check_eq "attributes of $path" "$want" "$(stat -c '%a %u %g' "$R/srv/$path" 2>&1)"
done <<EOF
a 2750 $ub $gd
a/named 640 $ud $gb
a/numeric 600 4242 4343
a/setid 4755 $ub $gb
a/kept 604 $ud $gb
a/new 755 0 $gd
EOF
check_eq "a file with ? attributes gets the new content" "kept" "$(cat "$R/srv/a/kept")"
check "hard link shares the file" test "$R/srv/a/hard" -ef "$R/srv/a/named"
check_eq "absolute and last-line links" "/srv/a/named named" \
  "$(readlink "$R/srv/a/abs") $(readlink "$R/srv/a/last")"
check_eq "link records, a path listed twice recorded once, last" "/srv/a/abs s none - - - TLVNattr
/srv/a/hard l none - - - TLVNattr
/srv/a/last s none - - - TLVNattr" "$(grep '^/srv/a/[hal][a-z]* ' "$C")"

# A failing entry: the others are installed and recorded, the failed one is not, the run
# fails; a contents file that cannot be replaced stays exactly as it was.
rm "$p/root/usr/bin/demo"
sed -i 's/^1 d none demo 0755 root root$/1 d none demo 0755 nosuchuser root/' "$p/pkgmap"
before=$(cat "$C")
out=$(pkgadd TLVNdemo 2>&1)
check "pkgadd fails when a file is missing" test $? -eq 1
check_eq "what fails is reported" "pkgadd: ERROR: cannot make /opt/Orvel/demo
pkgadd: ERROR: $t/media/TLVNdemo/root/usr/bin/demo is missing from the package
pkgadd: WARNING: short line for <> in pkgmap, skipped
Installation of <TLVNdemo> failed." "$(grep -v '^[PD]' <<<"$out")"
check_eq "the failed entries keep their old records, the others are renewed" \
  "$(grep -v '^/opt/Orvel/demo/bin\|^/opt/Orvel/demo/current' <<<"$before")" \
  "$(grep -v '^/opt/Orvel/demo/bin\|^/opt/Orvel/demo/current' "$C")"
check_eq "the others are renewed, last" "/opt/Orvel/demo/bin d none 0750 root root TLVNdemo
/opt/Orvel/demo/bin/tool f none 0711 root root TLVNdemo
/opt/Orvel/demo/current s none - - - TLVNdemo" "$(tail -n 3 "$C")"
before=$(cat "$C")
mkdir -p "$C.tmp/busy"
out=$(pkgadd TLVNattr 2>&1 >/dev/null)
rc=$?
check_eq "pkgadd: a contents file that cannot be replaced" \
  "pkgadd: ERROR: cannot update $C 1" "$(grep -v WARNING <<<"$out") $rc"
check_eq "installf: a contents file that cannot be replaced" \
  "installf: ERROR: cannot update $C 1" "$(installf TLVNdemo /x f 0644 root root 2>&1) $?"
check_eq "the contents file is left intact" "$before" "$(cat "$C")"
rm -rf "$C.tmp"
check "pkgadd without pkgmap fails" sh -c "! '$bin/pkgadd' -R '$R' -d '$t/media' TLVNnone </dev/null >/dev/null 2>&1"

# A free path is made in place; anything found at a path is replaced through a copy: a
# dangling link planted at a new file's path (its target is never made), a read-only file. A
# file that cannot be written whole (the file size limit) is removed again, or the old file
# stays; no copy is left behind and the failed paths keep their records.
w="$t/media/TLVNnew"
mkdir -p "$w/reloc/n" "$R/new/n"
printf 'PKG=TLVNnew\nNAME=New\nVERSION=1\nBASEDIR=/new\n' >"$w/pkginfo"
for f in free planted ro; do echo "$f" >"$w/reloc/n/$f"; done
printf '1 f none n/%s\n' 'free 0640 root bin' 'planted 0644 root root' 'ro 0600 root root' >"$w/pkgmap"
ln -s "$t/through-link" "$R/new/n/planted" && echo old >"$R/new/n/ro" && chmod 444 "$R/new/n/ro"
check "pkgadd of TLVNnew" pkgadd TLVNnew >/dev/null 2>&1
check_eq "a free path, a planted link, a read-only file" "free 640 planted 644 ro 600 no" \
  "$(for f in free planted ro; do printf '%s %s ' "$(cat "$R/new/n/$f")" "$(stat -c %a "$R/new/n/$f")"; done
    ls "$t/through-link" 2>/dev/null || echo no)"
head -c 20000 /dev/zero | tr '\0' x | tee "$w/reloc/n/big" >"$w/reloc/n/ro"
printf '1 f none n/%s\n' 'big 0644 root root' 'ro 0644 root root' >"$w/pkgmap"
before=$(cat "$C")
out=$(trap '' XFSZ; ulimit -f 8; pkgadd TLVNnew 2>&1 >/dev/null)
check_eq "files that cannot be written whole" "pkgadd: ERROR: cannot install /new/n/big
pkgadd: ERROR: cannot install /new/n/ro
Installation of <TLVNnew> failed. 1" "$out $?"
check_eq "nothing half written stays" "free planted ro 600" \
  "$(ls -A "$R/new/n" | paste -sd' ') $(stat -c %a "$R/new/n/ro")"
check_eq "the contents file keeps the failed paths' records" "$before" "$(cat "$C")"
rm "$w/reloc/n/big" && mkfifo "$w/reloc/n/big"
out=$(timeout 10 "$bin/pkgadd" -R "$R" -d "$t/media" TLVNnew 2>&1 </dev/null)
rc=$?
check_eq "a FIFO in the package is refused, not waited on" \
  "pkgadd: ERROR: $w/reloc/n/big is missing from the package 1" "$(grep big <<<"$out") $rc"

# The base directory is asked for on a terminal.
out=$(printf '  /answer  \n' | script -qec "'$bin/pkgadd' -R '$R' -d '$t/media' TLVNattr" /dev/null)
check_eq "base directory question" "Enter path to package base directory [/srv/]: " \
  "$(grep -o 'Enter path[^:]*: ' <<<"$out")"
check "the answer is the base directory" test -f "$R/answer/a/named"

# installf records (replacing an earlier record) and finalises.
echo new >"$R/opt/Orvel/demo/bin/extra"
chmod 600 "$R/opt/Orvel/demo/bin/extra"
installf -c none TLVNdemo /opt/Orvel/demo/bin/extra f 0755 root root
check "installf records" grep -q '^/opt/Orvel/demo/bin/extra f none 0755 root root TLVNdemo$' "$C"
installf TLVNdemo /opt/Orvel/demo/bin/extra f 0700 daemon bin
check_eq "installf replaces an earlier record, class none by default" \
  "/opt/Orvel/demo/bin/extra f none 0700 daemon bin TLVNdemo" "$(grep '/extra ' "$C")"
check_eq "installf appends the new record last" "/opt/Orvel/demo/bin/extra" "$(tail -n 1 "$C" | cut -d' ' -f1)"
# Recording again what is already the path's one record leaves the file as it is (the same
# inode: not rewritten); a second record of the path, or the same fields spaced otherwise,
# is still made one record.
ino=$(stat -c %i "$C")
installf TLVNdemo /opt/Orvel/demo/bin/tool f 0711 root root
check_eq "an unchanged record: the file is not rewritten" "$ino" "$(stat -c %i "$C")"
check_eq "an unchanged record stays where it was" 1 \
  "$(grep -c '^/opt/Orvel/demo/bin/tool f none 0711 root root TLVNdemo$' "$C")"
{ sed 's|^/opt/Orvel/demo d |/opt/Orvel/demo  d |' "$C"
  echo "/opt/Orvel/demo/bin/tool f none 0711 root root TLVNdemo"; } >"$t/c" && cp "$t/c" "$C"
installf TLVNdemo /opt/Orvel/demo/bin/tool f 0711 root root
installf TLVNdemo /opt/Orvel/demo d 0755 root root
check_eq "a path recorded twice, or spaced otherwise, keeps one record" \
  "/opt/Orvel/demo d none 0755 root root TLVNdemo|/opt/Orvel/demo/bin/tool f none 0711 root root TLVNdemo" \
  "$(grep '^/opt/Orvel/demo \|^/opt/Orvel/demo/bin/tool ' "$C" | sort | paste -sd'|')"
rm -f "$R/usr/bin/demo" # recorded by pkgadd, now missing
check_eq "installf -f fails on a missing recorded path" \
  "installf: ERROR: /usr/bin/demo is recorded but missing 1" "$(installf -f TLVNdemo 2>&1) $?"
check_eq "installf -f applied the recorded attributes" "700 daemon bin" \
  "$(stat -c '%a %U %G' "$R/opt/Orvel/demo/bin/extra")"
echo back >"$R/usr/bin/demo"
chmod 666 "$R/srv/a/named"
check "installf -f succeeds when all paths exist" installf -f TLVNdemo
check_eq "installf -f leaves other packages alone" 666 "$(stat -c %a "$R/srv/a/named")"

# The contents file keeps its mode, gets a newline after a last line that had none, and loses
# no record when writers run side by side.
chmod 640 "$C" && printf '%s' "$(cat "$C")" >"$C.new" && mv "$C.new" "$C" && chmod 640 "$C"
last=$(tail -n 1 "$C")
installf TLVNdemo /conc/0 f 0644 root root
check_eq "the contents file keeps its mode" 640 "$(stat -c %a "$C")"
check_eq "a last line without its newline is kept" "$last
/conc/0 f none 0644 root root TLVNdemo" "$(tail -n 2 "$C")"
for w in a b c; do
  (for i in $(seq 1 15); do installf TLVNdemo "/conc/$w$i" f 0644 root root; done) &
done
wait
check_eq "writers side by side lose no record" 46 "$(grep -c '^/conc/' "$C")"

# installf looks at the lines of its path only: paths that begin with it, or the path in a
# later field, leave its unchanged record as it is (the file is not rewritten); a second line
# of the path (also an indented one), a tab after it or a changed field make one record of it.
F="$t/fp" FC="$t/fp/var/sadm/install/contents" rec="/p f none 0644 root root P"
mkdir -p "$F/var/sadm/install"
while IFS='|' read -r what lines want; do
  printf "$lines" >"$FC"
  ino=$(stat -c %i "$FC")
  "$bin/installf" -R "$F" P /p f 0644 root root
  got="rewritten $(grep -c '^[[:blank:]]*/p[[:blank:]]' "$FC") $(tail -n 1 "$FC")"
  [ "$(stat -c %i "$FC")" = "$ino" ] && got=kept
  check_eq "installf: $what" "$want" "$got"
done <<EOF
the path's one record among others|/p2 $rec\n/p/q d none 0755 root root P\n$rec\n/z f none 0644 root root /p\n|kept
a last line without its newline|$rec|kept
a second, indented line|$rec\n  $rec\n|rewritten 1 $rec
a tab after the path|/p\tf none 0644 root root P\n|rewritten 1 $rec
a changed mode|/p f none 0600 root root P\n/q d none 0755 root root Q\n|rewritten 1 $rec
EOF

# pkginfo: every package with information, sorted by name, the category defaulted, quotes
# around a value dropped, the first of two lines taken; with names, those in their order.
P="$t/pk"
mkdir -p "$P/var/sadm/pkg/"{B,a,Cq,.hidden,empty}
printf 'PKG=B\nNAME=Bee\nCATEGORY=system\n' >"$P/var/sadm/pkg/B/pkginfo"
printf 'NAME="Quoted name"\n' >"$P/var/sadm/pkg/Cq/pkginfo"
printf 'PKG=a\nNAME=first\nNAME=second\n' >"$P/var/sadm/pkg/a/pkginfo"
printf 'PKG=hidden\n' >"$P/var/sadm/pkg/.hidden/pkginfo"
check_eq "pkginfo lists every package" "system       B               Bee
application  Cq              Quoted name
application  a               first" "$("$bin/pkginfo" -R "$P")"
check_eq "pkginfo of named packages" "application  a               first
ERROR: information for \"empty\" was not found
system       B               Bee 1" "$("$bin/pkginfo" -R "$P" a empty B 2>&1) $?"

# Refusals and usage: message and status. Every call names the private root: a tool that
# failed to refuse must not write into the host's.
while IFS='|' read -r what want; do
  # shellcheck disable=SC2086
  check_eq "$what" "$want" "$(eval "$what" 2>&1 </dev/null) $?"
done <<EOF
installf TLVNdemo rel/x f 0644 root root|installf: ERROR: rel/x: the path must be absolute 1
installf TLVNdemo /x q 0644 root root|installf: ERROR: /x: file type <q> not supported 1
installf -c '' TLVNdemo /x f 0644 root root|installf: ERROR: <> cannot be recorded: blank or empty 1
installf 'TLVN demo' /x f 0644 root root|installf: ERROR: <TLVN demo> cannot be recorded: blank or empty 1
installf TLVNdemo /x f|installf: ERROR: usage: installf [-c class] pkginst path type mode owner group 1
installf -f|installf: ERROR: usage: installf -f pkginst 1
"$bin/pkgadd" -R "$R" -d "$t/media"|pkgadd: ERROR: usage: pkgadd [-R root] -d device pkginst 1
pkgadd ../media/TLVNdemo|pkgadd: ERROR: invalid package instance <../media/TLVNdemo> 1
EOF
out=$("$bin/pkginfo" -x 2>&1)
rc=$?
check_eq "pkginfo: a bad option" "usage: pkginfo [-R root] [pkginst...] 2" "$(tail -n 1 <<<"$out") $rc"
sed -i 's/^BASEDIR=.*/BASEDIR=opt/' "$q/pkginfo"
check_eq "a relative base directory is refused" \
  "pkgadd: ERROR: base directory <opt> must be an absolute path 1" \
  "$(pkgadd -n -a admin -v TLVNattr 2>&1 >/dev/null) $?"

[ $failed = 0 ] && echo "svr4 tools: all checks passed"
exit $failed
