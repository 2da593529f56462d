/* Paths, the environment, directory listings, file tests, and file creation and removal
 * through the command table. */
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

constexpr size_t kStripPathSize = 128;
constexpr size_t kStripFnSize = 256;
constexpr size_t kJoinSize = 256;   /* FindFile's joined "dir/name" */
constexpr size_t kTargetSize = 512; /* CreateFile's "path/file" */

/* The directory part of path by StripFn's rules, without its buffer limit. */
std::string DirPart(std::string_view path) {
  if (path.empty()) return ".";
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

/* The current working directory; false when it cannot be read. */
bool WorkingDir(std::string *out) {
  std::vector<char> buf(512);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE || buf.size() >= (1u << 20)) return false;
    buf.resize(buf.size() * 2);
  }
  out->assign(buf.data());
  return true;
}

/* A failure of CreateFile ends the run the way a failed command of log mode 2 does. */
[[noreturn]] void CreateFileTooLong(const char *path) {
  const char *text = strerror(ENAMETOOLONG);
  PutLogMsg("%s: %s: %s\n", "ERROR", text, path);
  printf("%s: %s\n", "ERROR", text);
  fflush(stdout);
  exit(1);
}

}  // namespace

/* ---- Paths ---- */

/* An over-long base name gives the empty string: a cut name could name another file. */
char *StripPath(const char *path) {
  static char buf[kStripPathSize];
  buf[0] = '\0';
  if (path == nullptr) return buf;
  std::string_view p(path);
  size_t end = p.find_last_not_of('/');
  std::string_view name;
  if (end == std::string_view::npos) {
    name = p; /* only slashes (or empty): unchanged */
  } else {
    size_t start = p.rfind('/', end);
    start = (start == std::string_view::npos) ? 0 : start + 1;
    name = p.substr(start, end + 1 - start);
  }
  if (name.size() >= sizeof buf) return buf;
  memcpy(buf, name.data(), name.size());
  buf[name.size()] = '\0';
  return buf;
}

/* An over-long directory part gives the empty string, which names no directory. */
char *StripFn(const char *path) {
  static char buf[kStripFnSize];
  std::string dir = DirPart(path != nullptr ? std::string_view(path) : std::string_view());
  if (dir.size() >= sizeof buf) dir.clear();
  memcpy(buf, dir.c_str(), dir.size() + 1);
  return buf;
}

/* Managed absolute directory of the program started as argv0; null when argv0 is null or the
 * working directory cannot be read. Built at full length, never cut. */
char *GetToolPath(const char *argv0) {
  if (argv0 == nullptr) return nullptr;
  std::string dir = DirPart(argv0);
  if (argv0[0] == '/') return SaveStr_(dir.c_str());

  std::string cwd;
  if (!WorkingDir(&cwd)) return nullptr;
  std::string_view d(dir);
  if (d == "./") return SaveStr_(cwd.c_str());
  if (d.substr(0, 2) == "./") return SaveStr("%s/%s", cwd.c_str(), dir.c_str() + 2);
  if (d.substr(0, 3) == "../") {
    /* Every leading "../" climbs one directory, the last one too ("..//x" lives in the
     * parent). */
    std::string reached = cwd;
    while (d.substr(0, 3) == "../") {
      reached = DirPart(reached);
      d.remove_prefix(3);
      while (!d.empty() && d[0] == '/') d.remove_prefix(1);
    }
    if (d.empty()) return SaveStr_(reached.c_str());
    if (reached == "/") return SaveStr("/%.*s", static_cast<int>(d.size()), d.data());
    return SaveStr("%s/%.*s", reached.c_str(), static_cast<int>(d.size()), d.data());
  }
  /* "bin/setup" gives W/bin; a bare "setup" gives W/. */
  return SaveStr("%s/%s", cwd.c_str(), dir.c_str());
}

char *GetEnv(const char *name) {
  if (name == nullptr) return nullptr;
  const char *value = getenv(name);
  return value != nullptr ? SaveStr_(value) : nullptr;
}

/* ---- Files and directories ---- */

char *ReadDir(DIR *dir) {
  if (dir == nullptr) return nullptr;
  struct dirent *entry = readdir(dir);
  return entry != nullptr ? entry->d_name : nullptr;
}

