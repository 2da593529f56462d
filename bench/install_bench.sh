#!/bin/bash
# Times a fresh install and an upgrade of a large package with the real setup in the
# end-to-end sandbox, with the SVR4 stand-ins the e2e scenarios use.
#
# usage: bench/install_bench.sh [-r RUNS] [-n FILES] [-m MEGABYTES] [-b BASE_BUILD_DIR]
#   (defaults: 3 runs of a package of 2000 files, 44 MB; run as root, after a build)
#   -b: compare the stand-ins of another build with this build's: every run installs and
#   upgrades with the base build's, then with this build's, so that both see the same load
#   of a shared machine; the medians are printed for each.
#
# The package tree (reloc/ files in 40 directories, a few absolute files, two links) goes
# through tools/mkmedium (1 MiB pieces) onto /cdrom/bench. Each run removes the earlier
# installation, runs setup (a fresh install), then runs it once more from the same medium
# (an upgrade in place). A small wrapper runs setup and reads its accounting before it is
# reaped: wall time, setup's own CPU (user+system) and the CPU of everything it started
# (commands, shells, pkgadd, installf). Prints the cost of starting "sh -c program" (the
# upgrade starts that twice per file, a floor no stand-in can lower); after the first fresh
# install, what the upgrade's two commands for one file (installf and cp) cost through sh -c
# as it runs them and started without a shell, each times the files; one line per run and
# the medians.
#
# Environment: SOURCE_DIR (default: this checkout), BUILD_DIR (default: SOURCE_DIR/build),
# SETUP_BIN (default: BUILD_DIR/setup).
set -u
here=$(cd "$(dirname "$0")" && pwd)
export SOURCE_DIR=${SOURCE_DIR:-$(cd "$here/.." && pwd)}
export BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build}
export SETUP_BIN=${SETUP_BIN:-$BUILD_DIR/setup}
runs=3 files=2000 megabytes=44 base_build=
while getopts r:n:m:b: opt; do
  case $opt in
    r) runs=$OPTARG ;;
    n) files=$OPTARG ;;
    m) megabytes=$OPTARG ;;
    b) base_build=$OPTARG ;;
    *)
      echo "usage: install_bench.sh [-r RUNS] [-n FILES] [-m MEGABYTES] [-b BASE_BUILD_DIR]" >&2
      exit 2
      ;;
  esac
done
for v in "$runs" "$files" "$megabytes"; do
  case $v in '' | *[!0-9]*)
    echo "install_bench: counts must be numbers" >&2
    exit 2
    ;;
  esac
done
[ "$files" -ge 20 ] || { echo "install_bench: at least 20 files" >&2; exit 2; }
command -v cc >/dev/null || { echo "install_bench: no C compiler (cc)" >&2; exit 2; }
tools="pkgadd pkginfo installf"
if [ -n "$base_build" ]; then
  for t in $tools; do
    [ -x "$base_build/svr4/$t" ] || { echo "install_bench: $base_build/svr4/$t is not built" >&2; exit 2; }
  done
fi

SB_TIMEOUT=${SB_TIMEOUT:-3600} # per setup run
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
. "$SOURCE_DIR/tests/e2e/install_lib.sh"
il_start
host=$IL_HOST

