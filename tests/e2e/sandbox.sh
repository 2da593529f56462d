# Sandbox for the end-to-end scenarios: runs programs as root in a private copy of the host
# that writes nothing back, and tells exactly what they changed.
#
#   . "$SOURCE_DIR/tests/e2e/sandbox.sh"   (re-executes the scenario under bash when sourced
#                                            from another shell; CTest starts scenarios with sh)
#   sb_start                       build the sandbox, set SB (the scenario's temporary directory);
#                                  exits 77 with "SKIPPED: <reason>" on stderr when namespaces or
#                                  overlays are refused (SB_FORCE_REFUSE=1 forces that path)
#   sb_fake_cmd PATH BODY          write "#!/bin/sh" + BODY as executable PATH inside
#   sb_put HOSTPATH PATH [MODE]    copy a host file (mode kept unless MODE) or a directory's
#                                  contents (into PATH) into the sandbox, owned by root
#   sb_svr4 [TOOL...]              the SVR4 stand-ins built in $BUILD_DIR/svr4 (default: all three,
#                                  pkgadd pkginfo installf) into /usr/sbin inside; a tool that is
#                                  not built fails the scenario
#   sb_mkdir PATH...               mkdir -p inside
#   sb_sh 'LINE' [ARG...]          sh -c LINE inside as root (stdin/stdout pass through)
#   sb_run [-u USER] [-i FILE] [-e VAR=VALUE]... [-C DIR] [--] CMD [ARG...]
#                                  run CMD inside with a clean environment (PATH, HOME, USER,
#                                  LOGNAME, plus -e); stdout to $SB/out, stderr to $SB/err,
#                                  status in SB_RC (also returned); stdin from host FILE
#                                  (default /dev/null); -u runs as an ordinary user, created on
#                                  demand in the sandbox's /etc/passwd from uid 4242 up ("sbuser"
#                                  gets 4242); -C sets the working directory (default /);
#                                  killed after SB_TIMEOUT seconds (default 60, SB_RC 124)
#   sb_cat PATH                    print a file as seen inside
#   sb_test ARG...                 test(1) inside; returns its status
#   sb_changes                     paths changed compared with the host, sorted, one per line:
#                                  new, modified or removed files and links, new directories,
#                                  directories whose mode or owner changed; everything in /tmp.
#                                  What sb_put/sb_mkdir/sb_sh/sb_fake_cmd (and the user creation
#                                  of sb_run -u) changed is the baseline and is not listed,
#                                  unless something changed it again afterwards
#   check WHAT CMD [ARG...]        run CMD; failure prints "FAIL: WHAT" and fails the scenario
#   check_eq WHAT EXPECTED ACTUAL
#   check_contains WHAT NEEDLE HAYSTACK
#   check_not_contains WHAT NEEDLE HAYSTACK
#   sb_skip REASON                 end the scenario as skipped (77), or failed when a check failed
#   sb_atexit 'CMD'                host-side clean-up run at teardown, however the scenario ends
#   sb_finish                      tear down; exit 0 if every check passed (at least one ran),
#                                  else 1 after showing the last run's output and /tmp/setup.log
#
# Inside (root on the host): an overlay of / itself (so new top-level directories stay
# inside), overlays on /opt, /var, /etc and /usr, a fresh tmpfs on /tmp, /dev and /proc bound
# in, entered with chroot. Not root: a user namespace mapping only root; / is a tmpfs with an
# overlay on each top-level directory the kernel lets us overlay (the others stay empty); as
# the host's root-owned directories cannot be copied up there, sb_start skips (77) unless a
# probe write into /usr/bin works, and sb_run -u always skips. Every upper directory lives
# under $SB. A holder process keeps the mount namespace (and the /tmp tmpfs) alive until
# sb_finish; it also ends, and cleans up, by itself when the scenario dies. Teardown runs on
# every exit (trap EXIT); scenarios may run side by side. SB_KEEP=1 keeps $SB for inspection.

if [ -z "${BASH_VERSION:-}" ]; then exec bash "$0" "$@"; fi

SB=
SB_PID=
SB_RC=
SB_USERNS=0
SB_CHECKS=0
SB_FAILS=0
SB_FINISHED=0
SB_LASTCMD=
SB_ATEXIT=
SB_TIMEOUT=${SB_TIMEOUT:-60}
SB_PATH_INSIDE=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

