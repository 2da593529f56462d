/* System command table and runner.
 *
 * Every external command is a row of ComList. The rows are resolved against the fixed
 * directories of SearchPaths first and the user's PATH after, so that each command runs
 * from an absolute path. SysCmd builds the command line around the resolved path, runs it
 * under the resolved shell, sends its output where the log mode says and reports failures
 * from the command's exit status.
 */
#include "SysCmd.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

#include "MemMgr.h"
#include "utils.h"

/* df is the one command whose options differ by platform: Solaris df -b prints the free
 * space with an "avail" column; GNU df rejects -b, and -Pk gives the POSIX format in
 * 1024-byte units with an "Available" column and one line per file system. */
#if defined(__sun)
#define DF_FLAGS "-b"
#else
#define DF_FLAGS "-Pk"
#endif

/* The rows are an interface: callers name commands by index, so no row may move. */
SysCommand ComList[SYSCMD_ROWS] = {
    {"", "", nullptr, 0},             /* 0: the caller supplies the whole line */
    {"", "", nullptr, 0},             /* 1: the same, logged */
    {"cancel", "", nullptr, 2},       /* 2 */
    {"cat", "", nullptr, 0},          /* 3 */
    {"chgrp", "", nullptr, 0},        /* 4 */
    {"chmod", "", nullptr, 0},        /* 5 */
    {"chown", "", nullptr, 0},        /* 6 */
    {"clear", "", nullptr, 0},        /* 7 */
    {"compress", "", nullptr, 0},     /* 8 */
    {"cp", "-p", nullptr, 0},         /* 9 */
    {"cp", "-pr", nullptr, 0},        /* 10 */
    {"cupsd", "", nullptr, 0},        /* 11 */
    {"id", "", nullptr, 0},           /* 12 */
    {"echo", "", nullptr, 0},         /* 13 */
    {"eject", "-f", nullptr, 1},      /* 14 */
    {"eject", "-q", nullptr, 1},      /* 15 */
    {"file", "", nullptr, 0},         /* 16 */
    {"ln", "", nullptr, 0},           /* 17 */
    {"lp", "", nullptr, 0},           /* 18 */
    {"lpc", "", nullptr, 1},          /* 19 */
    {"lpr", "", nullptr, 0},          /* 20 */
    {"lprm", "", nullptr, 1},         /* 21 */
    {"lpstat", "", nullptr, 1},       /* 22 */
    {"ls", "", nullptr, 0},           /* 23 */
    {"kill", "-KILL", nullptr, 0},    /* 24 */
    {"mv", "-f", nullptr, 0},         /* 25 */
    {"mkdir", "-p", nullptr, 0},      /* 26 */
    {"more", "", nullptr, 0},         /* 27 */
    {"ping", "", nullptr, 0},         /* 28 */
    {"rm", "-f", nullptr, 0},         /* 29 */
    {"rm", "-rf", nullptr, 0},        /* 30 */
    {"sh", "", nullptr, 0},           /* 31: the shell every table command runs under */
    {"sleep", "", nullptr, 0},        /* 32 */
    {"tar", "cvfp", nullptr, 0},      /* 33 */
    {"tar", "xvfp", nullptr, 0},      /* 34 */
    {"touch", "", nullptr, 0},        /* 35 */
    {"uncompress", "", nullptr, 0},   /* 36 */
    {"whoami", "", nullptr, 0},       /* 37 */
    {"zcat", "", nullptr, 0},         /* 38 */
    {"uname", "", nullptr, 0},        /* 39 */
    {"sed", "", nullptr, 0},          /* 40 */
    {"du", "-s", nullptr, 0},         /* 41 */
    {"checkpc", "", nullptr, 0},      /* 42 */
    {"lpd", "", nullptr, 0},          /* 43 */
    {"pkgadd", "", nullptr, 1},       /* 44 */
    {"pkginfo", "", nullptr, 0},      /* 45 */
    {"pkgrm", "", nullptr, 1},        /* 46 */
    {"accept", "", nullptr, 1},       /* 47 */
    {"disable", "", nullptr, 1},      /* 48 */
    {"cupsdisable", "", nullptr, 1},  /* 49 */
    {"enable", "", nullptr, 1},       /* 50 */
    {"cupsenable", "", nullptr, 1},   /* 51 */
    {"lpadmin", "", nullptr, 1},      /* 52 */
    {"lpfilter", "", nullptr, 1},     /* 53 */
    {"lpsched", "", nullptr, 1},      /* 54 */
    {"lpshut", "", nullptr, 1},       /* 55 */
    {"lpsystem", "", nullptr, 1},     /* 56 */
    {"ps", "-e", nullptr, 0},         /* 57 */
    {"bar", "", nullptr, 0},          /* 58 */
    {"df", DF_FLAGS, nullptr, 0},     /* 59: per platform, see DF_FLAGS */
    {"lpq", "-P", nullptr, 0},        /* 60 */
    {"ypcat", "", nullptr, 0},        /* 61 */
    {"reject", "", nullptr, 1},       /* 62 */
    {"pmadm", "", nullptr, 1},        /* 63 */
    {"sacadm", "", nullptr, 1},       /* 64 */
    {"volcheck", "", nullptr, 0},     /* 65 */
    {"capture", "", nullptr, 0},      /* 66 */
    {"lpset", "", nullptr, 1},        /* 67 */
    {"instnetpr", "", nullptr, 1},    /* 68 */
    {"piomkpq", "", nullptr, 0},      /* 69 */
    {"piomisc_ext", "", nullptr, 0},  /* 70 */
    {"piomisc_base", "", nullptr, 0}, /* 71 */
    {"lsallq", "", nullptr, 0},       /* 72 */
    {"mkque", "", nullptr, 0},        /* 73 */
    {"mkquedev", "", nullptr, 0},     /* 74 */
    {"rmque", "", nullptr, 0},        /* 75 */
    {"rmquedev", "", nullptr, 0},     /* 76 */
    {"piochdfq", "", nullptr, 0},     /* 77 */
    {"enq", "", nullptr, 0},          /* 78 */
    {"lsquedev", "", nullptr, 0},     /* 79 */
    {"lsque", "", nullptr, 0},        /* 80 */
    {"startsrc", "", nullptr, 1},     /* 81 */
    {"stopsrc", "", nullptr, 0},      /* 82 */
    {"lssrc", "", nullptr, 0},        /* 83 */
    {nullptr, nullptr, nullptr, 0},   /* 84: end of table */
};

