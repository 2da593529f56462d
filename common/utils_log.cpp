/* The run's log file /tmp/<my_name>.log and the error-reporting calls. */
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SysCmd.h"
#include "utils.h"

namespace {
char logDir[] = "/tmp";
char firstMessage = 1; /* the first message of a run starts a fresh log */

constexpr size_t kNameSize = 256;

/* "/tmp/<my_name>.log" into buf; false when it does not fit. */
bool LogPath(char *buf, size_t size) {
  int n = snprintf(buf, size, "%s/%s.log", logDir, my_name ? my_name : "");
  return n >= 0 && static_cast<size_t>(n) < size;
}

/* Opens the log for one message without following a link, and only when it is a regular
 * file; "wt" semantics when truncate is set, else "at". Null on any failure. */
FILE *OpenLog(const char *path, bool truncate) {
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (truncate && ftruncate(fd, 0) != 0)) {
    close(fd);
    return nullptr;
  }
  FILE *fp = fdopen(fd, "a");
  if (fp == nullptr) close(fd);
  return fp;
}
}  // namespace

char flUseLog = 0;
char *pLogPath = logDir;
FILE *pLog = nullptr;

int LogIsSafe(void) {
  char path[kNameSize + 16];
  if (!LogPath(path, sizeof path)) return 0;
  struct stat st;
  if (lstat(path, &st) != 0) return errno == ENOENT ? 1 : 0;
  return S_ISREG(st.st_mode) ? 1 : 0;
}

void PutLogMsg(const char *fmt, ...) {
  if (!flUseLog || fmt == nullptr) return;
  pLogPath = logDir;
  bool truncate = firstMessage != 0;
  firstMessage = 0;

  const char *name = my_name ? my_name : "";
  char file[kNameSize];
  char path[kNameSize + 16];
  int n = snprintf(file, sizeof file, "%s.log", name);
  if (n < 0 || static_cast<size_t>(n) >= sizeof file || !LogPath(path, sizeof path)) {
    fprintf(stderr, "ERROR: couldn't open %s/%s.log\n", pLogPath, name);
    return;
  }
  if (!FindFile(pLogPath, file)) {
    SysCmd(CMD_TOUCH, LOG_QUIET, "%s/%s", pLogPath, file);
    /* Only a regular file made just now gets the world-writable mode, never a link. */
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISREG(st.st_mode)) {
      SysCmd(CMD_CHMOD, LOG_QUIET, "666 %s/%s", pLogPath, file);
    }
  }

  pLog = OpenLog(path, truncate);
  if (pLog == nullptr) {
    fprintf(stderr, "ERROR: couldn't open %s\n", path);
    return;
  }
  va_list ap;
  va_start(ap, fmt);
  vfprintf(pLog, fmt, ap);
  va_end(ap);
  fclose(pLog);
  pLog = nullptr;
}

int ErrorMsg(int level, int status, const char *fmt, ...) {
  Line[0] = '\0';
  if (fmt != nullptr) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(Line, sizeof Line, fmt, ap);
    va_end(ap);
  }
  if (level == 1) {
    fprintf(stderr, "WARNING: %s\n", Line);
    return 1;
  }
  if (level == 2) {
    fprintf(stderr, "ERROR: %s\n", Line);
    exit(status);
  }
  return level;
}

void errormsg(const char *fmt, ...) {
  fprintf(stderr, "%s: ", my_name ? my_name : "");
  if (fmt != nullptr) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
  }
  fputc('\n', stderr);
}

void exit_app(int status) { exit(status); }
