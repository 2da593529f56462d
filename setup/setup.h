/* The installer of the printing services package: driver globals and phases.
 *
 * Every string the driver builds is managed memory that lives for the whole run (the run
 * ends with exit, nothing is released).
 */
#ifndef SETUP_SETUP_H
#define SETUP_SETUP_H

#include "utils.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SETUP_VERSION "4.50.11"
#define MAKER_DIR "Orvel"        /* maker directory under the install base */
#define PRODUCT_DIR "vpxx"       /* product directory under the maker directory */
#define DEFAULT_BASE "/opt"      /* default install base */
#define ARCHIVE_BASE "OrvelSolarisVpxx"

/* ---- Run-wide globals (entry.cpp) ---- */

extern char *pPathToSetup;       /* directory holding the program: the install medium */
extern char *pOrvelInstallDir;   /* the work directory, /tmp/OrvelInstall by default */
extern char *pCmdLineInstallDir; /* install base named on the command line */
extern char *pCurrentInstallDir; /* base of an earlier installation, or null */
extern char *pTargetInstallDir;  /* chosen install base */
extern char *pAppDir;            /* application directory <base>/Orvel/vpxx */
extern char *pOrvelPkgName;      /* "TLVNvpxx", set by the readiness checks */
extern const char *pBinaryInstanceCheckList; /* programs whose instances block an upgrade */
extern char flCreatedTmpDir;     /* 1 when this run created the command-line work base */
extern const char *InstallInfo[6];     /* messages 10..14 and a null */
extern const char *InstallSiteInfo[5]; /* messages 10, 11, 17, 18 and a null */

/* Reads the command line into the globals; may end the run ("-v", unusable work base).
 * Returns argc. */
int parseCommandLineOptions(int argc, char **argv);
/* Managed base directory of an earlier installation found through /opt/Orvel/vpxx, or null. */
char *locatePreviousInstallation(void);
/* Cuts a path in place down to its install base; returns str (null for null). */
char *StripToBaseName(char *str);

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

#ifdef __cplusplus
}
#endif

#endif
