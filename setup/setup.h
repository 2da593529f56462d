/* The installer of the printing services package: driver globals and phases.
 *
 * Every string the driver builds is managed memory that lives for the whole run (the run
 * ends with exit, nothing is released).
 */
#ifndef SETUP_SETUP_H
#define SETUP_SETUP_H

#include "MemMgr.h"
#include "utils.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SETUP_VERSION "4.50.11"
#define MAKER_DIR "Orvel"   /* maker directory under the install base */
#define PRODUCT_DIR "vpxx"  /* product directory under the maker directory */
#define DEFAULT_BASE "/opt" /* default install base */
#define ARCHIVE_BASE "OrvelSolarisVpxx"

/* ---- Run-wide globals (entry.cpp) ---- */

extern char *pPathToSetup;                   /* directory holding the program: the install medium */
extern char *pOrvelInstallDir;               /* the work directory, /tmp/OrvelInstall by default */
extern char *pCmdLineInstallDir;             /* install base named on the command line */
extern char *pCurrentInstallDir;             /* base of an earlier installation, or null */
extern char *pTargetInstallDir;              /* chosen install base */
extern char *pAppDir;                        /* application directory <base>/Orvel/vpxx */
extern char *pOrvelPkgName;                  /* "TLVNvpxx", set by the readiness checks */
extern const char *pBinaryInstanceCheckList; /* programs whose instances block an upgrade */
extern char flCreatedTmpDir;           /* 1 when this run created the command-line work base */
extern const char *InstallInfo[6];     /* messages 10..14 and a null */
extern const char *InstallSiteInfo[5]; /* messages 10, 11, 17, 18 and a null */

/* Reads the command line into the globals; may end the run ("-v", unusable work base).
 * Returns argc. */
int parseCommandLineOptions(int argc, char **argv);
/* Managed base directory of an earlier installation found through /opt/Orvel/vpxx, or null. */
char *locatePreviousInstallation(void);
/* Cuts a path in place down to its install base; returns str (null for null). */
char *StripToBaseName(char *str);
/* The search of locatePreviousInstallation with the probe <base>/Orvel/vpxx: a managed base
 * directory, or null. A dangling link there is removed. A link to a directory whose text
 * holds a blank or a shell character ends the run: message 3 with the text, "\n\n", status 2. */
char *locateInstallationUnder(const char *base);
/* Start-up of main: logging, default work directory, program name and medium, command
 * table, language, command line, earlier installation, install base and application
 * directory. May end the run ("-v", unusable work base). */
void startUp(int argc, char **argv);

/* ---- Messages (messages.cpp) ---- */

#define SETUP_MESSAGES 71
extern const char *const NLS_ENGLISH[SETUP_MESSAGES];
extern const char *const NLS_SPANISH[SETUP_MESSAGES];
extern const char *const NLS_ITALIAN[SETUP_MESSAGES];
extern const char *const NLS_FRENCH[SETUP_MESSAGES];
extern const char *const NLS_GERMAN[SETUP_MESSAGES];
extern const char *const NLS_PORTUGUESE[SETUP_MESSAGES];

/* Text of message index (0..70) in the language picked from LANG at the first call. */
const char *nlsSetupStrCvt(int index);
/* "WARNING: <text>" on standard error and "WARNING_MSG: <text>" in the log; the run goes on. */
void warnUser(const char *fmt, ...) UTILS_PRINTF(1, 2);

/* ---- Readiness checks (checks.cpp) ---- */

/* 1 when the installation may proceed, 0 when the user is not root. Ends the run itself
 * for a refused release or when the user declines to go on past an older print daemon. */
int readyForInstallation(void);
/* 1 when the user chose to quit while programs of the comma list run, 0 when none runs. */
int QuitForRunningProcesses(const char *list);

/* ---- Space check (space.cpp) ---- */

/* Returns when there is room for the work area and the install area (or when the work
 * area's free space cannot be read); otherwise prints why and ends the run with status 0. */
void FreeSpaceForInstall(const char *workDir, const char *targetBase, const char *makerDir);

/* ---- Media staging (staging.cpp) ---- */

/* Loads the medium's list ("disks", else "DISKS" upper-cased up to "end_of_list") of dir
 * into LineBuf; ends the run with status 1 when neither exists. Returns dir. */
const char *GetDisksData(const char *dir);
/* Called with each name a walk of the list finds, in list order. */
typedef void (*ListedNameFn)(const char *name, void *arg);
/* The names the copy loop stages, from the list text (split in place): lines split at line
 * feeds and carriage returns, names at blanks and tabs; a line that is exactly "end_of_list"
 * ends the list, the name "end_of_list" ends its line. Calls fn for each name. */
