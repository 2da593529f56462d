/* Entry of the installer: the run-wide globals, the command line, the search for an earlier
 * installation and the start-up steps that fix every path the run works with. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "MemMgr.h"
#include "SysCmd.h"
#include "setup.h"

char *pPathToSetup = nullptr;
char *pOrvelInstallDir = nullptr;
char *pCmdLineInstallDir = nullptr;
char *pCurrentInstallDir = nullptr;
char *pTargetInstallDir = nullptr;
char *pAppDir = nullptr;
char *pOrvelPkgName = nullptr;
const char *pBinaryInstanceCheckList = ",vpadmin,vpqadmin,vprint,vprvpxxtty,VPQ,VPRM,vsf,driver,";
char flCreatedTmpDir = 0;
const char *InstallInfo[6];
const char *InstallSiteInfo[5];

namespace {

constexpr char kArgumentWords[] = ",install,-v";
constexpr unsigned kWordInstall = 1;
constexpr unsigned kWordVersion = 2;

/* Size of the buffer the link text of an earlier installation is read into; a text that
 * fills it may have been cut and is never used. */
constexpr size_t kLinkBufSize = 256;

/* 1 when path names a directory (links followed). */
int isDirectory(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

/* 1 when path can stand unquoted in the command lines the library builds (CreateFile,
 * DeleteFile) and in the generated scripts: no blank, control character or character the
 * shell would interpret. Such a path would be split or reinterpreted there, and a split path
 * given to "rm -rf" removes something else. */
int isShellSafePath(const char *path) {
  for (const unsigned char *c = reinterpret_cast<const unsigned char *>(path); *c; ++c) {
    if (*c <= ' ' || *c == 0x7f) return 0;
    if (strchr("\"'`$\\;&|<>()*?[]#~!{}^", *c) != nullptr) return 0;
  }
  return 1;
}

/* isShellSafePath of a directory named on the command line as the run will use it: a
 * relative one gets the current directory in front before the install starts. */
int isUsableDirectoryName(const char *path) {
  char cwd[4096];
  if (path[0] != '/' && path[0] != '\0' && getcwd(cwd, sizeof cwd) && !isShellSafePath(cwd))
    return 0;
  return isShellSafePath(path);
}

/* Ends the run for a directory named on the command line that cannot be used: message 3
 * and "\n\n" on standard output, status 2. */
[[noreturn]] void refuseDirectory(const char *path) {
  printf(nlsSetupStrCvt(3), path);
  printf("\n\n");
  exit(2);
}

/* The install base named on the command line: the argument cut in place to its base. */
void setInstallBase(char *arg) {
  pCmdLineInstallDir = StripToBaseName(arg);
  if (!isUsableDirectoryName(pCmdLineInstallDir)) refuseDirectory(pCmdLineInstallDir);
}

/* Rewrites an absolute path in place without empty, "." and ".." components ("/.." is "/").
 * The result is never longer than the input. */
void normalizeAbsolutePath(char *path) {
  std::string out = "/";
  std::string_view rest(path);
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      size_t last = out.rfind('/');
      out.erase(last == 0 ? 1 : last);
      continue;
    }
    if (out.size() > 1) out += '/';
    out += part;
  }
  memcpy(path, out.c_str(), out.size() + 1);
}

/* Makes arg the directory that holds the work directory: sets pOrvelInstallDir, creates the
 * directory when it is missing, and ends the run with status 2 when it cannot be had. */
void setWorkBase(const char *arg) {
  char *base = SaveStr_(arg);
  size_t len = strlen(base);
  if (len > 0 && base[len - 1] == '/') base[len - 1] = '\0';
  pOrvelInstallDir = SaveStr("%s/%sInstall", base, MAKER_DIR);

  if (!isUsableDirectoryName(base)) refuseDirectory(base);

  /* "/" loses its only character above but still names the root directory. */
  const char *probe = (base[0] == '\0' && arg[0] == '/') ? "/" : base;
  if (!isDirectory(probe)) {
    flCreatedTmpDir = 1;
    /* Logged as a warning only: the test below decides, so that a base that cannot be made
     * ends with the message for it rather than with the failure of mkdir. */
    SysCmd(CMD_MKDIR, LOG_WARN, "%s", Quoted(QUOTE_SYSCMD, "%s", base).str);
  }
  if (!isDirectory(probe)) refuseDirectory(base);
}

}  // namespace

