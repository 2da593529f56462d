#!/bin/bash
# The sandbox itself: writes stay inside, sb_changes lists exactly what changed, fake commands
# shadow the real ones, sb_run's options work, teardown leaves nothing behind, and a host
# that refuses namespaces makes a scenario skip (77), never pass.
here=$(cd "$(dirname "$0")" && pwd)
. "${SOURCE_DIR:-$here/../..}/tests/e2e/sandbox.sh"
SANDBOX_SH=$here/sandbox.sh

# Host-side scratch space for this test (inputs, child scenarios, a file the sandbox removes).
HOSTTMP=$(mktemp -d "${TMPDIR:-/tmp}/sbself.XXXXXX")
VARDIR=$(mktemp -d /var/tmp/sbself.XXXXXX)
echo keep >"$VARDIR/a"
echo keep >"$VARDIR/b"
sb_atexit 'rm -rf "$HOSTTMP" "$VARDIR"'
# A process counts as ended once it is gone or a zombie (orphans wait for init to reap them).
running() { [ -n "$1" ] && [ -e "/proc/$1" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null; }

# The refusal path, in a child scenario with its own TMPDIR: 77, the message, nothing left.
mkdir "$HOSTTMP/refuse"
cat >"$HOSTTMP/refuse.sh" <<EOF
. "$SANDBOX_SH"
sb_start
echo "reached after sb_start"
sb_finish
EOF
SB_FORCE_REFUSE=1 TMPDIR=$HOSTTMP/refuse sh "$HOSTTMP/refuse.sh" >"$HOSTTMP/refuse.out" \
  2>"$HOSTTMP/refuse.err"
refuse_rc=$?

sb_start

check_eq "a refused namespace ends the scenario with 77" 77 "$refuse_rc"
check_contains "the refusal says SKIPPED with the reason" \
  "SKIPPED: cannot build the sandbox (namespaces or overlays refused): unshare: unshare failed: Operation not permitted" \
  "$(cat "$HOSTTMP/refuse.err")"
check_not_contains "a refused scenario does not go on" "reached" "$(cat "$HOSTTMP/refuse.out")"
check_eq "a refused scenario leaves no temporary directory" "" "$(ls -A "$HOSTTMP/refuse")"

# The baseline: what the helpers make is not reported as a change.
tag=sbt$$
host_uname=$(uname -r)
host_uname_sum=$(cksum </usr/bin/uname)
printf 'medium file\n' >"$HOSTTMP/file"
chmod 640 "$HOSTTMP/file"
mkdir -p "$HOSTTMP/tree/sub"
echo one >"$HOSTTMP/tree/sub/one"
sb_mkdir /opt/base_$tag
sb_put "$HOSTTMP/file" /medium/file
sb_put "$HOSTTMP/tree" /medium/tree
sb_fake_cmd /usr/bin/uname 'echo 5.8'
sb_fake_cmd /usr/sbin/pkgfake_$tag 'echo "fake $*"; exit 7'
sb_sh "echo base >/etc/base_$tag"
check_eq "helpers' own changes are the baseline" "" "$(sb_changes)"
check_eq "sb_put keeps the mode" "640" "$(sb_sh 'stat -c %a /medium/file')"
check_eq "sb_put copies a directory's contents" "one" "$(sb_cat /medium/tree/sub/one)"
check_eq "sb_sh output reaches the caller" "base" "$(sb_sh "cat /etc/base_$tag")"
check "sb_test sees a directory" sb_test -d /opt/base_$tag
check "sb_test fails for a missing path" eval "! sb_test -e /opt/nothing_$tag"
check "sb_cat fails for a missing file" eval "! sb_cat /opt/nothing_$tag 2>/dev/null"

# One run that writes everywhere, removes a host file and changes a host directory's mode.
sb_run -- /bin/sh -c "
  echo o >/opt/$tag && echo e >/etc/$tag && echo u >/usr/$tag && echo v >/var/$tag &&
  mkdir -p /export/opt/Orvel && echo x >/export/opt/Orvel/f && echo t >/tmp/$tag &&
  rm $VARDIR/a && echo changed >>$VARDIR/b && chmod 755 $VARDIR && echo more >>/medium/file &&
  rm /medium/tree/sub/one"
check_eq "the writing run succeeds" 0 "$SB_RC"
expected="/etc/$tag
/export
/export/opt
/export/opt/Orvel
/export/opt/Orvel/f
/medium/file
/medium/tree/sub/one
/opt/$tag
/tmp/$tag
/usr/$tag
/var/$tag
$VARDIR
$VARDIR/a
$VARDIR/b"
check_eq "sb_changes lists exactly the changed paths" "$(echo "$expected" | LC_ALL=C sort)" \
  "$(sb_changes)"
check_eq "the sandbox sees its own writes" "o e u v x t" \
  "$(sb_sh "cat /opt/$tag /etc/$tag /usr/$tag /var/$tag /export/opt/Orvel/f /tmp/$tag" | tr '\n' ' ' | sed 's/ $//')"
check "the sandbox sees the removal" eval "! sb_test -e $VARDIR/a"
for p in /opt/$tag /etc/$tag /usr/$tag /var/$tag /export/opt/Orvel /tmp/$tag /medium \
  /opt/base_$tag /etc/base_$tag /usr/sbin/pkgfake_$tag; do
  check "nothing reaches the host: $p" eval "[ ! -e $p ] && [ ! -L $p ]"
done
check "a file removed inside stays on the host" [ -f "$VARDIR/a" ]
check_eq "a host file changed inside is unchanged on the host" "keep" "$(cat "$VARDIR/b")"
check_eq "the sandbox sees the change" "keep
changed" "$(sb_cat "$VARDIR/b")"
check_eq "a mode changed inside stays on the host" 700 "$(stat -c %a "$VARDIR")"
check_eq "the host's uname is untouched" "$host_uname_sum" "$(cksum </usr/bin/uname)"
check_eq "the host's uname answers as before" "$host_uname" "$(uname -r)"

# Fake commands shadow the real ones, whatever the path used.
sb_run -- /bin/sh -c "uname -r; /bin/uname -r; /usr/bin/uname; command -v uname; pkgfake_$tag a b"
check_eq "fake commands shadow real ones" "5.8
5.8
5.8
/usr/bin/uname
fake a b" "$(cat "$SB/out")"
check_eq "the fake command's exit status comes through" 7 "$SB_RC"

# Output, error output and exit status.
sb_run -- /bin/sh -c 'echo out; echo err >&2; exit 3'
check_eq "sb_run status" 3 "$SB_RC"
check_eq "sb_run stdout" "out" "$(cat "$SB/out")"
check_eq "sb_run stderr" "err" "$(cat "$SB/err")"

# -i feeds standard input; without it standard input is empty.
printf 'yes\nsecond line\n' >"$HOSTTMP/answers"
sb_run -i "$HOSTTMP/answers" -- /bin/sh -c 'read a; read b; echo "[$a][$b]"'
check_eq "-i feeds standard input" "[yes][second line]" "$(cat "$SB/out")"
sb_run -- /bin/sh -c 'if read a; then echo "got $a"; else echo eof; fi'
check_eq "standard input is empty by default" "eof" "$(cat "$SB/out")"

# -e sets variables; nothing else of the scenario's environment gets in; -C sets the directory.
export SB_LEAK_$tag=leaked
sb_run -e LANG=fr_FR -e "FOO=a b" -C /opt -- /bin/sh -c \
  "echo \"\$LANG|\$FOO|\${SB_LEAK_$tag-unset}|\$HOME|\$(pwd)\""
check_eq "-e, clean environment, -C" "fr_FR|a b|unset|/root|/opt" "$(cat "$SB/out")"
sb_run -- /bin/sh -c 'id -u; echo "${LANG-nolang}"'
check_eq "runs as root without LANG by default" "0
nolang" "$(cat "$SB/out")"

# -u runs as an ordinary user, created in the sandbox only.
sb_run -u sbuser -- /bin/sh -c 'id -u; id -g; id -un; echo "$HOME $USER"; touch /tmp/by_user'
check_eq "-u runs as sbuser (uid 4242)" "4242
4242
sbuser
/tmp sbuser" "$(cat "$SB/out")"
check_eq "a file made by the user belongs to 4242" "4242" "$(sb_sh 'stat -c %u /tmp/by_user')"
sb_run -u sbuser -- /bin/sh -c "echo x >/etc/user_$tag"
check "an ordinary user cannot write /etc" [ "$SB_RC" != 0 ]
check "the user is not created on the host" eval "! grep -q '^sbuser:' /etc/passwd"
changes=$(sb_changes)
check_not_contains "the user's creation is baseline" "/etc/passwd" "$changes"
check_contains "later runs' changes are listed" "/tmp/by_user" "$changes"

# A baseline file that the run removes is a change.
sb_sh "echo gone >/opt/base_$tag/f"
check_not_contains "a new baseline file is not a change" "/opt/base_$tag/f" "$(sb_changes)"
sb_run -- /bin/rm /opt/base_$tag/f
check_contains "a removed baseline file is a change" "/opt/base_$tag/f" "$(sb_changes)"

# Teardown: a finished child scenario leaves no directory and no process; a child that fails
# exits 1; one killed outright is cleaned up by its holder.
mkdir "$HOSTTMP/child"
cat >"$HOSTTMP/finish.sh" <<EOF
. "$SANDBOX_SH"
sb_start
sb_run -- /bin/sh -c 'sleep 60 >/dev/null 2>&1 & echo "\$!"; echo started'
echo "\$SB \$SB_PID \$(head -n 1 "\$SB/out")" >"$HOSTTMP/finish.ids"
check_eq "\$1" "\$2" "\$(sed -n 2p "\$SB/out")"
sb_finish
EOF
TMPDIR=$HOSTTMP/child sh "$HOSTTMP/finish.sh" ok started >"$HOSTTMP/finish.out" 2>&1
check_eq "a passing child scenario exits 0" 0 "$?"
read -r child_sb child_pid child_sleep <"$HOSTTMP/finish.ids"
check "its temporary directory is gone" [ ! -e "$child_sb" ]
check "its holder is gone" eval "! running $child_pid"
check "a process it left running inside is gone" eval "[ -n '$child_sleep' ] && ! running $child_sleep"
TMPDIR=$HOSTTMP/child sh "$HOSTTMP/finish.sh" ok other >"$HOSTTMP/finish.out" 2>&1
check_eq "a failing child scenario exits 1" 1 "$?"
check_contains "and says what failed" "FAIL: ok" "$(cat "$HOSTTMP/finish.out")"
check_eq "and still leaves nothing" "" "$(ls -A "$HOSTTMP/child")"

cat >"$HOSTTMP/exit.sh" <<EOF
. "$SANDBOX_SH"
sb_start
exit 5
EOF
TMPDIR=$HOSTTMP/child sh "$HOSTTMP/exit.sh" >/dev/null 2>&1
check_eq "a scenario ending early keeps its status" 5 "$?"
check_eq "and leaves nothing" "" "$(ls -A "$HOSTTMP/child")"

cat >"$HOSTTMP/nofinish.sh" <<EOF
. "$SANDBOX_SH"
sb_start
check "one" true
EOF
TMPDIR=$HOSTTMP/child sh "$HOSTTMP/nofinish.sh" >"$HOSTTMP/nofinish.out" 2>&1
check_eq "a scenario without sb_finish fails" 1 "$?"

cat >"$HOSTTMP/killed.sh" <<EOF
. "$SANDBOX_SH"
sb_start
sb_sh 'echo x >/opt/killed'
echo "\$SB \$SB_PID" >"$HOSTTMP/killed.ids"
sleep 30 &
echo \$! >"$HOSTTMP/killed.sleep"
wait
EOF
TMPDIR=$HOSTTMP/child bash "$HOSTTMP/killed.sh" >/dev/null 2>&1 &
killed=$!
for _ in $(seq 1 100); do [ -s "$HOSTTMP/killed.sleep" ] && break; sleep 0.1; done
kill -9 "$killed"
wait "$killed" 2>/dev/null
kill "$(cat "$HOSTTMP/killed.sleep")" 2>/dev/null
read -r killed_sb killed_pid <"$HOSTTMP/killed.ids"
for _ in $(seq 1 50); do [ -e "$killed_sb" ] || break; sleep 0.1; done
for _ in $(seq 1 20); do running "$killed_pid" || break; sleep 0.1; done
check "a killed scenario's holder removes its directory" [ ! -e "$killed_sb" ]
check "a killed scenario's holder ends" eval "! running $killed_pid"
check "a killed scenario's writes never reached the host" [ ! -e /opt/killed ]

sb_finish