namespace {

/* Writable, because InitSysCmdList splits the list in place and the rows keep pointers
 * into it. */
char DefaultSearchPaths[] = "/usr/bin:/usr/ucb:/usr/sbin:/bin:/sbin:/usr/lib:/usr/lib/lp";

constexpr size_t kCmdLineSize = 4096; /* SysCmd's command line */
constexpr size_t kCmdLinePSize = 512; /* SysCmdP's command line */
constexpr int kPsTries = 10;          /* further looks at the process table (wait -1) */

}  // namespace

char *SearchPaths = DefaultSearchPaths;
char *FullSearchPath = nullptr;
char flInitSysCmd = 1;
char flSysCmdLog = 0;

namespace {

/* A command line in a fixed buffer. Anything that does not fit marks the line as
 * overflowed; such a line is never run. */
struct CmdLine {
  char *buf;
  size_t size;
  size_t len = 0;
  bool overflow = false;

  void AddV(const char *fmt, va_list ap) {
    if (overflow) return;
    int n = vsnprintf(buf + len, size - len, fmt, ap);
    if (n < 0 || static_cast<size_t>(n) >= size - len) {
      overflow = true;
      buf[len] = '\0';
      return;
    }
    len += static_cast<size_t>(n);
  }
  void Add(const char *fmt, ...) UTILS_PRINTF(2, 3) {
    va_list ap;
    va_start(ap, fmt);
    AddV(fmt, ap);
    va_end(ap);
  }
};

/* Only absolute directories resolve commands: a relative PATH entry would name another
 * directory whenever the program changes its working directory. */
bool UsableDir(std::string_view dir) { return !dir.empty() && dir.front() == '/'; }

/* Managed "<SearchPaths>:<PATH>", the PATH part empty when PATH is unset. */
char *BuildFullSearchPath() {
  char *path = GetEnv("PATH");
  const char *fixed = SearchPaths ? SearchPaths : "";
  const char *user = path ? path : "";
  size_t size = strlen(fixed) + strlen(user) + 2;
  char *full = static_cast<char *>(GetMem(static_cast<int>(size)));
  if (full == nullptr) SysError("%s", OutOfMem);
  snprintf(full, size, "%s:%s", fixed, user);
  PutMem(path);
  return full;
}

/* Turns system()'s result into 0 for success or a non-zero code for a failure, and writes
 * a text naming the failure into text. The code is the exit status, 128 plus the signal
 * for a command killed by a signal, or the error number when the command could not be
 * started at all. */
int DecodeStatus(int status, int err, char *text, size_t size) {
  text[0] = '\0';
  if (status == -1) {
    if (err == 0) err = ECHILD;
    snprintf(text, size, "%s", strerror(err));
    return err;
  }
  if (WIFEXITED(status)) {
    int code = WEXITSTATUS(status);
    if (code != 0) snprintf(text, size, "exit status %d", code);
    return code;
  }
  if (WIFSIGNALED(status)) {
    snprintf(text, size, "killed by signal %d", WTERMSIG(status));
    return 128 + WTERMSIG(status);
  }
  snprintf(text, size, "abnormal end (status %d)", status);
  return status != 0 ? status : 1;
}

const char *FailureLabel(int mode) { return mode == LOG_FATAL ? "ERROR" : "WARNING_MSG"; }

/* Reports a failed command the way its log mode asks: mode 1 logs a warning, mode 2 logs
 * the error, repeats it on standard output and ends the run with status 1. Mode 0 says
 * nothing unless loud is set (a line that could not even be run), then on standard error. */
void ReportFailure(int mode, const char *text, bool loud) {
  if (mode == LOG_WARN || mode == LOG_FATAL) {
    PutLogMsg("%s: %s\n", FailureLabel(mode), text);
    if (mode == LOG_FATAL) {
      printf("%s: %s\n", FailureLabel(mode), text);
      exit(1);
    }
  } else if (loud) {
    fprintf(stderr, "ERROR: %s\n", text);
  }
}

/* A table command that was never found cannot run: the program ends here. */
[[noreturn]] void Unlocatable(const char *name) {
  fprintf(stderr, "ERROR: unable to locate system command '%s'\n", name);
  exit(0);
}

/* After a command: wait the row's settle time. -1 waits until the command shows in the
 * process table, giving up after kPsTries more looks one second apart. */
void Settle(const SysCommand &row) {
  if (row.wait == -1) {
    char *ids = GetSysPsIdList(row.name);
    for (int tries = 0; ids == nullptr && tries < kPsTries; ++tries) {
      sleep(1);
      ids = GetSysPsIdList(row.name);
    }
    if (ids != nullptr)
      PutMem(ids);
    else
      PutLogMsg("ERROR: Time out for command %s\n", row.name);
  } else if (row.wait > 0) {
    sleep(static_cast<unsigned>(row.wait));
  }
}

/* Resolves the rows against each absolute directory of the colon list, splitting it in
 * place (the rows keep pointers into it); stops at the first directory after which
 * nothing is left unresolved. Returns 1 while some row is still unresolved. */
int FillFromList(char *list) {
  int left = 1;
  for (char *dir = GetTokenParse(list, ":"); dir != nullptr; dir = GetTokenParse(nullptr, ":")) {
    if (UsableDir(dir)) left = FillCmdPaths(dir);
    if (!left) break;
  }
  return left;
}

/* Lazy resolution when still on, for the rows TestCmd, GetCmd and GetCmdNoFlags serve. */
void ResolveIfLazy(int index) {
  if (flInitSysCmd && index >= 2 && index <= CMD_LAST && ComList[index].dir == nullptr)
    FillCmdPath(index);
}

}  // namespace