void forEachListedFile(char *list, ListedNameFn fn, void *arg);
/* The archive pieces the joiner takes, from the list text (split in place at blanks, line
 * feeds and carriage returns, up to the name "end_of_list"): the names that begin with
 * "pkg_tar." or "PKG_TAR.", in list order. Calls fn for each. */
void forEachListedPiece(char *list, ListedNameFn fn, void *arg);
/* Copies every file the medium's list names into the work directory. */
void copyMediaFiles(void);
/* Joins the listed archive pieces, in list order, into the work directory's archive. */
void genZFile(void);

/* ---- Install sequence and clean-up (sequence.cpp) ---- */

/* main after start-up: space check, running programs, relocation, staging, install,
 * clean-up; never returns. */
void runInstallSequence(void) UTILS_NORETURN;
/* Moves an earlier installation to the chosen base and points /opt/Orvel/vpxx at it. */
void relocatePreviousInstallation(void);
/* Rebuilds the work directory, stages the medium into it and installs; returns 0. */
int installFromSite(const char *workDir);
/* The install sequence proper; 0, or 1 when the user chose to quit at a package-list check. */
int Install(void);
/* Removes the work directory and runs the installed tool's maintenance commands. */
void OrvelClean(const char *workDir);

/* ---- Package install and upgrade (package.cpp) ---- */

extern const char *pPathToInstallf; /* "/usr/sbin/installf", run directly */

/* Carries out <work>/<listDir>/pkg.list; 1 when the user chose to quit at a "checkps"
 * line, else 0. */
int ProcessPkgList(const char *listDir);

/* Reads the next line of the open package list or map into LineBuf (GetFileLine), skipping
 * with a warning every line that did not fit whole: its head would be a cut command, and
 * its rest is never read as a line of its own. Returns 0 at the end of the file. */
int readWholeLine(void);

/* Commands of a package-list line: the keyword's place in
 * ",dir,dirto,t,c,m,#,v,s,newdir,checkps"; any other word copies a file as "c" does. */
enum {
  PKGLIST_NONE = -1, /* nothing to carry out */
  PKGLIST_OTHER = 0,
  PKGLIST_DIR,
  PKGLIST_DIRTO,
  PKGLIST_TOUCH,
  PKGLIST_COPY,
  PKGLIST_MODIFY,
  PKGLIST_COMMENT,
  PKGLIST_IF,
  PKGLIST_SET,
  PKGLIST_NEWDIR,
  PKGLIST_CHECKPS
};
/* Attributes after a command: the word's place in ",mode,bat,owner,group,link,name,sed";
 * PKGATTR_OTHER for any other word (ignored with its value). */
enum {
  PKGATTR_OTHER = 0,
  PKGATTR_MODE,
  PKGATTR_BAT,
  PKGATTR_OWNER,
  PKGATTR_GROUP,
  PKGATTR_LINK,
  PKGATTR_NAME,
  PKGATTR_SED
};

/* One line of a package list, split in place; the words point into the line. */
typedef struct PkgListLine {
  int command; /* PKGLIST_* to carry out, or PKGLIST_NONE */
  char *name;  /* its argument */
  char *dest;  /* the destination of "dirto" */
  char *scan;  /* where the attribute pairs go on (nextPkgListAttribute's own) */
  int pairs;   /* attribute pairs read so far (nextPkgListAttribute's own) */
} PkgListLine;

/* Decides a "v" condition of a package list: 1 when op and release hold. */
typedef int (*PkgListCondition)(const char *op, const char *release, void *arg);

/* Splits a package-list line (words at blanks, line feeds and carriage returns, in place) up
 * to its command. Each "v" condition (operator and release) is decided by holds, in line
 * order; one that fails ends the line, one that holds leaves the rest as a command of its
 * own. Returns line->command: PKGLIST_NONE for an empty line, a comment ("#" as a word of
 * its own), a failed condition, or a command without its argument (or destination). */
int parsePkgListLine(char *text, PkgListCondition holds, void *arg, PkgListLine *line);
/* The next attribute pair of the command of line: sets *attr (PKGATTR_*) and *value and
 * returns 1; 0 at the end of the line or for an incomplete pair. A "sed" as the first
 * attribute takes the rest of the line (blanks before it and the line end dropped) as its
 * script and ends the line. */
