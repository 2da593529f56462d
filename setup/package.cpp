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

// The "v" test of the package list: the condition on the running system's release. A
// release that cannot be read is reported (message 60) and fails the condition.
int testRelease(const char *op, const char *word, void *arg) {
  const char *sys = static_cast<Release *>(arg)->get();
  if (!sys) {
    errno = errno ? errno : ENOENT;
    perror(nlsSetupStrCvt(60));
    return 0;
  }
  return releaseConditionHolds(sys, op, word);
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

// Applies the attribute pairs that follow the command of line, on appDir/name.
void applyAttributes(PkgListLine *line) {
  const char *name = line->name;
  int a;
  char *value;
  while (nextPkgListAttribute(line, &a, &value)) {
    const Quoted file(QUOTE_SYSCMD, "%s/%s", pAppDir, name);
    const Quoted word(QUOTE_SYSCMD, "%s", value);
    switch (a) {
      case PKGATTR_MODE:
        SysCmd(CMD_CHMOD, LOG_FATAL, "%s %s", word.str, file.str);
        break;
      case PKGATTR_BAT:
        writeLauncher(value, name);
        break;
      case PKGATTR_OWNER:
        SysCmd(CMD_CHOWN, LOG_FATAL, "-R %s %s", word.str, file.str);
        break;
      case PKGATTR_GROUP:
        SysCmd(CMD_CHGRP, LOG_FATAL, "-R %s %s", word.str, file.str);
        break;
      case PKGATTR_LINK:
        SysCmd(CMD_LN, LOG_FATAL, "-s %s %s", file.str, word.str);
        break;
      case PKGATTR_NAME:
        SysCmd(CMD_MV, LOG_FATAL, "%s %s", file.str,
               Quoted(QUOTE_SYSCMD, "%s/%s", pAppDir, value).str);
        break;
      case PKGATTR_SED:
        sedEdit(value, name);
        break;
      default:
        break;
    }
  }
}

// A file of the unpacked archive named by the package list, as a word for a table command.
Quoted source(const char *listDir, const char *name) {
  return Quoted(QUOTE_SYSCMD, "%s/%s/%s", pOrvelInstallDir, listDir, name);
}

// A command line that did not fit its buffer: reported, never run.
void reportTooLong(const char *text) {
  fprintf(stderr, "WARNING: command line too long, not run: %.60s...\n", text);
  PutLogMsg("WARNING_MSG: command line too long, not run: %s...\n", text);
}

// A command line built in a PKGMAP_LINE_SIZE buffer and run through the shell; a line that
// does not fit is reported and never run.
struct FixedLine {
  char text[PKGMAP_LINE_SIZE] = "";
  bool fits = false;

  bool format(const char *fmt, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    fits = n >= 0 && n < static_cast<int>(sizeof text);
    if (!fits) reportTooLong(text);
    return fits;
  }
  void run() const {
    if (fits) run(text);
  }
  // Runs a line; its exit status is not examined.
  static void run(const char *line) {
    int status = system(line);
    (void)status;
  }
};

}  // namespace

// Reads the next line of the open list or map into LineBuf (GetFileLine), skipping every line
// that did not fit: its head would be a cut command (the reader never reads the rest of it as
// a line of its own). Returns 0 at the end of the file.
int readWholeLine(void) {
  while (GetFileLine()) {
    if (!LineCut) return 1;
    warnUser("%s: a line longer than %d characters is skipped", InputFileName, kListLineMax);
  }
  return 0;
}

int releaseConditionHolds(const char *system, const char *op, const char *release) {
  int c = strcmp(system, release);
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
      return 0;
  }
}

int parsePkgListLine(char *text, PkgListCondition holds, void *arg, PkgListLine *line) {
  *line = PkgListLine{PKGLIST_NONE, NULL, NULL, NULL, 0};
  char *state = NULL;
  char *keyword = strtok_r(text, kWordDelims, &state);
  while (keyword) {
    int k = static_cast<int>(FindToken(keyword, kKeywords));
    if (k == PKGLIST_COMMENT) break;
    char *name = strtok_r(NULL, kWordDelims, &state);
    if (!name) break;  // a keyword without its argument does nothing
    if (k == PKGLIST_IF) {
      char *release = strtok_r(NULL, kWordDelims, &state);
      if (!release || !holds(name, release, arg)) break;
      keyword = strtok_r(NULL, kWordDelims, &state);
      continue;  // the command after the condition
    }
    char *dest = NULL;
    if (k == PKGLIST_DIRTO && (dest = strtok_r(NULL, kWordDelims, &state)) == NULL) break;
    *line = PkgListLine{k, name, dest, state, 0};
    break;
  }
  return line->command;
}

int nextPkgListAttribute(PkgListLine *line, int *attr, char **value) {
  if (line->scan == NULL) return 0;
  char *word = strtok_r(NULL, kWordDelims, &line->scan);
  int a = word ? static_cast<int>(FindToken(word, kAttributes)) : PKGATTR_OTHER;
  // A sed script is the rest of the line, but only as the first attribute.
  bool wholeRest = a == PKGATTR_SED && line->pairs == 0;
  char *v = !word       ? NULL
            : wholeRest ? restOfLine(line->scan)
                        : strtok_r(NULL, kWordDelims, &line->scan);
  if (!v || wholeRest)
    line->scan = NULL;  // the end, an incomplete pair, or the script took the rest
  if (!v) return 0;
  line->pairs++;
  *attr = a;
  *value = v;
  return 1;
}

