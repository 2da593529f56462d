// The install sequence after start-up: space, running programs, relocation of an earlier
// installation, staging, the install proper, clean-up.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SysCmd.h"
#include "setup.h"

namespace {

// The link that always leads to the application directory, wherever the base is.
constexpr const char *kProbeBase = DEFAULT_BASE;

[[noreturn]] void failWorkDir(const char *what, const char *dir) {
  fprintf(stderr, "ERROR: %s %s: %s\n", what, dir, strerror(errno));
  fputs("Remove it or choose another work area (setup /new_work_area_path).\n", stderr);
  exit(1);
}

void enterWorkDir() {
  if (chdir(pOrvelInstallDir) != 0)
    failWorkDir("cannot change to the work directory", pOrvelInstallDir);
}

// Runs one maintenance command of the installed tool; its status does not matter.
void runMaintenance(const char *option) {
  char line[512];
  int n =
      snprintf(line, sizeof line, "%s %s", Quoted(QUOTE_SHELL, "%s/vpqadmin", pAppDir).str, option);
  if (n > 0 && n < static_cast<int>(sizeof line)) {
    int status = system(line);
    (void)status;
  }
  fputs(".", stdout);
}

// True when the chosen application directory is the earlier one under another spelling of
// its base ("//opt", "/opt/.", a link to the base): the relocation would first remove it
// and then find nothing to move. A link standing at the new place itself does not count:
// the relocation replaces such a link with the directory.
bool isEarlierApplicationDirectory() {
  char *earlier = SaveStr("%s/%s/%s", pCurrentInstallDir, MAKER_DIR, PRODUCT_DIR);
  struct stat chosen, found;
  bool same = lstat(pAppDir, &chosen) == 0 && !S_ISLNK(chosen.st_mode) &&
              stat(earlier, &found) == 0 && chosen.st_dev == found.st_dev &&
              chosen.st_ino == found.st_ino;
  PutMem(earlier);
  return same;
}

// Directories named on the command line relative to where setup was started ("setup
// mywork", "setup install export/opt") are made absolute: staging changes the current
// directory, the clean-up removes the work directory from "/", and the link under /opt must
// lead to the application directory from anywhere. A path is left as it is when the current
// directory cannot be named, and an empty base stays empty (its directories hang off "/").
// Returns a managed string, or path itself.
char *absolutePath(char *path) {
  if (path[0] == '/' || path[0] == '\0') return path;
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return SaveStr("%s/%s", strcmp(cwd, "/") == 0 ? "" : cwd, path);
}

void makePathsAbsolute() {
  pOrvelInstallDir = absolutePath(pOrvelInstallDir);
  if (pTargetInstallDir[0] != '/' && pTargetInstallDir[0] != '\0') {
    pTargetInstallDir = absolutePath(pTargetInstallDir);
    pAppDir = SaveStr("%s/%s/%s", pTargetInstallDir, MAKER_DIR, PRODUCT_DIR);
  }
}

}  // namespace

void relocatePreviousInstallation(void) {
  if (isEarlierApplicationDirectory()) return;  // already in place: nothing to move
  SysCmd(CMD_RM_R, LOG_WARN, " %s", Quoted(QUOTE_SYSCMD, "%s", pAppDir).str);
  char *makerPath = SaveStr("%s/%s", pTargetInstallDir, MAKER_DIR);
  CreateFile(makerPath, NULL, "755", NULL, NULL);
  PutMem(makerPath);
  SysCmd(CMD_MV, LOG_FATAL, "-f %s %s",
         Quoted(QUOTE_SYSCMD, "%s/%s/%s", pCurrentInstallDir, MAKER_DIR, PRODUCT_DIR).str,
         Quoted(QUOTE_SYSCMD, "%s/%s", pTargetInstallDir, MAKER_DIR).str);

  char probe[512];
  snprintf(probe, sizeof probe, "%s/%s/%s", kProbeBase, MAKER_DIR, PRODUCT_DIR);
  if (strcmp(probe, pAppDir) != 0) {
    SysCmd(CMD_RM, LOG_WARN, "%s", Quoted(QUOTE_SYSCMD, "%s", probe).str);
    SysCmd(CMD_LN, LOG_FATAL, "-s %s %s",
           Quoted(QUOTE_SYSCMD, "%s/%s/%s", pTargetInstallDir, MAKER_DIR, PRODUCT_DIR).str,
           Quoted(QUOTE_SYSCMD, "%s", probe).str);
  }
}

int installFromSite(const char *workDir) {
  // The work directory must be new: staging appends to the archive, and a directory this
  // run did not make could hold anything.
  DeleteFile(workDir, NULL);
  if (mkdir(workDir, 0777) != 0) failWorkDir("cannot create the work directory", workDir);
  copyMediaFiles();
  Install();
  return 0;
}

int Install(void) {
  if (!readyForInstallation()) return 0;

  genZFile();
  SysCmd(CMD_UNCOMPRESS, LOG_FATAL, "%s",
         Quoted(QUOTE_SYSCMD, "%s/%s.tar.Z", pOrvelInstallDir, ARCHIVE_BASE).str);
  enterWorkDir();
  SysCmd(CMD_TAR_X, LOG_FATAL, "%s",
         Quoted(QUOTE_SYSCMD, "%s/%s.tar", pOrvelInstallDir, ARCHIVE_BASE).str);
  char *tarName = SaveStr("%s.tar", ARCHIVE_BASE);
  DeleteFile(pOrvelInstallDir, tarName);
  PutMem(tarName);

  if (!pCurrentInstallDir) {
    if (installPackage()) return 1;  // the user chose to quit at a package-list check
  } else {
    upgradePackage();
  }

  SysCmd(CMD_CHMOD, LOG_QUIET, "755 %s",
         Quoted(QUOTE_SYSCMD, "%s/%s", pTargetInstallDir, MAKER_DIR).str);
  return 0;
}

void OrvelClean(const char *workDir) {
  if (chdir("/") != 0) {
    // the removal below uses an absolute path
  }
  SysCmd(CMD_RM_R, LOG_WARN, " %s", Quoted(QUOTE_SYSCMD, "%s", workDir).str);
  if (flCreatedTmpDir) {
    if (chdir(kProbeBase) == 0)
      SysCmd(CMD_RM_R, LOG_WARN, " %s", Quoted(QUOTE_SYSCMD, "%s", pOrvelInstallDir).str);
    // The work base this run made goes too, when nothing else was put there.
    char *base = SaveStr_(pOrvelInstallDir);
    char *slash = strrchr(base, '/');
    if (slash && slash != base) {
      *slash = '\0';
      rmdir(base);
    }
    PutMem(base);
  }
  runMaintenance("-upgrade");
  runMaintenance("-clean");
  fputs("\n", stdout);
  fflush(stdout);
}

void runInstallSequence(void) {
  makePathsAbsolute();
  FreeSpaceForInstall(pOrvelInstallDir, pTargetInstallDir, MAKER_DIR);
  if (pCurrentInstallDir) {
    if (QuitForRunningProcesses(pBinaryInstanceCheckList)) exit(0);
    if (strcmp(pTargetInstallDir, pCurrentInstallDir) != 0) relocatePreviousInstallation();
  }
  installFromSite(pOrvelInstallDir);
  OrvelClean(pOrvelInstallDir);
  exit(0);
}
