// Space check: the work area must take the staged and unpacked package, the install area
// the installed files. Space that a leftover work directory or an installed application
// directory already takes counts as available; both areas on one partition make one demand.
#include <float.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "SysCmd.h"
#include "setup.h"

namespace {

constexpr double kMargin = 40;   // added to each size read from the medium
constexpr double kMinimum = 17;  // free space the install base's partition must exceed

// The decimal number at the start of text (after blanks; anything after it is ignored), or
// -1 when there is none: an empty file, a sign, "nan", "inf", hexadecimal or binary text
// would otherwise read as 0, as a negative need or as no limit at all.
double decimalSize(const char *text) {
  const char *p = text + strspn(text, " \t\r\n");
  const char *start = p;
  if (*p == '+') p++;
  const char *digits = p;
  p += strspn(p, "0123456789");
  size_t whole = static_cast<size_t>(p - digits);
  if (*p == '.') p += 1 + strspn(p + 1, "0123456789");
  if (whole == 0 && p - digits < 2) return -1;  // no digit at all
  if (*p == 'e' || *p == 'E') {
    const char *e = p + 1 + (p[1] == '+' || p[1] == '-');
    size_t n = strspn(e, "0123456789");
    if (n > 0) p = e + n;
  }
  std::string number(start, p);
  double size = strtod(number.c_str(), NULL);
  return size >= 0 && size <= DBL_MAX ? size : -1;
}

// The size the medium's file gives, plus the margin; a file that is missing or holds no
// decimal number ends the run with message 65.
double readSize(const char *name) {
  double size = GetFileContent(pPathToSetup, name) ? decimalSize(LineBuf) : -1;
  if (size < 0) {
    fputs(nlsSetupStrCvt(65), stdout);
    exit(0);
  }
  return size + kMargin;
}

[[noreturn]] void refuseShared(const char *workDir, double need) {
  printf(nlsSetupStrCvt(56), workDir, pTargetInstallDir, need);
  fflush(stdout);
  exit(0);
}

}  // namespace

void FreeSpaceForInstall(const char *workDir, const char *targetBase, const char *makerDir) {
  double needInstall = readSize("isize");
  double needWork = readSize("tsize");

  DiskSpace w = {}, ins = {}, s = {};
  int workExists = 0;
  char *workPart = FindExistingPath(workDir, &workExists);
  if (!GetDiskSpace(workPart, &w)) return;  // nothing known about the work area
  if (workExists) w.avail += DUPath(workDir);

  char *appDir = SaveStr("%s/%s/%s", targetBase, makerDir, PRODUCT_DIR);
  char *makerPath = SaveStr("%s/%s", targetBase, makerDir);
  const char *installPart;  // the existing part of the install area that was measured
  const char *minimumDir = NULL;
  if (FindFile(appDir, NULL)) {
    int appExists = 0;
    installPart = FindExistingPath(appDir, &appExists);
    GetDiskSpace(installPart, &ins);
    ins.avail += DUPath(appDir);  // an upgrade in place frees what it replaces
  } else if (FindFile(makerPath, NULL)) {
    installPart = minimumDir = makerPath;
    GetDiskSpace(installPart, &ins);
  } else if (FindFile(targetBase, NULL)) {
    installPart = minimumDir = targetBase;
    GetDiskSpace(installPart, &ins);
  } else {
    installPart = minimumDir = "/";
    GetDiskSpace(installPart, &ins);
  }

  if (minimumDir) {
    GetDiskSpace(minimumDir, &s);
    if (s.avail <= kMinimum) refuseShared(workDir, needInstall + needWork);
  }

  if (strcmp(w.text, ins.text) == 0) {
    // One partition: what is free there, plus what the leftovers counted in take.
    GetDiskSpace(installPart, &s);
    double avail = (s.avail < w.avail || s.avail < ins.avail) ? w.avail + ins.avail - s.avail
                                                              : MaxD(w.avail, ins.avail);
    if (avail < needInstall + needWork) refuseShared(workDir, needInstall + needWork);
  } else if (w.avail < needWork) {
    printf(nlsSetupStrCvt(49), pOrvelInstallDir, needWork);
    exit(0);
  } else if (ins.avail < needInstall) {
    printf(nlsSetupStrCvt(55), pTargetInstallDir, needInstall);
    exit(0);
  }
  PutMem(appDir);
  PutMem(makerPath);
  PutMem(workPart);
}