# Runs in the new mount namespace as (namespace) root: builds $SB/root, records the overlays
# for sb_changes in $SB/overlays, then waits until sb_finish or the scenario's death.
# Arguments: SB, USERNS (0/1), PID of the scenario.
SB_HOLDER_SCRIPT='
SB=$1 USERNS=$2 TPID=$3 R=$1/root
ov() { # name lowerdir mountpoint comparedir prefix
  mkdir -p "$SB/u/$1" "$SB/w/$1" || return 1
  mount -t overlay "sb-$1" -o "${XOPT}lowerdir=$2,upperdir=$SB/u/$1,workdir=$SB/w/$1" "$3" ||
    return 1
  printf "%s\t%s\t%s\t%s\n" "$SB/u/$1" "$4" "$3" "$5" >>"$SB/overlays"
}
set -e
: >"$SB/overlays"
: >"$SB/skel"
if [ "$USERNS" = 0 ]; then
  XOPT=
  # The overlay of / sees the root file system only; a read-only twin of it (the empty tmpfs
  # keeps the two lower layers apart) serves sb_changes as "the host before".
  mount -t tmpfs -o mode=755 sb-scratch "$SB/m"
  mkdir "$SB/m/empty" "$SB/m/lower"
  mount -t overlay sb-lower -o "ro,lowerdir=/:$SB/m/empty" "$SB/m/lower"
  ov root / "$R" "$SB/m/lower" ""
  for d in opt var etc usr; do
    if [ -d "/$d" ] && [ ! -L "/$d" ]; then ov "$d" "/$d" "$R/$d" "/$d" "/$d"; fi
  done
else
  XOPT=userxattr,
  mount -t tmpfs -o mode=755 sb-root "$R"
  for e in /* /.[!.]*; do
    [ -e "$e" ] || [ -L "$e" ] || continue
    n=${e#/}
    if [ -L "$e" ]; then
      ln -s "$(readlink "$e")" "$R/$n"
    elif [ -d "$e" ]; then
      mkdir "$R/$n"
      case $n in
        tmp | dev | proc | sys) ;;
        *) ov "$n" "$e" "$R/$n" "$e" "$e" || true ;;
      esac
    else
      continue
    fi
    echo "$n" >>"$SB/skel"
  done
fi
mkdir -p "$R/tmp" "$R/dev" "$R/proc"
mount -t tmpfs -o mode=1777 sb-tmp "$R/tmp"
mount --rbind /dev "$R/dev"
mount --rbind /proc "$R/proc"
set +e
: >"$SB/ready"
while [ ! -e "$SB/stop" ] && kill -0 "$TPID" 2>/dev/null; do sleep 0.2; done
# Whatever still runs inside goes with the sandbox.
me=$(readlink /proc/$$/ns/mnt)
for p in $(ls -l /proc/[0-9]*/ns/mnt 2>/dev/null |
  awk -v me="$me" -v self=$$ '\''$NF == me { split($(NF - 2), f, "/"); if (f[3] != self) print f[3] }'\''); do
  kill -9 "$p" 2>/dev/null
done
if [ ! -e "$SB/stop" ]; then
  # The scenario died without its teardown: unmount, and remove $SB once nothing is
  # mounted below it any more.
  umount -R -l "$R" 2>/dev/null
  umount -R -l "$SB/m" 2>/dev/null
  if ! grep -qF " $SB/" /proc/self/mountinfo; then rm -rf --one-file-system "$SB"; fi
fi
'

