// Package install and upgrade: pkgadd and the package's command list on a fresh install;
// file-by-file replacement, registration and a new version on an upgrade.
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SysCmd.h"
#include "setup.h"

const char *pPathToInstallf = "/usr/sbin/installf";

namespace {

constexpr const char *kWordDelims = " \n\r";
constexpr const char *kKeywords = ",dir,dirto,t,c,m,#,v,s,newdir,checkps";
constexpr const char *kAttributes = ",mode,bat,owner,group,link,name,sed";
constexpr const char *kOperators = ",<,<=,=,>,>=,";
constexpr int kListLineMax = 510;  // characters of one physical line the line reader takes

enum Keyword {
  kOther,
  kDir,
  kDirTo,
  kTouch,
  kCopy,
  kModify,
  kComment,
  kIf,
  kSet,
  kNewDir,
  kCheckPs
};
enum Attribute { kUnknown, kMode, kBat, kOwner, kGroup, kLink, kName, kSed };

// Library directories of the driver's toolkit, made when an upgrade finds no lib.
constexpr const char *kLibDirs[] = {
    "%s/lib/gtk",
    "%s/lib/gtk/modules",
    "%s/lib/gtk/modules/2.2.0",
    "%s/lib/gtk/modules/2.2.0/engines",
    "%s/lib/gtk/modules/2.2.0/immodules",
    "%s/lib/gtk/modules/2.2.0/loaders",
    "%s/lib/gtk/modules/etc",
    "%s/lib/gtk/modules/etc/gtk-2.0",
    "%s/lib/gtk/modules/etc/pango",
    "%s/lib/gtk/modules/include",
    "%s/lib/gtk/modules/modules",
    "%s/lib/gtk/modules/pango",
    "%s/lib/gtk/modules/pango/1.2.0",
    "%s/lib/gtk/modules/pango/1.2.0/modules",
};

// The running system's release, read once per package list; null when it cannot be read.
struct Release {
  bool read = false;
  char text[TOKEN_SIZE] = "";
  const char *get() {
    if (!read) {
      read = true;
      ResponseLine *out = GetCmdResponse(CMD_UNAME, NULL, " -r");
      const char *tok = out ? GetToken(out->str, " \t\r\n") : NULL;
      if (tok) snprintf(text, sizeof text, "%s", tok);
      FreeResponseList(out);
    }
    return text[0] ? text : NULL;
  }
};

// Reads the next line of the open list or map into LineBuf (GetFileLine), skipping every line
// that did not fit: its head would be a cut command (the reader never reads the rest of it as
// a line of its own). Returns 0 at the end of the file.
int readWholeLine() {
  while (GetFileLine()) {
    if (!LineCut) return 1;
    warnUser("%s: a line longer than %d characters is skipped", InputFileName, kListLineMax);
  }
  return 0;
}

// Byte-wise comparison of the system release with word under the operator.
bool conditionHolds(Release &release, const char *op, const char *word) {
  const char *sys = release.get();
  if (!sys) {
    errno = errno ? errno : ENOENT;
    perror(nlsSetupStrCvt(60));
    return false;
  }
  int c = strcmp(sys, word);
  switch (FindToken(op, kOperators)) {
    case 1:
      return c < 0;
    case 2:
      return c <= 0;
    case 3:
      return c == 0;
    case 4:
      return c > 0;
    case 5:
      return c >= 0;
    default:
      return false;
  }
}

// The rest of the line after the scan position, without its line end; null when empty.
char *restOfLine(char *state) {
  if (!state) return NULL;
  state += strspn(state, " ");
  state[strcspn(state, "\n\r")] = '\0';
  return *state ? state : NULL;
}

// Edits appDir/name with a sed script. sed writes into a temporary file of the work
// directory and its errors go to the log; the file is replaced only when sed succeeded,
// and keeps its own owner, group and permission bits (cp -p carries the temporary file's).
void sedEdit(const char *script, const char *name) {
  char *file = SaveStr("%s/%s", pAppDir, name);
  char *tmp = SaveStr("%s/%s.tmp", pOrvelInstallDir, my_name);
  char *sed = GetCmdNoFlags(CMD_SED);
  if (!sed) {
    fprintf(stderr, "ERROR: unable to locate system command 'sed'\n");
    exit(0);
  }
  // The script is the package author's sed text and goes in as written; the rest are names.
  if (SysCmd(1, LOG_FATAL, "{ %s %s %s > %s; }", Quoted(QUOTE_SHELL, "%s", sed).str, script,
             Quoted(QUOTE_SHELL, "%s", file).str, Quoted(QUOTE_SHELL, "%s", tmp).str) == 0) {
    struct stat st;
    if (stat(file, &st) == 0) {
      // chown first: it may clear set-id bits that chmod then puts back.
      if (chown(tmp, st.st_uid, st.st_gid) != 0) PutLogMsg("WARNING_MSG: chown %s\n", tmp);
      chmod(tmp, st.st_mode & 07777);
    }
    SysCmd(CMD_CP, LOG_QUIET, "%s %s", Quoted(QUOTE_SYSCMD, "%s", tmp).str,
           Quoted(QUOTE_SYSCMD, "%s", file).str);
  }
  SysCmd(CMD_RM, LOG_QUIET, "%s", Quoted(QUOTE_SYSCMD, "%s", tmp).str);
  PutMem(sed);
  PutMem(tmp);
  PutMem(file);
}

// The launcher /usr/bin/<command> for appDir/name. The command must be a plain file name: a
// "/" or a "." or ".." would put the launcher somewhere else.
void writeLauncher(const char *command, const char *name) {
  if (strchr(command, '/') || strcmp(command, ".") == 0 || strcmp(command, "..") == 0) {
    warnUser("launcher name \"%s\" is not a plain file name: no launcher written", command);
    return;
  }
  char *launcher = SaveStr("/usr/bin/%s", command);
  // The launcher's text runs the file by its name, whatever the name holds.
  GenSimpleScript(launcher, ScriptShShell, SimpleScript, pAppDir, pAppDir,
                  Quoted(QUOTE_SHELL, "%s", name).str);
  PutMem(launcher);
}

// Applies the attribute pairs that follow an action on appDir/name.
void applyAttributes(const char *name, char **state) {
  bool first = true;
  for (char *attr; (attr = strtok_r(NULL, kWordDelims, state)) != NULL; first = false) {
    Attribute a = static_cast<Attribute>(FindToken(attr, kAttributes));
    // A sed script is the rest of the line, but only as the first attribute.
    char *value = (a == kSed && first) ? restOfLine(*state) : strtok_r(NULL, kWordDelims, state);
    if (!value) return;  // incomplete pair
    const Quoted file(QUOTE_SYSCMD, "%s/%s", pAppDir, name);
    const Quoted word(QUOTE_SYSCMD, "%s", value);
    switch (a) {
      case kMode:
        SysCmd(CMD_CHMOD, LOG_FATAL, "%s %s", word.str, file.str);
        break;
      case kBat:
        writeLauncher(value, name);
        break;
      case kOwner:
        SysCmd(CMD_CHOWN, LOG_FATAL, "-R %s %s", word.str, file.str);
        break;
      case kGroup:
        SysCmd(CMD_CHGRP, LOG_FATAL, "-R %s %s", word.str, file.str);
        break;
      case kLink:
        SysCmd(CMD_LN, LOG_FATAL, "-s %s %s", file.str, word.str);
        break;
      case kName:
        SysCmd(CMD_MV, LOG_FATAL, "%s %s", file.str,
               Quoted(QUOTE_SYSCMD, "%s/%s", pAppDir, value).str);
        break;
      case kSed:
        sedEdit(value, name);
        if (first) return;  // the script took the rest of the line
        break;
      case kUnknown:
        break;
    }
  }
}

// A file of the unpacked archive named by the package list, as a word for a table command.
Quoted source(const char *listDir, const char *name) {
  return Quoted(QUOTE_SYSCMD, "%s/%s/%s", pOrvelInstallDir, listDir, name);
}

// A command line built in a 512-byte buffer and run through the shell; a line that does not
// fit is reported and never run.
struct FixedLine {
  char text[512] = "";
  bool fits = false;