/* Resolves every row: the fixed directories in order, then PATH, stopping as soon as all
 * rows are found. The rows keep pointers into SearchPaths (split in place) and into a PATH
 * copy that is never released. Puts "SHELL=<dir>/sh " into the environment when the shell
 * was found (no SHELL entry otherwise; the first table command then ends the run as for any
 * unresolved command). Returns arg. */
int InitSysCmdList(int arg) {
  flInitSysCmd = 0;

  PutMem(FullSearchPath);
  FullSearchPath = BuildFullSearchPath();

  int left = 1;
  if (SearchPaths != nullptr) left = FillFromList(SearchPaths);

  char *path = GetEnv("PATH");
  if (left && path != nullptr) {
    left = FillFromList(path);
  } else {
    PutMem(path); /* no row points into it */
  }

  const SysCommand &sh = ComList[CMD_SH];
  if (sh.dir != nullptr) {
    /* putenv keeps the string itself: it stays allocated for the rest of the run. */
    char *shell = SaveStr("SHELL=%s/%s ", sh.dir, sh.name);
    putenv(shell);
  }

  if (flUseLog) {
    flSysCmdLog = 1;
    PutLogMsg("initializing system\n");
  }
  return arg;
}

/* Resolves the unresolved rows found in dir (the pointer itself is stored, so dir must
 * live for the run). Returns 1 while some row is still unresolved, also when dir cannot be
 * listed; 0 once every row has a directory. */