# Runs in the namespace as root, without chroot: prints "PATH<TAB>SIGNATURE" for every path
# that differs from the host (SIGNATURE "gone" for removed paths). Argument: SB.
SB_SNAPSHOT_SCRIPT='
SB=$1 R=$1/root
export LC_ALL=C
t1=$SB/m.snap1 t2=$SB/m.snap2
tab=$(printf "\t")
while IFS=$tab read -r upper lower merged prefix; do
  (cd "$upper" && find . -mindepth 1 -printf "%y\t%m\t%U\t%G\t%s\t%T@\t%P\t%l\n") |
    while IFS=$tab read -r y m u g s t p l; do
      path=$prefix/$p
      case $y in
        d)
          if [ -d "$lower/$p" ] && [ ! -L "$lower/$p" ]; then
            [ "$(stat -c "%a %u %g" "$lower/$p")" = "$m $u $g" ] ||
              printf "%s\td %s %s %s\n" "$path" "$m" "$u" "$g"
            # Removed entries of a directory the lower layer has (whiteouts, opaque dirs).
            ls -A "$lower/$p" >"$t1" 2>/dev/null
            ls -A "$merged/$p" >"$t2" 2>/dev/null
            comm -23 "$t1" "$t2" | while IFS= read -r n; do printf "%s\tgone\n" "$path/$n"; done
          else
            printf "%s\td %s %s %s\n" "$path" "$m" "$u" "$g"
          fi
          ;;
        c)
          if [ -e "$merged/$p" ] || [ -L "$merged/$p" ]; then
            printf "%s\tc %s %s %s %s\n" "$path" "$m" "$u" "$g" "$t"
          else
            printf "%s\tgone\n" "$path"
          fi
          ;;
        *) printf "%s\t%s %s %s %s %s %s %s\n" "$path" "$y" "$m" "$u" "$g" "$s" "$t" "$l" ;;
      esac
    done
done <"$SB/overlays"
tmpfs_tree() { # directory, prefix: everything below is new
  (cd "$1" && find . -mindepth 1 -printf "%y\t%m\t%U\t%G\t%s\t%T@\t%P\t%l\n") |
    while IFS=$tab read -r y m u g s t p l; do
      case $y in
        d) printf "%s\td %s %s %s\n" "$2/$p" "$m" "$u" "$g" ;;
        *) printf "%s\t%s %s %s %s %s %s %s\n" "$2/$p" "$y" "$m" "$u" "$g" "$s" "$t" "$l" ;;
      esac
    done
}
tmpfs_tree "$R/tmp" /tmp
if [ -s "$SB/skel" ]; then
  # Root tmpfs (no overlay of /): entries that are not part of the copied skeleton.
  ls -A "$R" | while IFS= read -r n; do
    grep -qxF "$n" "$SB/skel" && continue
    (cd "$R" && find "$n" -printf "%y\t%m\t%U\t%G\t%s\t%T@\t%p\t%l\n") |
      while IFS=$tab read -r y m u g s t p l; do
        case $y in
          d) printf "/%s\td %s %s %s\n" "$p" "$m" "$u" "$g" ;;
          *) printf "/%s\t%s %s %s %s %s %s %s\n" "$p" "$y" "$m" "$u" "$g" "$s" "$t" "$l" ;;
        esac
      done
  done
  while IFS= read -r n; do
    [ -e "$R/$n" ] || [ -L "$R/$n" ] || printf "/%s\tgone\n" "$n"
  done <"$SB/skel"
fi
rm -f "$t1" "$t2"
'

sb__say() { printf 'sandbox: %s\n' "$*" >&2; }

# Runs a command in the sandbox's mount namespace (host paths, namespace root).
sb__ns() {
  if [ "$SB_USERNS" = 1 ]; then
    nsenter -t "$SB_PID" -U --preserve-credentials -m -- "$@"
  else
    nsenter -t "$SB_PID" -m -- "$@"
  fi
}

# Runs a shell line inside the sandbox as root, with a clean environment.
sb__in_sh() {
  local line=$1
  shift
  sb__ns chroot "$SB/root" /usr/bin/env -i PATH="$SB_PATH_INSIDE" HOME=/root LC_ALL=C \
    /bin/sh -c "$line" sb "$@"
}

sb__need_started() {
  if [ -z "$SB_PID" ]; then
    sb__say "$1 called before sb_start"
    return 1
  fi
}

sb__snapshot() { sb__ns /bin/sh -c "$SB_SNAPSHOT_SCRIPT" snap "$SB" | LC_ALL=C sort -u; }

sb__track_begin() { sb__snapshot >"$SB/snap.before"; }

# Adds what changed since sb__track_begin to the baseline ("-" = as on the host).
sb__track_end() {
  sb__snapshot >"$SB/snap.after"
  awk -F'\t' -v OFS='\t' '
    FILENAME == ARGV[1] { base[$1] = $2; next }
    FILENAME == ARGV[2] { before[$1] = $2; next }
    { after[$1] = $2 }
    END {
      for (p in before) if (!(p in after)) base[p] = "-"
      for (p in after) if (!(p in before) || before[p] != after[p]) base[p] = after[p]
      for (p in base) print p, base[p]
    }' "$SB/baseline" "$SB/snap.before" "$SB/snap.after" >"$SB/baseline.new" &&
    mv "$SB/baseline.new" "$SB/baseline"
}

