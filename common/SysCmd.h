/* System command layer: the table of external commands, their resolution on the host, the
 * runner with its log modes, output capture and the host queries built on it.
 *
 * Commands are named by their row in ComList; the rows are an interface and never move.
 * Rows are resolved against the fixed directories of SearchPaths, then those of PATH; a
 * directory that is not absolute (a relative or empty PATH entry) is skipped, since it would
 * resolve against whatever the current directory happens to be.
 * A negative index runs the command on the terminal (not logged, no progress dot, output not
 * redirected in modes 1 and 2). Log modes: 0 quiet, 1 logged and a failure only recorded,
 * 2 logged and a failure ends the program with status 1.
 */
#ifndef COMMON_SYSCMD_H
#define COMMON_SYSCMD_H

#include "utils.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One row of the command table. */
typedef struct SysCommand {
  const char *name;  /* file name; "" in rows 0 and 1, null in the terminator */
  const char *flags; /* default options inserted after the command, "" when none */
  const char *dir;   /* directory it was found in; null until resolved */
  int wait;          /* settle time: 0 none, >0 seconds, -1 until it shows in the process table */
} SysCommand;

#define SYSCMD_ROWS 85 /* 0 and 1 without command, 2..83 commands, 84 the terminator */
extern SysCommand ComList[SYSCMD_ROWS];

/* Rows used by the installer and the library. */
enum {
  CMD_CAT = 3,
  CMD_CHGRP = 4,
  CMD_CHMOD = 5,
  CMD_CHOWN = 6,
  CMD_CLEAR = 7,
  CMD_CP = 9,
  CMD_CP_R = 10,
  CMD_CUPSD = 11,
  CMD_LN = 17,
  CMD_MV = 25,
  CMD_MKDIR = 26,
  CMD_RM = 29,
  CMD_RM_R = 30,
  CMD_SH = 31,
  CMD_TAR_X = 34,
  CMD_TOUCH = 35,
  CMD_UNCOMPRESS = 36,
  CMD_WHOAMI = 37,
  CMD_UNAME = 39,
  CMD_SED = 40,
  CMD_DU = 41,
  CMD_LPD = 43,
  CMD_PKGADD = 44,
  CMD_PKGINFO = 45,
  CMD_PS = 57,
  CMD_DF = 59,
  CMD_LAST = 83
};

#define LOG_QUIET 0
#define LOG_WARN 1
#define LOG_FATAL 2

extern char *SearchPaths;    /* fixed search list, split in place by InitSysCmdList */
extern char *FullSearchPath; /* managed "<SearchPaths>:<PATH>" for lazy resolution */
extern char flInitSysCmd;    /* 1: resolve lazily on first use; cleared by InitSysCmdList */
extern char flSysCmdLog;     /* 1: logged commands print a dot and go to the log */

/* Resolves the whole table (fixed directories, then PATH; directories that are not absolute
 * skipped), puts SHELL into the environment and logs "initializing system". Returns arg. */
int InitSysCmdList(int arg);
/* Resolves the rows against one directory; returns 1 while some row is still unresolved. */
int FillCmdPaths(const char *dir);
/* Lazy resolution of one row through FullSearchPath (absolute directories only); 1 when
 * found. */
int FillCmdPath(int index);

/* Runs row index with the formatted arguments under the resolved shell. Returns 0 on
 * success, non-zero for every failure. A row that cannot be resolved ends the program
 * with status 0. */
int SysCmd(int index, int mode, const char *fmt, ...) UTILS_PRINTF(3, 4);
/* 1 when row index (2 or higher) has a directory. */
int TestCmd(int index);
/* Managed "<dir>/<name> <flags>", null when unresolved. */
char *GetCmd(int index);
/* Managed "<dir>/<name>", null above row 83 or when unresolved. */
char *GetCmdNoFlags(int index);
/* Runs a whole command line without the table; returns mode. */
int SysCmdP(int mode, const char *fmt, ...) UTILS_PRINTF(2, 3);

/* ---- Output capture ---- */

/* One captured output line; the text lives in the same managed block after the pointers. */
typedef struct ResponseLine {
  struct ResponseLine *next;
  char *str; /* the line as written, with its newline when it had one */
} ResponseLine;

/* Output lines of row index containing pattern (all lines when pattern is null or ""),
 * or null. Release with FreeResponseList. */
ResponseLine *GetCmdResponse(int index, const char *pattern, const char *fmt, ...)
    UTILS_PRINTF(3, 4);
/* The kept lines as one managed string, each ending in a newline; null when none. */
char *GetCmdResponseStr(int index, const char *pattern, const char *fmt, ...) UTILS_PRINTF(3, 4);
/* Releases every line of list (null accepted); returns list, no longer valid. */
ResponseLine *FreeResponseList(ResponseLine *list);

/* ---- Host queries ---- */

/* Free space on the file system holding a path. */
typedef struct DiskSpace {
  char text[512]; /* the data line of the df output */
  double avail;   /* its "avail" column, 0 when none */
} DiskSpace;

/* Managed " pid1 pid2 " of the processes whose command is exactly program, or null. */
char *GetSysPsIdList(const char *program);
/* Managed report "name ( pids )\n" per running program of the comma list, or null. */
char *CheckProcTableForExecs(const char *programs);
/* Kills every process of program, then sleeps a second; returns 0. */
int KillProcessByName(const char *program);
/* Fills record for the file system of path; 1 when df answered with an "avail" column. */
int GetDiskSpace(const char *path, DiskSpace *record);
/* The size du -s reports for path, 0 when none. */
double DUPath(const char *path);
/* 1 when the file system of dir has needed free, counting an existing dir/name as free. */
int AvailSpace(const char *dir, const char *name, double needed);
/* Managed " pkg1 pkg2 " of the installed packages whose pkginfo line holds pattern, or null. */
char *GetSysPkgList(const char *pattern);
int SysGetSubnetMask(int x); /* placeholder; returns x */

#ifdef __cplusplus
}
#endif

#endif
