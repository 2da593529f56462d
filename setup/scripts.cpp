// Generated configuration: the application directory and its link under /opt, the flag
// file naming the print subsystem, the four interface scripts and the launchers. A launcher
// goes into a directory of system programs: it replaces only a launcher of this product and
// is put in place by a rename, never written through a link.
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

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

// Writes an interface script to path and makes it executable. Returns 1 when written; 0 when
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

// What every script of this product begins with: the shell line and the banner up to the
// year, the same whatever year an earlier run wrote.
std::string ownHead(const char *shell) {
  const char *year = strchr(ScriptBanner, '%');
  return std::string(shell) + "\n" +
         std::string(ScriptBanner, year ? year - ScriptBanner : strlen(ScriptBanner));
}

// True when the launcher may be put at path: nothing is there, or a regular file that begins
// with head (a launcher an earlier run wrote). A link, a device, a directory or a program
// of the system is left alone, with a warning.
bool mayReplace(const char *path, const std::string &head) {
  struct stat st;
  if (lstat(path, &st) != 0) {
    if (errno == ENOENT) return true;
    warnUser("%s cannot be examined (%s): no launcher written there", path, strerror(errno));
    return false;
  }
  const char *why = NULL;
  if (S_ISLNK(st.st_mode)) {
    why = "is a symbolic link";
  } else if (!S_ISREG(st.st_mode)) {
    why = "is not a regular file";
  } else {
    std::string text(head.size(), '\0');
    size_t got = 0;
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd >= 0 && got < text.size()) {
      ssize_t n = read(fd, &text[got], text.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    if (fd >= 0) close(fd);
    if (got != text.size() || text != head) why = "was not written by setup";
  }
  if (why) warnUser("%s %s: left alone, no launcher written there", path, why);
  return why == NULL;
}

// Writes the launcher into a new file beside path (created afresh, never through a link),
// makes it executable and renames it over path. False, reported, when a step failed; the
// new file is then removed and path stays as it was.
bool writeLauncher(const char *path, const char *shell, const char *tmpl, ...) {
  std::string dir = path, name = path;
  size_t slash = dir.rfind('/');
  if (slash == std::string::npos) {
    dir = ".";
  } else {
    dir.erase(slash == 0 ? 1 : slash);
    name.erase(0, slash + 1);
  }
  std::string fresh = dir + "/." + name + "." + std::to_string(getpid()) + ".new";
  int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
  FILE *f = fd >= 0 ? fdopen(fd, "w") : NULL;
  bool ok = f != NULL;
  if (ok) {
    va_list ap;
    va_start(ap, tmpl);
    ok = writeText(f, shell, tmpl, ap);
    va_end(ap);
    if (fflush(f) != 0 || fchmod(fd, 0755) != 0) ok = false;
  }
  int err = errno;
  if (f) {
    if (fclose(f) != 0 && ok) {
      ok = false;
      err = errno;
    }
  } else if (fd >= 0) {
    close(fd);
  }
  if (ok && rename(fresh.c_str(), path) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    if (fd >= 0) unlink(fresh.c_str());
    fprintf(stderr, "ERROR: couldn't write %s: %s\n", path, strerror(err));
    PutLogMsg("ERROR: couldn't write %s: %s\n", path, strerror(err));
  }
  return ok;
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
  if (!mayReplace(path, ownHead(shell))) return NULL;
  return writeLauncher(path, shell, tmpl, a1, a2, a3) ? path : NULL;
}