sb__cleanup_dir() {
  [ -n "$SB" ] && [ -d "$SB" ] || return 0
  if [ -n "${SB_KEEP:-}" ]; then
    sb__say "kept $SB"
    return 0
  fi
  # Nothing is mounted below $SB in this namespace; check before removing anyway.
  if grep -qF " $SB/" /proc/self/mountinfo; then
    sb__say "something is still mounted below $SB; left in place"
    return 1
  fi
  chmod -R u+rwx "$SB" 2>/dev/null
  rm -rf --one-file-system "$SB"
}

sb__teardown() {
  if [ -n "$SB_PID" ]; then
    : >"$SB/stop" 2>/dev/null
    local i
    for i in $(seq 1 50); do
      kill -0 "$SB_PID" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$SB_PID" 2>/dev/null; then
      sb__say "holder $SB_PID did not stop; killing it"
      kill -9 "$SB_PID" 2>/dev/null
    fi
    wait "$SB_PID" 2>/dev/null
    SB_PID=
  fi
  sb__cleanup_dir
  SB=
  if [ -n "$SB_ATEXIT" ]; then
    local hooks=$SB_ATEXIT
    SB_ATEXIT=
    eval "$hooks"
  fi
}

sb_atexit() {
  SB_ATEXIT="${SB_ATEXIT}$1
"
}

sb__on_exit() {
  local rc=$?
  if [ "$SB_FINISHED" = 0 ] && [ "$rc" = 0 ]; then
    echo "FAIL: the scenario ended without sb_finish" >&2
    rc=1
  fi
  sb__teardown
  exit "$rc"
}

sb_skip() {
  echo "SKIPPED: $*" >&2
  SB_FINISHED=1
  if [ "$SB_FAILS" -gt 0 ]; then
    echo "$SB_FAILS of $SB_CHECKS checks failed before the skip" >&2
    exit 1
  fi
  exit 77
}

sb_start() {
  trap sb__on_exit EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  local tool
  for tool in unshare nsenter chroot mount timeout; do
    command -v "$tool" >/dev/null || sb_skip "no $tool on this host: cannot build the sandbox"
  done
  SB=$(mktemp -d "${TMPDIR:-/tmp}/sb.XXXXXX") || sb_skip "cannot make a temporary directory"
  mkdir -p "$SB/u" "$SB/w" "$SB/root" "$SB/m" || sb_skip "cannot prepare $SB"
  : >"$SB/baseline"
  local -a ns=(unshare --mount --propagation private)
  if [ "$(id -u)" != 0 ]; then
    SB_USERNS=1
    ns=(unshare --user --map-root-user --mount --propagation private)
  fi
  if [ -n "${SB_FORCE_REFUSE:-}" ]; then
    # Stands in for a host that forbids namespaces, with unshare's own wording.
    ns=(sh -c 'echo "unshare: unshare failed: Operation not permitted (SB_FORCE_REFUSE)" >&2
               exit 1' refuse)
  fi
  "${ns[@]}" /bin/sh -c "$SB_HOLDER_SCRIPT" sb-holder "$SB" "$SB_USERNS" "$$" \
    </dev/null >"$SB/holder.log" 2>&1 &
  SB_PID=$!
  local i
  for i in $(seq 1 200); do
    [ -e "$SB/ready" ] && break
    kill -0 "$SB_PID" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -e "$SB/ready" ]; then
    local why
    why=$(tr '\n' ' ' <"$SB/holder.log" 2>/dev/null | cut -c1-300)
    kill -9 "$SB_PID" 2>/dev/null
    wait "$SB_PID" 2>/dev/null
    SB_PID=
    sb_skip "cannot build the sandbox (namespaces or overlays refused): ${why:-no reason given}"
  fi
  if [ "$SB_USERNS" = 1 ] &&
    ! sb__in_sh 'p=/usr/bin/.sb_probe_$$; : >"$p" && rm -f "$p"' 2>/dev/null; then
    # Only root is mapped: files of the host's real root cannot be copied up, so nothing
    # below a top-level directory could be changed.
    sb_skip "without root the sandbox cannot change directories owned by the host's root" \
      "(only one user is mapped in the user namespace); run the scenarios as root"
  fi
}

