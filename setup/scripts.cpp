// Generated configuration: the application directory and its link under /opt, the flag
// file naming the print subsystem, the four interface scripts and the launchers.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include "SysCmd.h"
#include "setup.h"

namespace {

constexpr const char *kPrintconfUtil = "/usr/share/printconf/util";

int currentYear() {
  time_t now = time(NULL);
  struct tm local;
  if (!localtime_r(&now, &local)) return 1970;
  return local.tm_year + 1900;
}

// Writes the shell line, the banner and the filled template to f. False when a write failed.
bool writeText(FILE *f, const char *shell, const char *tmpl, va_list ap) {
  bool ok = fprintf(f, "%s\n", shell) >= 0;
  if (fprintf(f, ScriptBanner, currentYear()) < 0) ok = false;
  if (vfprintf(f, tmpl, ap) < 0) ok = false;
  return ok;
}

// Writes a script to path and makes it executable. Returns 1 when written; 0 when
// the file cannot be opened (OpenFile reports it) or the text could not be written whole (a
// cut script is never made executable).
int writeScript(const char *path, const char *shell, const char *tmpl, ...) {
  FILE *f = OpenFile(NULL, path, "w+", REPORT_WARN);
  if (!f) return 0;
  va_list ap;
  va_start(ap, tmpl);
  bool ok = writeText(f, shell, tmpl, ap);
  va_end(ap);
  if (fclose(f) != 0) ok = false;
  if (!ok) {
    fprintf(stderr, "ERROR: couldn't write %s\n", path);
    return 0;
  }
  chmod(path, 0755);
  return 1;
}

}  // namespace

void createInstallationDirectories(const char *base) {
  if (strcmp(base, DEFAULT_BASE) == 0) {
    CreateFile(pAppDir, NULL, "755", NULL, NULL);
    return;
  }
  char *app = SaveStr("%s/%s/%s", base, MAKER_DIR, PRODUCT_DIR);
  CreateFile(app, NULL, "775", NULL, NULL);
  PutMem(app);
  char *optMaker = SaveStr("%s/%s", DEFAULT_BASE, MAKER_DIR);
  if (GetFileType(optMaker) == FT_NONE) CreateFile(optMaker, NULL, "775", NULL, NULL);
  PutMem(optMaker);
  SysCmd(CMD_LN, LOG_FATAL, "-s %s %s",
         Quoted(QUOTE_SYSCMD, "%s/%s/%s", base, MAKER_DIR, PRODUCT_DIR).str,
         Quoted(QUOTE_SYSCMD, "%s/%s/%s", DEFAULT_BASE, MAKER_DIR, PRODUCT_DIR).str);
}

void createPrintingSubsystemFile(const char *appDir) {
  const char *flag = " V5 ";
  if (SniffLprng()) flag = " LPRng ";
  if (SniffCUPS()) flag = " CUPS ";  // CUPS wins over LPRng
  char *path = SaveStr("%s/.vp_cfg", appDir);
  CreateTextFile(path, "wt", 0644, "%s", flag);
  PutMem(path);
}

void createQueueScripts(const char *spoolBase) {
  char *spoolDir = SaveStr("%s/%s", spoolBase, PRODUCT_DIR);
  char *queue = SaveStr("%s/%s", pAppDir, "OrvelPrintvpxx");
  char *v4 = SaveStr("%s/%s", pAppDir, "v4DriverScript");
  char *v5 = SaveStr("%s/%s", pAppDir, "v5DriverScript");
  char *vsf = SaveStr("%s/%s%s", pAppDir, MAKER_DIR, "VSF");

  generateOrvelPrintvpxxScript(queue, ScriptShShell, OrvelPrintvpxxScript);
  generatev4v5DriverScript(v4, ScriptShShell, pv4DriverScript);
  generatev4v5DriverScript(v5, ScriptShShell, pv5DriverScript);
  generateOrvelVSFScript(vsf, ScriptShShell, OrvelVSFScript, spoolDir);

  if (SniffLprng() && GetFileType(kPrintconfUtil) != FT_NONE &&
      !FindFile(kPrintconfUtil, "OrvelPrintvpxx")) {
    SysCmd(
        CMD_LN, LOG_WARN, "-s %s %s",
        Quoted(QUOTE_SYSCMD, "%s/%s/%s/OrvelPrintvpxx", pTargetInstallDir, MAKER_DIR, PRODUCT_DIR)
            .str,
        Quoted(QUOTE_SYSCMD, "%s/OrvelPrintvpxx", kPrintconfUtil).str);
  }
  PutMem(vsf);
  PutMem(v5);
  PutMem(v4);
  PutMem(queue);
  PutMem(spoolDir);
}

int generateOrvelPrintvpxxScript(const char *path, const char *shell, const char *tmpl) {
  return writeScript(path, shell, tmpl, pAppDir, PRODUCT_DIR, "vprintvpxx", "vprintvpxx",
                     PRODUCT_DIR, PRODUCT_DIR, PRODUCT_DIR);
}

int generatev4v5DriverScript(const char *path, const char *shell, const char *tmpl) {
  return writeScript(path, shell, tmpl, pAppDir, "v");
}

int generateOrvelVSFScript(const char *path, const char *shell, const char *tmpl,
                           const char *spoolDir) {
  return writeScript(path, shell, tmpl, pAppDir, spoolDir);
}

const char *GenSimpleScript(const char *path, const char *shell, const char *tmpl, const char *a1,
                            const char *a2, const char *a3) {
  writeScript(path, shell, tmpl, a1, a2, a3);
  return path;
}
