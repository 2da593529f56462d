/* Host probes: which print spooler is present, who runs the program, the host name. */
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

constexpr int kNameSize = 256;

/* Cuts text at its first newline or carriage return. */
void CutAtLineEnd(char *text) { text[strcspn(text, "\r\n")] = '\0'; }

}  // namespace

/* 1 when the lpd of the command table answers "-V" with a line naming LPRng, else 0 (also
 * when there is no lpd). */
int SniffLprng(void) {
  if (!TestCmd(CMD_LPD)) return 0;
  ResponseLine *lines = GetCmdResponse(CMD_LPD, "LPRng", "%s", " -V 2>&1");
  int found = lines != nullptr;
  FreeResponseList(lines);
  return found;
}

/* 1 when a process named "cupsd" is running, else 0. */
int SniffCUPS(void) {
  char *report = CheckProcTableForExecs("cupsd");
  if (!report) return 0;
  PutMem(report);
  return 1;
}

/* The name of the user running the program, managed (caller releases with PutMem): the first
 * line of whoami when the command table has it and it prints a name; otherwise "root" for
 * user id 0 and "User ID:  <uid>" for others. Null when whoami cannot be started. */
char *GetUserName(void) {
  char *cmd = GetCmd(CMD_WHOAMI);
  if (cmd) {
    FILE *pipe = popen(cmd, "r");
    PutMem(cmd);
    if (!pipe) return nullptr;
    char name[kNameSize];
    if (!fgets(name, sizeof name, pipe)) name[0] = '\0';
    pclose(pipe);
    CutAtLineEnd(name);
    if (name[0]) return SaveStr_(name);
    /* whoami knew no name for this user: fall back to the user id. */
  }
  uid_t uid = getuid();
  if (uid == 0) return SaveStr_("root");
  return SaveStr("User ID:  %d", static_cast<int>(uid));
}

/* The host name cut at its first line end, managed; null when it cannot be read. */
char *GetHostname(void) {
  char name[kNameSize];
  if (gethostname(name, sizeof name) != 0) return nullptr;
  name[sizeof name - 1] = '\0';
  CutAtLineEnd(name);
  return SaveStr_(name);
}