/* One pass into a local string, then one exact managed copy: the listing cannot overrun its
 * block even when the directory changes while it is read. */
char *GetDirFileList(const char *dir) {
  if (dir == nullptr) return nullptr;
  DIR *d = opendir(dir);
  if (d == nullptr) return nullptr;
  std::string list;
  for (const char *name = ReadDir(d); name != nullptr; name = ReadDir(d)) {
    list += ' ';
    list += name;
  }
  closedir(d);
  list += ' ';
  if (list.size() >= static_cast<size_t>(INT_MAX) - 3) return nullptr;
  char *out = static_cast<char *>(GetMem(static_cast<int>(list.size()) + 1));
  if (out == nullptr) return nullptr;
  memcpy(out, list.c_str(), list.size() + 1);
  return out;
}

int FindFile(const char *dir, const char *name) {
  if (dir != nullptr && *dir == '\0') dir = nullptr; /* "" + "/a" would name "/a" */
  if (dir == nullptr) {
    if (name == nullptr || *name == '\0') return 0;
    dir = name;
    name = nullptr;
  }
  char joined[kJoinSize];
  if (name != nullptr && *name != '\0' && strchr(name, '/') != nullptr) {
    int n = snprintf(joined, sizeof joined, "%s/%s", dir, name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof joined) return 0; /* never look up a cut path */
    char *slash = strrchr(joined, '/');
    *slash = '\0';
    dir = joined;
    name = slash + 1;
    if (*dir == '\0') dir = "/"; /* "//x" split at its last slash */
  }
  std::string d, n;
  if (name == nullptr || *name == '\0') {
    std::string whole(dir);
    n = StripPath(whole.c_str());
    d = StripFn(whole.c_str());
  } else {
    d = dir;
    n = name;
  }
  /* An empty part means the path did not fit the buffers; a blank cannot be told apart from
   * the separator of the listing. */
  if (d.empty() || n.empty() || n.find(' ') != std::string::npos) return 0;
  char *listing = GetDirFileList(d.c_str());
  if (listing == nullptr) return 0;
  int found = FindToken(n.c_str(), listing) != 0 ? 1 : 0;
  PutMem(listing);
  return found;
}

int GetFileType(const char *path) {
  struct stat st;
  if (path == nullptr || lstat(path, &st) != 0) return FT_NONE;
  if (S_ISDIR(st.st_mode)) return FT_DIR;
  if (S_ISLNK(st.st_mode)) return FT_LINK;
  return FT_OTHER;
}

const char *CreateFile(const char *path, const char *file, const char *mode, const char *owner,
                       const char *group) {
  if (path == nullptr) return nullptr;
  /* Check the target before anything runs, so that a path too long to name is never
   * half-created nor handed to a command cut. */
  char target[kTargetSize];
  int n = snprintf(target, sizeof target, "%s%s%s", path, file ? "/" : "", file ? file : "");
  if (n < 0 || static_cast<size_t>(n) >= sizeof target) CreateFileTooLong(path);

  std::string parent = StripFn(path);
  std::string base = StripPath(path);
  if (!FindFile(parent.c_str(), base.c_str())) SysCmd(CMD_MKDIR, LOG_FATAL, "%s", path);
  if (file != nullptr) SysCmd(CMD_TOUCH, LOG_FATAL, "%s", target);
  /* Mode, owner and group are each applied when given. */
  if (mode != nullptr) SysCmd(CMD_CHMOD, LOG_FATAL, "%s %s", mode, target);
  if (owner != nullptr) SysCmd(CMD_CHOWN, LOG_FATAL, "%s %s", owner, target);
  if (group != nullptr) SysCmd(CMD_CHGRP, LOG_FATAL, "%s %s", group, target);
  return path;
}

const char *DeleteFile(const char *dir, const char *name) {
  if (name != nullptr && *name == '\0') name = nullptr; /* "dir/" would follow a link */
  if (dir == nullptr) {
    dir = name;
    name = nullptr;
  }
  if (dir == nullptr || *dir == '\0') return dir;
  if (FindFile(dir, name)) {
    SysCmd(CMD_RM_R, LOG_WARN, "%s%s%s", dir, name ? "/" : "", name ? name : "");
  }
  return dir;
}