int FillCmdPaths(const char *dir) {
  char *listing = GetDirFileList(dir);
  if (listing == nullptr) return 1;
  int left = 0;
  for (int i = 2; i <= CMD_LAST && ComList[i].name != nullptr && ComList[i].name[0]; ++i) {
    SysCommand &row = ComList[i];
    if (row.dir == nullptr && FindToken(row.name, listing) != 0) row.dir = dir;
    if (row.dir == nullptr) left = 1;
  }
  PutMem(listing);
  return left;
}

/* Lazy resolution of one row through FullSearchPath (built on first use): the first
 * absolute directory holding the name wins and the row keeps a managed copy of it.
 * Scans with its own cursor, so a tokenizer scan in progress is not disturbed.
 * Returns 1 when the row has a directory, 0 otherwise. */
int FillCmdPath(int index) {
  if (index < 2 || index > CMD_LAST) return 0;
  SysCommand &row = ComList[index];
  if (row.name == nullptr || row.name[0] == '\0') return 0;
  if (row.dir != nullptr) return 1;
  if (FullSearchPath == nullptr) FullSearchPath = BuildFullSearchPath();

  std::string_view rest(FullSearchPath);
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string_view dir = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (!UsableDir(dir)) continue;
    char *copy = SaveStr("%.*s", static_cast<int>(dir.size()), dir.data());
    if (FindFile(copy, row.name)) {
      row.dir = copy;
      return 1;
    }
    PutMem(copy);
  }
  return 0;
}

/* Runs row index (negated: on the terminal) with the formatted arguments. Rows 2 and up
 * run as '<sh> -c "<dir>/<name> <flags> <args> <redirection>"'; rows 0 and 1 run the
 * formatted text alone. Returns 0 on success, otherwise non-zero: the exit status, 128 plus
 * the signal, the error number when it could not be started, E2BIG for a line that does not
 * fit (never run), EINVAL for an index outside the table. Mode 2 failures end the run with
 * status 1; an unresolved row ends it with status 0. */