sb_fake_cmd() {
  sb__need_started sb_fake_cmd || return 1
  local path=$1 body=$2 rc
  sb__track_begin
  printf '#!/bin/sh\n%s\n' "$body" |
    sb__in_sh 'mkdir -p "$(dirname "$1")" && rm -f "$1" && cat >"$1" && chmod 755 "$1"' "$path"
  rc=$?
  sb__track_end
  [ "$rc" = 0 ] || sb__say "sb_fake_cmd $path failed"
  return "$rc"
}

sb_put() {
  sb__need_started sb_put || return 1
  local src=$1 dst=$2 mode=${3:-} rc
  if [ ! -e "$src" ]; then
    sb__say "sb_put: no such host file: '$src'"
    return 1
  fi
  sb__track_begin
  if [ -d "$src" ]; then
    tar -C "$src" -cf - . |
      sb__in_sh 'mkdir -p "$1" && tar -xpf - --no-same-owner -C "$1"' "$dst"
    rc=$?
  else
    [ -n "$mode" ] || mode=$(stat -c %a "$src")
    sb__in_sh 'mkdir -p "$(dirname "$1")" && rm -f "$1" && cat >"$1" && chmod "$2" "$1"' \
      "$dst" "$mode" <"$src"
    rc=$?
  fi
  sb__track_end
  [ "$rc" = 0 ] || sb__say "sb_put $src $dst failed"
  return "$rc"
}

sb_svr4() {
  local dir=${BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build}/svr4 t
  [ $# -gt 0 ] || set -- pkgadd pkginfo installf
  for t in "$@"; do
    if [ ! -x "$dir/$t" ]; then
      echo "FAIL: $dir/$t is not built (cmake --build <build> --target $t)"
      exit 1
    fi
    sb_put "$dir/$t" "/usr/sbin/$t" 755 || return 1
  done
}

sb_mkdir() {
  sb__need_started sb_mkdir || return 1
  local rc
  sb__track_begin
  sb__in_sh 'mkdir -p "$@"' "$@"
  rc=$?
  sb__track_end
  return "$rc"
}

sb_sh() {
  sb__need_started sb_sh || return 1
  local rc
  sb__track_begin
  sb__in_sh "$@"
  rc=$?
  sb__track_end
  return "$rc"
}

sb_cat() {
  sb__need_started sb_cat || return 1
  sb__in_sh 'cat -- "$1"' "$1"
}

sb_test() {
  sb__need_started sb_test || return 1
  sb__in_sh 'test "$@"' "$@"
}

# Prints "uid gid home" of USER inside, creating the user (from uid 4242 up) when missing.
sb__user() {
  local name=$1 line
  case $name in
    '' | *[!A-Za-z0-9_.-]*)
      sb__say "sb_run -u: bad user name '$name'"
      return 1
      ;;
  esac
  if ! sb__in_sh 'grep -q "^$1:" /etc/passwd' "$name"; then
    sb__track_begin
    sb__in_sh 'uid=4242
      while cut -d: -f3 /etc/passwd | grep -qx "$uid" ||
            cut -d: -f3 /etc/group | grep -qx "$uid"; do uid=$((uid + 1)); done
      echo "$1:x:$uid:$uid:sandbox user:/tmp:/bin/sh" >>/etc/passwd &&
      echo "$1:x:$uid:" >>/etc/group' "$name"
    sb__track_end
  fi
  line=$(sb__in_sh 'grep "^$1:" /etc/passwd | head -n 1' "$name")
  [ -n "$line" ] || return 1
  echo "$line" | awk -F: '{ print $3, $4, $6 }'
}