  bool format(const char *fmt, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    fits = n >= 0 && n < static_cast<int>(sizeof text);
    if (!fits) {
      fprintf(stderr, "WARNING: command line too long, not run: %.60s...\n", text);
      PutLogMsg("WARNING_MSG: command line too long, not run: %s...\n", text);
    }
    return fits;
  }
  void run() const {
    if (!fits) return;
    int status = system(text);
    (void)status;
  }
};

}  // namespace

int ProcessPkgList(const char *listDir) {
  char *path = SaveStr("%s/%s/pkg.list", pOrvelInstallDir, listDir);
  OpenInputFile(path, REPORT_FATAL);
  PutMem(path);
  Release release;

  while (readWholeLine()) {
    char *state = NULL;
    char *keyword = strtok_r(LineBuf, kWordDelims, &state);
    while (keyword) {
      Keyword k = static_cast<Keyword>(FindToken(keyword, kKeywords));
      if (k == kComment) break;
      char *name = strtok_r(NULL, kWordDelims, &state);
      if (!name) break;  // a keyword without its argument does nothing

      bool act = true;
      switch (k) {
        case kDir:
          SysCmd(CMD_CP_R, LOG_WARN, "%s %s", source(listDir, name).str,
                 Quoted(QUOTE_SYSCMD, "%s", pAppDir).str);
          break;
        case kDirTo: {
          char *dest = strtok_r(NULL, kWordDelims, &state);
          if (!dest) {
            act = false;
            break;
          }
          SysCmd(CMD_CP_R, LOG_WARN, "%s %s", source(listDir, name).str,
                 Quoted(QUOTE_SYSCMD, "%s", dest).str);
          break;
        }
        case kTouch:
          SysCmd(CMD_TOUCH, LOG_WARN, "%s", Quoted(QUOTE_SYSCMD, "%s/%s", pAppDir, name).str);
          break;
        case kModify:
        case kSet:
          act = FindFile(pAppDir, name);
          break;
        case kIf: {
          char *word = strtok_r(NULL, kWordDelims, &state);
          keyword = (word && conditionHolds(release, name, word))
                        ? strtok_r(NULL, kWordDelims, &state)
                        : NULL;
          continue;  // the command after the condition, if it holds
        }
        case kNewDir: {
          if (FindFile(pAppDir, name)) {
            act = false;
            break;
          }
          // As CreateFile would make it, but with the name as one word.
          const Quoted dir(QUOTE_SYSCMD, "%s/%s", pAppDir, name);
          SysCmd(CMD_MKDIR, LOG_FATAL, "%s", dir.str);
          SysCmd(CMD_CHMOD, LOG_FATAL, "775 %s", dir.str);
          break;
        }
        case kCheckPs:
          if (QuitForRunningProcesses(name)) {
            CloseInputFile(0);
            return 1;
          }
          break;
        case kCopy:
        case kOther:
        default:
          SysCmd(CMD_CP, LOG_WARN, "%s %s", source(listDir, name).str,
                 Quoted(QUOTE_SYSCMD, "%s", pAppDir).str);
          break;
      }
      if (act) applyAttributes(name, &state);
      break;
    }
  }
  CloseInputFile(0);
  return 0;
}