# The wrapper: runs its command, waits for it without reaping it (the zombie's stat still
# holds its own CPU and that of the children it reaped), then prints
# "wall self_cpu children_cpu status" in seconds to the file named first.
cat >"$host/runusage.c" <<'EOF'
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
int main(int argc, char **argv) {
  if (argc < 3) return 2;
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    execv(argv[2], argv + 2);
    _exit(127);
  }
  siginfo_t si;
  if (waitid(P_PID, pid, &si, WEXITED | WNOWAIT) != 0) return 2;
  clock_gettime(CLOCK_MONOTONIC, &t1);
  char path[64], buf[4096];
  snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
  FILE *f = fopen(path, "r");
  size_t n = f ? fread(buf, 1, sizeof buf - 1, f) : 0;
  if (f) fclose(f);
  buf[n] = 0;
  unsigned long long ut = 0, st = 0, cut = 0, cst = 0;
  char *p = strrchr(buf, ')'); /* fields after the command name: state is field 3 */
  if (p) sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu %llu %llu",
                &ut, &st, &cut, &cst);
  int status = 0;
  waitpid(pid, &status, 0);
  double hz = (double)sysconf(_SC_CLK_TCK);
  FILE *out = fopen(argv[1], "w");
  if (!out) return 2;
  fprintf(out, "%.2f %.2f %.2f %d\n",
          (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9, (ut + st) / hz,
          (cut + cst) / hz, WIFEXITED(status) ? WEXITSTATUS(status) : 128);
  fclose(out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
EOF
cc -O2 -o "$host/runusage" "$host/runusage.c" || { echo "FAIL: cannot build the wrapper"; exit 1; }
sb_put "$host/runusage" /usr/local/bin/runusage 755

# The package tree: FILES regular files of MEGABYTES together.
tree=$host/tree pk=$host/tree/TLVNvpxx
mkdir -p "$pk/reloc/vpxx/bin" "$pk/root/usr/share/doc/orvel-bench" "$host/split"
il_tree "$tree" 4.0 # pkginfo, vprint, vpqadmin, README and the absolute README
nabs=5
ndata=$((files - 4 - nabs))
head -c $((megabytes * 1024 * 1024 * 3 / 4)) /dev/urandom | base64 -w 76 >"$host/blob"
split -n "$ndata" -a 5 -d "$host/blob" "$host/split/f"
rm -f "$host/blob"
{
  echo ": 1 $((megabytes * 2048))"
  echo "1 d none vpxx/bin 0755 root root"
  echo "1 d none vpxx/data 0755 root root"
  echo "1 d none /usr/share/doc/orvel-vpxx 0755 root root"
  echo "1 d none /usr/share/doc/orvel-bench 0755 root root"
  for p in vpxx/bin/vprint vpxx/vpqadmin; do echo "1 f none $p 0755 root root 30 2000 1700000000"; done
  echo "1 f none vpxx/README 0644 root root 16 1200 1700000000"
  echo "1 f none /usr/share/doc/orvel-vpxx/README 0644 root root 14 1100 1700000000"
  i=0
  for f in "$host/split"/f*; do
    d=vpxx/data/d$((i % 40))
    if [ ! -d "$pk/reloc/$d" ]; then
      mkdir -p "$pk/reloc/$d"
      echo "1 d none $d 0755 root bin"
    fi
    mv "$f" "$pk/reloc/$d/file$i"
    echo "1 f none $d/file$i 0644 root bin $(stat -c %s "$pk/reloc/$d/file$i") 0 1700000000"
    i=$((i + 1))
  done
  for i in $(seq 1 $nabs); do
    echo "absolute file $i" >"$pk/root/usr/share/doc/orvel-bench/note$i"
    echo "1 f none /usr/share/doc/orvel-bench/note$i 0444 root root 16 1000 1700000000"
  done
  echo "1 s none vpxx/current=bin"
  echo "1 s none /usr/share/doc/orvel-bench/latest=note1"
  echo "1 i pkginfo 150 9000 1700000000"
} >"$pk/pkgmap"
"$SOURCE_DIR/tools/mkmedium" -s "$SETUP_BIN" -b 1048576 "$tree" "$host/medium" >/dev/null ||
  { echo "FAIL: mkmedium"; exit 1; }
echo "package: $(grep -c '^1 f' "$pk/pkgmap") files, $(du -sm "$pk" | cut -f1) MB;" \
  "medium: $(ls "$host/medium" | grep -c pkg_tar) pieces, $(du -sm "$host/medium" | cut -f1) MB"
sb_put "$host/medium" /cdrom/bench
rm -rf "$tree"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

percall() { # BODY: runs the shell loop body 500 times inside, prints the ms per pass
  local w=
  sb_run -- /usr/local/bin/runusage /tmp/usage /bin/sh -c \
    "i=0; while [ \$i -lt 500 ]; do $1; i=\$((i + 1)); done"
  read -r w _ < <(sb_cat /tmp/usage 2>/dev/null)
  awk -v w="${w:-0}" 'BEGIN { printf "%.2f", w * 2 }'
}

timed() { # what: runs setup from the medium, prints and keeps the figures under what
  local w= s= c= st=
  sb_sh 'rm -f /tmp/usage'
  sb_run -- /usr/local/bin/runusage /tmp/usage /cdrom/bench/setup
  [ "$SB_RC" = 124 ] || read -r w s c st < <(sb_cat /tmp/usage 2>/dev/null)
  if [ -z "$st" ]; then
    check_eq "$1: setup ran to its end" "" "killed or no figures (status $SB_RC)"
    sb_finish
  fi
  check_eq "$1: setup ends with status 0" 0 "${st:-none}"
  printf '  %-13s wall %6.2f s   setup CPU %5.2f s   children CPU %6.2f s\n' "$1" "$w" "$s" "$c"
  echo "$w $s $c" >>"$host/${1// /_}.times"
}

# The builds compared: "-" (this build's stand-ins only, as il_start put them) or "base" and
# "this", each kept inside and copied to /usr/sbin before its runs.
variants=-
if [ -n "$base_build" ]; then
  variants="base this"
  for t in $tools; do
    sb_put "$base_build/svr4/$t" "/usr/local/lib/svr4-base/$t" 755
    sb_put "$BUILD_DIR/svr4/$t" "/usr/local/lib/svr4-this/$t" 755
  done
fi

# What a process start costs in the sandbox right now: the upgrade's own design starts two
# shells and two programs per file (installf and cp through system()), so on a busy machine
# this figure, not the stand-ins, sets the upgrade's floor.
floor=$(awk -v ms="$(percall "/bin/sh -c /bin/true")" -v n="$files" \
  'BEGIN { printf "%.2f ms; x 2 x %d files = %.1f s", ms, n, ms * 2 * n / 1000 }')
echo "sh -c program: $floor (the upgrade's per-file commands alone)"

for r in $(seq 1 "$runs"); do
  echo "run $r:"
  for v in $variants; do
    if [ "$v" = - ]; then v=; else sb_sh "cp /usr/local/lib/svr4-$v/* /usr/sbin/"; fi
    sb_sh 'rm -rf /opt/Orvel /var/sadm /tmp/OrvelInstall /usr/share/doc/orvel-vpxx
      rm -rf /usr/share/doc/orvel-bench /tmp/setup.log /var/spool/Orvel'
    timed "${v:+$v }fresh"
    check "fresh: contents file lists every file" \
      test "$(sb_sh 'grep -c " f none .* TLVNvpxx$" /var/sadm/install/contents')" -eq "$files"
    if [ "$r" = 1 ]; then
      # What the upgrade's two commands for one file cost, run as it runs them (each through
      # sh -c; installf with a record the contents file already holds, cp of one package
      # file), and the same two programs started without a shell: their sum times the files
      # is what the upgrade cannot go below, however fast the stand-ins are.
      reg='/usr/sbin/installf -c none TLVNvpxx /opt/Orvel/vpxx/README f 0644 root root'
      copy='cp /opt/Orvel/vpxx/data/d0/file0 /tmp/bench.cp'
      si=$(percall "/bin/sh -c \"$reg 1>/dev/null 2>/dev/null\"") sc=$(percall "/bin/sh -c '$copy'")
      di=$(percall "$reg 1>/dev/null 2>/dev/null") dc=$(percall "$copy")
      awk -v si="$si" -v sc="$sc" -v di="$di" -v dc="$dc" -v n="$files" -v v="${v:+$v }" 'BEGIN {
        printf "  %sper file, through sh -c: installf %.2f ms + cp %.2f ms = %.1f s for %d files\n",
          v, si, sc, (si + sc) * n / 1000, n
        printf "  %sper file, no shell:      installf %.2f ms + cp %.2f ms = %.1f s for %d files\n",
          v, di, dc, (di + dc) * n / 1000, n }'
    fi
    timed "${v:+$v }upgrade"
  done
done

echo "medians of $runs run(s) ($files files, $megabytes MB):"
for v in $variants; do
  [ "$v" = - ] && v=
  for what in fresh upgrade; do
    f="$host/${v:+${v}_}$what.times"
    printf '  %-13s wall %6.2f s   setup CPU %5.2f s   children CPU %6.2f s\n' "${v:+$v }$what" \
      "$(cut -d' ' -f1 "$f" | median)" "$(cut -d' ' -f2 "$f" | median)" \
      "$(cut -d' ' -f3 "$f" | median)"
  done
done
sb_finish