int SysCmd(int index, int mode, const char *fmt, ...) {
  if (index < -CMD_LAST || index > CMD_LAST) {
    char text[64];
    snprintf(text, sizeof text, "no system command at index %d", index);
    ReportFailure(mode, text, true);
    return EINVAL;
  }
  const bool logged = index > 0;
  if (index < 0) index = -index;
  const SysCommand &row = ComList[index];
  const SysCommand &sh = ComList[CMD_SH];

  if (index >= 2) {
    if (flInitSysCmd) {
      if (row.dir == nullptr) FillCmdPath(index);
      if (sh.dir == nullptr) FillCmdPath(CMD_SH);
    }
    if (row.dir == nullptr) Unlocatable(row.name);
    if (sh.dir == nullptr) Unlocatable(sh.name);
  }

  char buf[kCmdLineSize];
  buf[0] = '\0';
  CmdLine line{buf, sizeof buf};
  if (index >= 2) line.Add("%s/%s -c \"%s/%s %s ", sh.dir, sh.name, row.dir, row.name, row.flags);
  va_list ap;
  va_start(ap, fmt);
  line.AddV(fmt != nullptr ? fmt : "", ap);
  va_end(ap);
  const size_t shownLen = line.len; /* what the log shows: no redirection, no quote */

  const bool toLog = logged && (mode == LOG_WARN || mode == LOG_FATAL);
  if (mode == LOG_QUIET) {
    line.Add(" 1>/dev/null 2>/dev/null");
  } else if (toLog) {
    /* ">>" follows a symbolic link: only a regular log file (or none yet) gets the output. */
    if (flUseLog && my_name != nullptr && LogIsSafe())
      line.Add(" 1>>/tmp/%s.log 2>>/tmp/%s.log", my_name, my_name);
    else
      line.Add(" 1>>/dev/null 2>>/dev/null");
  }
  if (index >= 2) line.Add("\"");

  if (line.overflow) {
    char text[160];
    if (index >= 2)
      snprintf(text, sizeof text, "command line too long for system command '%s'", row.name);
    else
      snprintf(text, sizeof text, "command line too long: %.64s...", buf);
    ReportFailure(mode, text, true);
    return E2BIG;
  }

  if (toLog && flSysCmdLog) {
    fputs(".", stdout);
    fflush(stdout);
    PutLogMsg("%.*s\n", static_cast<int>(shownLen), buf);
  }

  fflush(stdout); /* what the program printed comes before the command's own output */
  errno = 0;
  int status = system(buf);
  int err = errno;
  char text[128];
  int result = DecodeStatus(status, err, text, sizeof text);
  if (result != 0) ReportFailure(mode, text, false);

  Settle(row);
  return result;
}

/* 1 when row index (2 or higher) has a directory, resolving it first in lazy mode. */
int TestCmd(int index) {
  if (index < 2 || index > CMD_LAST) return 0;
  ResolveIfLazy(index);
  return ComList[index].dir != nullptr;
}

/* Managed "<dir>/<name> <flags>" (ends in a blank when the row has no flags); null when
 * the row is unresolved or outside the table. The caller releases it with PutMem. */
char *GetCmd(int index) {
  if (index < 0 || index > CMD_LAST) return nullptr;
  ResolveIfLazy(index);
  const SysCommand &row = ComList[index];
  if (row.dir == nullptr) return nullptr;
  return SaveStr("%s/%s %s", row.dir, row.name, row.flags);
}

/* Managed "<dir>/<name>"; null above row 83 or when unresolved. Released with PutMem. */
char *GetCmdNoFlags(int index) {
  if (index < 0 || index > CMD_LAST) return nullptr;
  ResolveIfLazy(index);
  const SysCommand &row = ComList[index];
  if (row.dir == nullptr) return nullptr;
  return SaveStr("%s/%s", row.dir, row.name);
}

/* Runs a whole command line (at most 511 bytes; a longer one is never run). Modes 1 and 2
 * echo it on standard output and report a failure on standard error ("WARNING_MSG: ..." or
 * "ERROR: ..."); mode 2 then ends the run with status 1. Sleeps a second after the command.
 * Returns mode. */
int SysCmdP(int mode, const char *fmt, ...) {
  const bool loud = mode == LOG_WARN || mode == LOG_FATAL;
  char buf[kCmdLinePSize];
  buf[0] = '\0';
  CmdLine line{buf, sizeof buf};
  va_list ap;
  va_start(ap, fmt);
  line.AddV(fmt != nullptr ? fmt : "", ap);
  va_end(ap);

  if (line.overflow) {
    fprintf(stderr, "%s: command line too long: %.64s...\n", loud ? FailureLabel(mode) : "ERROR",
            buf);
    if (mode == LOG_FATAL) exit(1);
    return mode;
  }

  if (loud) printf("%s\n", buf);
  fflush(stdout);
  errno = 0;
  int status = system(buf);
  int err = errno;
  char text[128];
  if (DecodeStatus(status, err, text, sizeof text) != 0 && loud) {
    fprintf(stderr, "%s: %s\n", FailureLabel(mode), text);
    if (mode == LOG_FATAL) exit(1);
  }

  int rc = system("/usr/bin/sleep 1");
  (void)rc;
  return mode;
}