sb_run() {
  sb__need_started sb_run || return 1
  local user= input=/dev/null dir=/ opt
  local -a envs=()
  OPTIND=1
  while getopts ':u:i:e:C:' opt; do
    case $opt in
      u) user=$OPTARG ;;
      i) input=$OPTARG ;;
      e) envs+=("$OPTARG") ;;
      C) dir=$OPTARG ;;
      *)
        sb__say "sb_run: unknown option -$OPTARG"
        return 2
        ;;
    esac
  done
  shift $((OPTIND - 1))
  [ "${1:-}" = -- ] && shift
  if [ $# = 0 ]; then
    sb__say "sb_run: no command"
    return 2
  fi
  if [ ! -r "$input" ]; then
    sb__say "sb_run -i: cannot read '$input'"
    return 2
  fi
  local -a base=(PATH="$SB_PATH_INSIDE" HOME=/root USER=root LOGNAME=root) drop=()
  if [ -n "$user" ]; then
    [ "$SB_USERNS" = 0 ] ||
      sb_skip "sb_run -u needs the sandbox to start as root (only root is mapped without it)"
    local ids
    ids=$(sb__user "$user") || {
      sb__say "sb_run -u: cannot set up user '$user'"
      return 2
    }
    set -- setpriv --reuid="${ids%% *}" --regid="$(echo "$ids" | cut -d' ' -f2)" \
      --clear-groups -- "$@"
    base=(PATH="$SB_PATH_INSIDE" HOME="${ids##* }" USER="$user" LOGNAME="$user")
  fi
  SB_LASTCMD="$*"
  timeout -k 5 "$SB_TIMEOUT" \
    nsenter -t "$SB_PID" -m $([ "$SB_USERNS" = 1 ] && echo -U --preserve-credentials) -- \
    chroot "$SB/root" /usr/bin/env -i "${base[@]}" "${envs[@]}" \
    /bin/sh -c 'cd "$1" || exit 125; shift; exec "$@"' sb-run "$dir" "$@" \
    <"$input" >"$SB/out" 2>"$SB/err"
  SB_RC=$?
  [ "$SB_RC" = 124 ] && sb__say "sb_run: '$SB_LASTCMD' killed after ${SB_TIMEOUT}s"
  return "$SB_RC"
}

sb_changes() {
  sb__need_started sb_changes || return 1
  sb__snapshot >"$SB/snap.now"
  awk -F'\t' '
    FILENAME == ARGV[1] { base[$1] = $2; next }
    { now[$1] = $2 }
    END {
      for (p in base) if (!(p in now) && base[p] != "-") print p
      for (p in now) if (!(p in base) || base[p] != now[p]) print p
    }' "$SB/baseline" "$SB/snap.now" | LC_ALL=C sort -u
}

sb__pass() {
  SB_CHECKS=$((SB_CHECKS + 1))
  echo "ok: $1"
}

sb__fail() {
  SB_CHECKS=$((SB_CHECKS + 1))
  SB_FAILS=$((SB_FAILS + 1))
  echo "FAIL: $1"
}

check() {
  local what=$1
  shift
  if "$@"; then sb__pass "$what"; else sb__fail "$what"; fi
}

check_eq() {
  if [ "$2" == "$3" ]; then
    sb__pass "$1"
  else
    sb__fail "$1"
    printf '  expected: %s\n  actual:   %s\n' "$(printf '%s' "$2" | sed -n l)" \
      "$(printf '%s' "$3" | sed -n l)"
  fi
}

check_contains() {
  case $3 in
    *"$2"*) sb__pass "$1" ;;
    *)
      sb__fail "$1"
      printf '  missing: %s\n  in:\n%s\n' "$2" "$(printf '%s\n' "$3" | head -n 40)"
      ;;
  esac
}

check_not_contains() {
  case $3 in
    *"$2"*)
      sb__fail "$1"
      printf '  unexpected: %s\n  in:\n%s\n' "$2" "$(printf '%s\n' "$3" | head -n 40)"
      ;;
    *) sb__pass "$1" ;;
  esac
}

sb_finish() {
  SB_FINISHED=1
  if [ "$SB_CHECKS" = 0 ]; then
    echo "FAIL: no check ran"
    SB_FAILS=1
  fi
  if [ "$SB_FAILS" -gt 0 ] && [ -n "$SB_PID" ]; then
    echo "--- last run: ${SB_LASTCMD:-none} (status ${SB_RC:-none})"
    echo "--- stdout:"
    head -n 60 "$SB/out" 2>/dev/null
    echo "--- stderr:"
    head -n 60 "$SB/err" 2>/dev/null
    echo "--- /tmp/setup.log:"
    sb_cat /tmp/setup.log 2>/dev/null | head -n 60
    echo "---"
  fi
  sb__teardown
  if [ "$SB_FAILS" -gt 0 ]; then
    echo "$SB_FAILS of $SB_CHECKS checks failed"
    exit 1
  fi
  echo "all $SB_CHECKS checks passed"
  exit 0
}