int parsePkgmapLine(char *text, PkgmapFile *file) {
  char *field[7];
  int n = 0;
  char *state = NULL;
  for (char *f = strtok_r(text, " \t\r\n", &state); f && n < 7;
       f = strtok_r(NULL, " \t\r\n", &state))
    field[n++] = f;
  if (n < 7 || FindToken(field[1], ",f,d,i,") != 1) return 0;  // regular files only
  *file = PkgmapFile{field[0], field[1], field[2], field[3], field[4], field[5], field[6]};
  return 1;
}

int pkgmapCommands(const PkgmapFile *file, const char *pkgName, char *reg, char *copy) {
  const char *p = file->path;
  // Every field reaches the shell through system() as one word: a "$", "(" or ";" in a
  // file name names the file and runs nothing.
  const Quoted cls(QUOTE_SHELL, "%s", file->cls), pkg(QUOTE_SHELL, "%s", pkgName);
  const Quoted type(QUOTE_SHELL, "%s", file->type), mode(QUOTE_SHELL, "%s", file->mode);
  const Quoted owner(QUOTE_SHELL, "%s", file->owner), group(QUOTE_SHELL, "%s", file->group);
  const bool absolute = p[0] == '/';
  const Quoted src(QUOTE_SHELL, "%s/%s/%s%s", pOrvelInstallDir, pkgName,
                   absolute ? "root" : "reloc/", p);
  const Quoted dst = absolute ? Quoted(QUOTE_SHELL, "%s", p)
                              : Quoted(QUOTE_SHELL, "%s/%s/%s", pTargetInstallDir, MAKER_DIR, p);
  int n = snprintf(reg, PKGMAP_LINE_SIZE, "%s -c %s %s %s %s %s %s %s 1>/dev/null 2>/dev/null",
                   pPathToInstallf, cls.str, pkg.str, dst.str, type.str, mode.str, owner.str,
                   group.str);
  if (n < 0 || n >= PKGMAP_LINE_SIZE) return 1;
  n = snprintf(copy, PKGMAP_LINE_SIZE, "cp %s %s", src.str, dst.str);
  return (n < 0 || n >= PKGMAP_LINE_SIZE) ? 2 : 0;
}

int ProcessPkgList(const char *listDir) {
  char *path = SaveStr("%s/%s/pkg.list", pOrvelInstallDir, listDir);
  OpenInputFile(path, REPORT_FATAL);
  PutMem(path);
  Release release;

  while (readWholeLine()) {
    PkgListLine line;
    bool act = true;
    switch (parsePkgListLine(LineBuf, testRelease, &release, &line)) {
      case PKGLIST_NONE:
        continue;
      case PKGLIST_DIR:
        SysCmd(CMD_CP_R, LOG_WARN, "%s %s", source(listDir, line.name).str,
               Quoted(QUOTE_SYSCMD, "%s", pAppDir).str);
        break;
      case PKGLIST_DIRTO:
        SysCmd(CMD_CP_R, LOG_WARN, "%s %s", source(listDir, line.name).str,
               Quoted(QUOTE_SYSCMD, "%s", line.dest).str);
        break;
      case PKGLIST_TOUCH:
        SysCmd(CMD_TOUCH, LOG_WARN, "%s", Quoted(QUOTE_SYSCMD, "%s/%s", pAppDir, line.name).str);
        break;
      case PKGLIST_MODIFY:
      case PKGLIST_SET:
        act = FindFile(pAppDir, line.name);
        break;
      case PKGLIST_NEWDIR: {
        if (FindFile(pAppDir, line.name)) {
          act = false;
          break;
        }
        // As CreateFile would make it, but with the name as one word.
        const Quoted dir(QUOTE_SYSCMD, "%s/%s", pAppDir, line.name);
        SysCmd(CMD_MKDIR, LOG_FATAL, "%s", dir.str);
        SysCmd(CMD_CHMOD, LOG_FATAL, "775 %s", dir.str);
        break;
      }
      case PKGLIST_CHECKPS:
        if (QuitForRunningProcesses(line.name)) {
          CloseInputFile(0);
          return 1;
        }
        break;
      default:  // "c" and any word not in the list
        SysCmd(CMD_CP, LOG_WARN, "%s %s", source(listDir, line.name).str,
               Quoted(QUOTE_SYSCMD, "%s", pAppDir).str);
        break;
    }
    if (act) applyAttributes(&line);
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
    PkgmapFile file;
    if (!parsePkgmapLine(LineBuf, &file)) continue;
    // A file is registered only when its copy can be run too, so the package database
    // never claims a file that a refused line did not install.
    char reg[PKGMAP_LINE_SIZE], copy[PKGMAP_LINE_SIZE];
    int tooLong = pkgmapCommands(&file, pkgName, reg, copy);
    if (tooLong) {
      reportTooLong(tooLong == 1 ? reg : copy);
    } else {
      FixedLine::run(reg);
      FixedLine::run(copy);
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