int nextPkgListAttribute(PkgListLine *line, int *attr, char **value);
/* 1 when the byte-wise comparison of the system's release with release satisfies op ("<",
 * "<=", "=", ">", ">="); 0 for any other op. */
int releaseConditionHolds(const char *system, const char *op, const char *release);

/* The fields of a package-map line that names a regular file; they point into the line. */
typedef struct PkgmapFile {
  char *part, *type, *cls, *path, *mode, *owner, *group;
} PkgmapFile;

#define PKGMAP_LINE_SIZE 512 /* buffers of the upgrade's command lines */

/* Splits a package-map line in place (fields separated by blanks and tabs); 1 when it names
 * a regular file ("f") with all seven fields, 0 for any other line (directories, the
 * information line, short lines). */
int parsePkgmapLine(char *text, PkgmapFile *file);
/* The upgrade's two command lines for file, each into a PKGMAP_LINE_SIZE buffer: the
 * registration with installf, then the copy from the unpacked package in the work directory
 * over the installed file (under <pTargetInstallDir>/Orvel for a relative path). Every field
 * is one shell word. Returns 0 when both fit; else 1 or 2 for the first line that does not
 * (left cut in its buffer: never to be run). */
int pkgmapCommands(const PkgmapFile *file, const char *pkgName, char *reg, char *copy);
/* Copies every regular file of the new pkgmap over the installed one, registers it, and
 * rewrites the installed package's version. */
void upgradeSolarisPackage(const char *pkgName, const char *workDir);
/* Fresh install: directories, flag file, pkgadd, scripts, spool, package list. Returns 1
 * when the user chose to quit at a "checkps" line; ends the run when pkgadd fails. */
int installPackage(void);
/* Upgrade in place: package files, flag file, scripts. */
void upgradePackage(void);

/* ---- Generated configuration and scripts (scripts.cpp, script_templates.cpp) ---- */

extern const char *const ScriptShShell;        /* "#!/bin/sh" */
extern const char *const ScriptBanner;         /* comment banner; its one "%d" is the year */
extern const char *const SimpleScript;         /* launcher: pAppDir, pAppDir, file */
extern const char *const OrvelPrintvpxxScript; /* queue interface */
extern const char *const pv4DriverScript;      /* driver interface, "driver" */
extern const char *const pv5DriverScript;      /* driver interface, "v5driver" */
extern const char *const OrvelVSFScript;       /* filter */

/* Fresh install: the application directory (755 under /opt, else 775 and the link
 * /opt/Orvel/vpxx). */
void createInstallationDirectories(const char *base);
/* Writes <appDir>/.vp_cfg: " V5 ", " LPRng " or " CUPS " (CUPS wins), mode 0644. */
void createPrintingSubsystemFile(const char *appDir);
/* Writes the four interface scripts into pAppDir; links the queue script for LPRng. */
void createQueueScripts(const char *spoolBase);
/* 1 when the script was written, 0 when it could not be opened. */
int generateOrvelPrintvpxxScript(const char *path, const char *shell, const char *tmpl);
int generatev4v5DriverScript(const char *path, const char *shell, const char *tmpl);
int generateOrvelVSFScript(const char *path, const char *shell, const char *tmpl,
                           const char *spoolDir);
/* Writes a launcher at path from tmpl and its three arguments: a new file (never opened
 * through a link), mode 0755, renamed over path. A path that is a link, not a regular file,
 * or a file this product did not write is left alone with a warning. Returns path, or null
 * when nothing was written. */
const char *GenSimpleScript(const char *path, const char *shell, const char *tmpl, const char *a1,
                            const char *a2, const char *a3);

#ifdef __cplusplus
}

/* The formatted text as one shell word for place (QUOTE_SHELL or QUOTE_SYSCMD): in single
 * quotes, each ' written '\''; for QUOTE_SYSCMD also \ " $ ` escaped for the outer double
 * quotes. The command gets exactly the text, whatever it holds. str is managed and released
 * with the object; a temporary lives to the end of the statement that made it:
 *   SysCmd(CMD_CP, LOG_WARN, "%s %s", Quoted(QUOTE_SYSCMD, "%s/%s", dir, name).str, ...) */
struct Quoted {
  Quoted(int place, const char *fmt, ...) UTILS_PRINTF(3, 4);
  ~Quoted() { PutMem(str); }
  Quoted(const Quoted &) = delete;
  Quoted &operator=(const Quoted &) = delete;
  char *str;
};
#endif

#endif