void upgradeSolarisPackage(const char *pkgName, const char *workDir) {
  if (!FindFile(pAppDir, "lib")) {
    char *lib = SaveStr("%s/lib", pAppDir);
    CreateFile(lib, NULL, "755", NULL, NULL);
    PutMem(lib);
    for (const char *fmt : kLibDirs) SysCmd(CMD_MKDIR, LOG_FATAL, fmt, pAppDir);
  }

  char *map = SaveStr("%s/%s/pkgmap", workDir, pkgName);
  OpenInputFile(map, REPORT_FATAL);
  PutMem(map);
  while (readWholeLine()) {
    char *state = NULL;
    char *field[7];
    int n = 0;
    for (char *f = strtok_r(LineBuf, " \t\r\n", &state); f && n < 7;
         f = strtok_r(NULL, " \t\r\n", &state))
      field[n++] = f;
    if (n < 7 || FindToken(field[1], ",f,d,i,") != 1) continue;  // regular files only
    const char *p = field[3];
    // Every field reaches the shell through system() as one word: a "$", "(" or ";" in a
    // file name names the file and runs nothing.
    const Quoted cls(QUOTE_SHELL, "%s", field[2]), pkg(QUOTE_SHELL, "%s", pkgName);
    const Quoted type(QUOTE_SHELL, "%s", field[1]), mode(QUOTE_SHELL, "%s", field[4]);
    const Quoted owner(QUOTE_SHELL, "%s", field[5]), group(QUOTE_SHELL, "%s", field[6]);
    const bool absolute = p[0] == '/';
    const Quoted src(QUOTE_SHELL, "%s/%s/%s%s", pOrvelInstallDir, pkgName,
                     absolute ? "root" : "reloc/", p);
    const Quoted dst = absolute ? Quoted(QUOTE_SHELL, "%s", p)
                                : Quoted(QUOTE_SHELL, "%s/%s/%s", pTargetInstallDir, MAKER_DIR, p);
    // A file is registered only when its copy can be run too, so the package database
    // never claims a file that a refused line did not install.
    FixedLine reg, copy;
    bool fits = reg.format("%s -c %s %s %s %s %s %s %s 1>/dev/null 2>/dev/null", pPathToInstallf,
                           cls.str, pkg.str, dst.str, type.str, mode.str, owner.str, group.str) &&
                copy.format("cp %s %s", src.str, dst.str);
    if (fits) {
      reg.run();
      copy.run();
    }
    fputs(".", stdout);
    fflush(stdout);
  }
  FixedLine finish;
  if (finish.format("%s -f %s 1>/dev/null 2>/dev/null", pPathToInstallf,
                    Quoted(QUOTE_SHELL, "%s", pkgName).str))
    finish.run();

  // The new version goes in through a copy; the copy replaces pkginfo only when sed made it.
  const Quoted info(QUOTE_SHELL, "/var/sadm/pkg/%s/pkginfo", pkgName);
  const Quoted infoTmp(QUOTE_SHELL, "/var/sadm/pkg/%s/pkginfo.tmp", pkgName);
  const Quoted infoTmpArg(QUOTE_SYSCMD, "/var/sadm/pkg/%s/pkginfo.tmp", pkgName);
  SysCmd(CMD_RM, LOG_WARN, "%s", infoTmpArg.str);
  char line[512];
  int len = snprintf(line, sizeof line, "sed -e\"s/VERSION=[0-9.].*/VERSION=%s/\" %s >> %s",
                     SETUP_VERSION, info.str, infoTmp.str);
  int status = (len > 0 && len < static_cast<int>(sizeof line)) ? system(line) : -1;
  fputs(".", stdout);
  fflush(stdout);
  if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    SysCmd(CMD_MV, LOG_WARN, "%s %s", infoTmpArg.str,
           Quoted(QUOTE_SYSCMD, "/var/sadm/pkg/%s/pkginfo", pkgName).str);
  } else {
    PutLogMsg("WARNING_MSG: the version of %s was not rewritten\n", pkgName);
    SysCmd(CMD_RM, LOG_WARN, "%s", infoTmpArg.str);
  }
}

