// Readiness checks: the user, the operating-system release, an older print daemon, and the
// programs of an earlier installation that must not run while it is replaced.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "SysCmd.h"
#include "TextMenu.h"
#include "setup.h"

namespace {

constexpr const char *kAnswers = ",y,yes,n,no,";
constexpr const char *kRcDir = "/etc/rc2.d";
constexpr int kPolls = 6;        // checks while waiting for programs to end
constexpr int kPollSeconds = 5;  // pause between two checks

// Refuses releases that sort before 5.6 byte-wise, except "5.10" (which sorts before 5.6
// but is supported). Ends the run when the release is refused. An answer without a word
// names no release, like no answer at all: nothing to check against.
void checkRelease() {
  ResponseLine *out = GetCmdResponse(CMD_UNAME, NULL, " -r");
  if (!out) return;
  char release[TOKEN_SIZE];
  const char *tok = GetToken(out->str, " \t\r\n");
  snprintf(release, sizeof release, "%s", tok ? tok : "");
  FreeResponseList(out);
  if (release[0] == '\0') return;
  if (strcmp(release, "5.6") < 0 && strcmp(release, "5.10") != 0) {
    fputs(nlsSetupStrCvt(61), stderr);
    OrvelClean(pOrvelInstallDir);
    exit(0);
  }
}

// The older daemon's start and stop scripts would start it again at the next boot.
void removeOldDaemonScripts() {
  static const char *const kScripts[] = {"KOrvelPrintD", "SOrvelPrintD"};
  for (const char *name : kScripts) {
    if (FindFile(kRcDir, name)) DeleteFile(kRcDir, name);
  }
}

// Asks until the answer is one of the four words. End of input counts as "no".
void askToContinue() {
  for (;;) {
    fputs(nlsSetupStrCvt(63), stdout);
    fflush(stdout);
    if (!fgets(LineBuf, 511, stdin)) {
      fputs("\n", stdout);
      exit(0);
    }
    switch (FindToken(GetToken(LineBuf, " \t\r\n"), kAnswers)) {
      case 1:  // y
      case 2:  // yes
        removeOldDaemonScripts();
        return;
      case 3:  // n
      case 4:  // no
        exit(0);
      default:
        break;  // anything else: ask again
    }
  }
}

}  // namespace

int readyForInstallation(void) {
  char *user = GetUserName();
  if (!user || strcmp(user, "root") != 0) {
    printf(nlsSetupStrCvt(35), user ? user : "?", my_name);
    fflush(stdout);
    flExitTextMenu = 1;
    if (user) PutMem(user);
    return 0;
  }
  PutMem(user);

  pOrvelPkgName = SaveStr("TLVN%s", PRODUCT_DIR);
  checkRelease();

  if (FindFile(pAppDir, "VPrintD") || FindFile(pAppDir, "VPrintDStop")) {
    printf(nlsSetupStrCvt(62), MAKER_DIR, MAKER_DIR, MAKER_DIR, PRODUCT_DIR);
    askToContinue();
  }
  return 1;
}

int QuitForRunningProcesses(const char *list) {
  const char *running = nlsSetupStrCvt(66);
  const char *would = nlsSetupStrCvt(67);
  const char *wait = nlsSetupStrCvt(68);
  const char *quit = nlsSetupStrCvt(69);
  const char *prompt = nlsSetupStrCvt(70);

  for (;;) {
    char *report = CheckProcTableForExecs(list);
    if (!report) return 0;
    printf("%s%s\n%s%s%s%s", running, report, would, wait, quit, prompt);
    fflush(stdout);
    PutMem(report);

    char choice = 0;
    if (scanf("%c%*c", &choice) == EOF) {  // end of input: as "quit"
      fputs("\n", stdout);
      return 1;
    }
    if (choice == '2') return 1;
    if (choice != '1') continue;

    for (int i = 0; i < kPolls; i++) {
      sleep(kPollSeconds);
      report = CheckProcTableForExecs(list);
      if (!report) return 0;
      PutMem(report);
    }
  }
}