char *StripToBaseName(char *str) {
  if (str == nullptr) return nullptr;
  char *cut = strstr(str, PRODUCT_DIR);
  if (cut != nullptr) *cut = '\0';
  cut = strstr(str, MAKER_DIR);
  if (cut != nullptr) *cut = '\0';
  size_t len = strlen(str);
  if (len > 1 && str[len - 1] == '/') str[len - 1] = '\0';
  return str;
}

int parseCommandLineOptions(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    switch (FindToken(argv[i], kArgumentWords)) {
      case kWordInstall:
        /* A trailing "install" names nothing and is ignored. */
        if (i + 1 < argc) setInstallBase(argv[++i]);
        break;
      case kWordVersion:
        fprintf(stderr, "%s %s\n", my_name, SETUP_VERSION);
        exit(0);
      default:
        if (i == 2)
          setInstallBase(argv[i]);
        else
          setWorkBase(argv[i]);
        break;
    }
  }
  return argc;
}

char *locateInstallationUnder(const char *base) {
  char probe[512];
  int n = snprintf(probe, sizeof probe, "%s/%s/%s", base, MAKER_DIR, PRODUCT_DIR);
  if (n < 0 || static_cast<size_t>(n) >= sizeof probe) return nullptr;

  struct stat st;
  if (lstat(probe, &st) != 0) return nullptr;

  if (!S_ISLNK(st.st_mode)) {
    /* A real directory is an installation whether or not its databases are there yet: the
     * upgrade road leaves what it finds in place. Anything else is not an installation and
     * is not ours to remove. */
    return S_ISDIR(st.st_mode) ? SaveStr_(base) : nullptr;
  }

  char text[kLinkBufSize] = {};
  ssize_t got = readlink(probe, text, sizeof text - 1);
  if (got < 0) return nullptr;
  if (static_cast<size_t>(got) >= sizeof text - 1) {
    /* The text may have been cut: it cannot name the base, and a link that was not read
     * whole is not judged dangling either, so it stays. */
    PutLogMsg("%s: link text too long, ignored\n", probe);
    return nullptr;
  }

  /* stat of the link itself follows a relative text from the link's own directory. */
  if (!isDirectory(probe)) {
    SysCmd(CMD_RM, LOG_WARN, "%s",
           Quoted(QUOTE_SYSCMD, "%s/%s/%s", base, MAKER_DIR, PRODUCT_DIR).str);
    return nullptr;
  }
  /* The later commands could not name this place safely. Going on as if there were no
   * earlier installation would install through the link over it: refused, as such a path on
   * the command line is, before anything is made. */
  if (!isShellSafePath(text)) refuseDirectory(text);
  char *target;
  if (text[0] == '/') {
    target = SaveStr_(text);
  } else {
    /* A relative text is read from the directory that holds the link. */
    target = SaveStr("%s/%s/%s", base, MAKER_DIR, text);
    normalizeAbsolutePath(target);
  }
  return StripToBaseName(target);
}

char *locatePreviousInstallation(void) { return locateInstallationUnder(DEFAULT_BASE); }

void startUp(int argc, char **argv) {
  /* An empty argument vector still gets a name for the log and the messages. */
  char fallbackName[] = "setup";
  char *self = (argc > 0 && argv[0] != nullptr) ? argv[0] : fallbackName;

  flUseLog = 1;
  pOrvelInstallDir = SaveStr("/tmp/%sInstall", MAKER_DIR);
  LineBuf[0] = '\0';
  pPathToSetup = GetToolPath(self);
  my_name = SaveStr_(StripPath(self));
  /* The table is resolved after the name is known: resolving it writes the first log line. */
  InitSysCmdList(0);

  /* The first message fixes the language for the run. */
  for (int i = 0; i < 5; ++i) InstallInfo[i] = nlsSetupStrCvt(10 + i);
  InstallInfo[5] = nullptr;
  InstallSiteInfo[0] = nlsSetupStrCvt(10);
  InstallSiteInfo[1] = nlsSetupStrCvt(11);
  InstallSiteInfo[2] = nlsSetupStrCvt(17);
  InstallSiteInfo[3] = nlsSetupStrCvt(18);
  InstallSiteInfo[4] = nullptr;

  parseCommandLineOptions(argc, argv);
  pCurrentInstallDir = locatePreviousInstallation();
  if (pCmdLineInstallDir != nullptr)
    pTargetInstallDir = pCmdLineInstallDir;
  else if (pCurrentInstallDir != nullptr)
    pTargetInstallDir = pCurrentInstallDir;
  else
    pTargetInstallDir = SaveStr_(DEFAULT_BASE);
  pAppDir = SaveStr("%s/%s/%s", pTargetInstallDir, MAKER_DIR, PRODUCT_DIR);
}