int installPackage(void) {
  createInstallationDirectories(pTargetInstallDir);
  createPrintingSubsystemFile(pAppDir);
  if (chdir(pOrvelInstallDir) != 0) {
    ErrorMsg(2, 1, "cannot change to the work directory %s: %s", pOrvelInstallDir, strerror(errno));
  }
  if (SysCmd(-CMD_PKGADD, LOG_WARN, "-d %s %s", Quoted(QUOTE_SYSCMD, "%s", pOrvelInstallDir).str,
             Quoted(QUOTE_SYSCMD, "%s", pOrvelPkgName).str) != 0) {
    DeleteFile(pAppDir, ".vp_cfg");
    SysCmd(CMD_RM_R, LOG_WARN, " %s", Quoted(QUOTE_SYSCMD, "%s", pAppDir).str);
    fflush(stdout);
    exit(0);
  }
  char *spool = SaveStr("/var/spool/%s", MAKER_DIR);
  createQueueScripts(spool);
  CreateFile(spool, NULL, "775", NULL, NULL);
  char *download = SaveStr("%s/%s/__vpa_download__", spool, PRODUCT_DIR);
  CreateFile(download, NULL, "777", NULL, NULL);
  PutMem(download);
  PutMem(spool);
  return ProcessPkgList(".");
}

void upgradePackage(void) {
  upgradeSolarisPackage(pOrvelPkgName, pOrvelInstallDir);
  createPrintingSubsystemFile(pAppDir);
  char *spool = SaveStr("/var/spool/%s", MAKER_DIR);
  createQueueScripts(spool);
  PutMem(spool);
}
