/* pkgadd: adds an SVR4 package in file-system format on hosts without SVR4 packaging.
 *
 * usage: pkgadd [-R ROOT] [-n] [-a ADMIN] [-v] -d DIR PKG
 *
 * Reads DIR/PKG/pkginfo (PKG=, NAME=, VERSION=, CATEGORY=, BASEDIR=) and DIR/PKG/pkgmap
 * (": parts blocks" first, then "part ftype class path mode owner group ..."). Makes the
 * "d" directories, installs the "f" files from root/ (absolute paths) or reloc/ (paths
 * relative to the base directory), makes "s" and "l" links (path=target), applies mode,
 * owner and group, and records the package in /var/sadm/pkg/PKG/pkginfo and its paths in
 * /var/sadm/install/contents. Asks for the base directory when standard input is a
 * terminal; otherwise takes BASEDIR. -n, -a and -v are accepted; the defaults are used.
 * Exits 0 on success, 1 with a message otherwise.
 *
 * One pass over the map; the contents file is read once, changed in memory and written
 * once at the end (records of what was installed, also when another entry failed).
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <unordered_set>

#include "svr4db.h"

namespace {

const char kProg[] = "pkgadd";
const char kUsage[] = "usage: pkgadd [-R root] -d device pkginst";

[[noreturn]] void Die(const std::string &text) {
  svr4::Error(kProg, text);
  exit(1);
}

bool IsRegular(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

/* Asks for the base directory; a line read (blanks around it dropped) that is not empty
 * replaces def. End of input keeps def. */
std::string AskBaseDir(const std::string &def) {
  printf("Enter path to package base directory [%s]: ", def.c_str());
  fflush(stdout);
  char *line = nullptr;
  size_t cap = 0;
  ssize_t n = getline(&line, &cap, stdin);
  std::string answer;
  if (n > 0 && line[n - 1] == '\n') {
    answer.assign(line, static_cast<size_t>(n - 1));
    size_t b = answer.find_first_not_of(" \t");
    size_t e = answer.find_last_not_of(" \t");
    answer = b == std::string::npos ? std::string() : answer.substr(b, e - b + 1);
  }
  free(line);
  return answer.empty() ? def : answer;
}

struct Package {
  std::string root;    /* -R, "" for / */
  std::string src;     /* DIR/PKG */
  std::string pkg;     /* PKG */
  std::string basedir; /* with no trailing slash; "" for / */
  svr4::Contents db;
  std::unordered_set<std::string> dirs; /* directories this run made or found */
  bool failed = false;
  int count = 0;
};

/* MakeDirs, once per directory in a run: the files of a package share a few directories. */
bool MakeDirsOnce(Package *p, const std::string &dir) {
  if (p->dirs.count(dir) != 0) return true;
  if (!svr4::MakeDirs(dir)) return false;
  p->dirs.insert(dir);
  return true;
}

/* The installed path of a map path: absolute as it is, else under the base directory. */
std::string TargetOf(const Package &p, const std::string &path) {
  return !path.empty() && path[0] == '/' ? path : p.basedir + "/" + path;
}

void Record(Package *p, const std::string &t, const std::string &type, const std::string &cls,
            const std::string &mode, const std::string &owner, const std::string &group) {
  svr4::ContentsPut(
      &p->db, t + " " + type + " " + cls + " " + mode + " " + owner + " " + group + " " + p->pkg);
}

/* One line of the map: part type class path mode owner group ... */
void AddEntry(Package *p, std::string_view line) {
  std::vector<std::string_view> f = svr4::Fields(line, 7);
  if (f.empty() || f[0][0] == ':' || f[0][0] == '#') return;
  f.resize(7);
  const std::string type(f[1]), cls(f[2]), path(f[3]), mode(f[4]), owner(f[5]), group(f[6]);
  bool full = type == "d" || type == "x" || type == "f" || type == "e" || type == "v";
  if (full && group.empty()) {
    svr4::Warning(kProg, "short line for <" + path + "> in pkgmap, skipped");
    return;
  }
  if (type == "d" || type == "x") {
    std::string t = TargetOf(*p, path);
    if (!MakeDirsOnce(p, p->root + t) || !svr4::ApplyAttributes(p->root + t, mode, owner, group)) {
      svr4::Error(kProg, "cannot make " + t);
      p->failed = true;
      return;
    }
    Record(p, t, "d", cls, mode, owner, group);
  } else if (type == "f" || type == "e" || type == "v") {
    std::string t = TargetOf(*p, path);
    std::string from = path[0] == '/' ? p->src + "/root" + path : p->src + "/reloc/" + path;
    struct stat st;
    int in = svr4::OpenSource(from, &st);
    if (in < 0) {
      svr4::Error(kProg, from + " is missing from the package");
      p->failed = true;
      return;
    }
    bool ok = MakeDirsOnce(p, p->root + svr4::DirName(t)) &&
              svr4::InstallFileFrom(in, st, p->root + t, mode, owner, group);
    close(in);
    if (!ok) {
      svr4::Error(kProg, "cannot install " + t);
      p->failed = true;
      return;
    }
    Record(p, t, type, cls, mode, owner, group);
    p->count++;
  } else if (type == "s" || type == "l") {
    size_t eq = path.find('=');
    std::string name = path.substr(0, eq);
    std::string dest = eq == std::string::npos ? path : path.substr(eq + 1);
    std::string t = TargetOf(*p, name);
    std::string at = p->root + t;
    bool ok = MakeDirsOnce(p, p->root + svr4::DirName(t));
    if (ok) {
      unlink(at.c_str());
      ok = type == "s" ? symlink(dest.c_str(), at.c_str()) == 0
                       : link((p->root + TargetOf(*p, dest)).c_str(), at.c_str()) == 0;
    }
    if (!ok) {
      svr4::Error(kProg, "cannot link " + t);
      p->failed = true;
      return;
    }
    Record(p, t, type, cls, "-", "-", "-");
  } else if (type != "i") {  // "i": package information files
    svr4::Warning(kProg, path + ": file type <" + type + "> not supported, skipped");
  }
}

}  // namespace

int main(int argc, char **argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  Package p;
  std::string dir;
  int opt;
  while ((opt = getopt(argc, argv, "+R:d:na:v")) != -1) {
    switch (opt) {
      case 'R':
        p.root = optarg;
        break;
      case 'd':
        dir = optarg;
        break;
      case 'n':  // non-interactive, admin file, verbose: accepted, defaults used
      case 'a':
      case 'v':
        break;
      default:
        Die(kUsage);
    }
  }
  if (dir.empty() || argc - optind != 1) Die(kUsage);
  p.pkg = argv[optind];
  if (!svr4::IsPackageName(p.pkg)) Die("invalid package instance <" + p.pkg + ">");
  p.src = dir + "/" + p.pkg;
  if (!IsRegular(p.src + "/pkginfo"))
    Die("package <" + p.pkg + "> not found in <" + dir + ">: no pkginfo");
  if (!IsRegular(p.src + "/pkgmap"))
    Die("package <" + p.pkg + "> not found in <" + dir + ">: no pkgmap");

  std::string info, map;
  if (!svr4::ReadFile(p.src + "/pkginfo", &info)) Die("cannot read " + p.src + "/pkginfo");
  std::string name = svr4::PkginfoValue(info, "NAME");
  std::string version = svr4::PkginfoValue(info, "VERSION");
  std::string basedir = svr4::PkginfoValue(info, "BASEDIR");
  if (basedir.empty()) basedir = "/";
  if (isatty(0)) basedir = AskBaseDir(basedir);
  if (basedir[0] != '/') Die("base directory <" + basedir + "> must be an absolute path");
  // A blank in a recorded path would split the record into other fields.
  if (!svr4::IsRecordWord(basedir)) Die("base directory <" + basedir + "> must not hold blanks");
  p.basedir = basedir.back() == '/' ? basedir.substr(0, basedir.size() - 1) : basedir;

  printf("Processing package instance <%s> from <%s>\n", p.pkg.c_str(), dir.c_str());
  printf("%s (%s)\n", name.c_str(), version.c_str());

  const std::string contents = svr4::ContentsPath(p.root);
  if (!svr4::MakeDirs(p.root + "/var/sadm/pkg/" + p.pkg)) Die("cannot write the package database");
  const svr4::ContentsStatus opened = svr4::ContentsOpen(&p.db, p.root);
  if (opened != svr4::kContentsOk) Die(svr4::ContentsOpenError(opened, p.root));
  if (!svr4::ReadFile(p.src + "/pkgmap", &map)) Die("cannot read " + p.src + "/pkgmap");
  for (std::string_view line : svr4::Lines(map)) AddEntry(&p, line);
  if (!svr4::ContentsCommit(&p.db)) Die("cannot update " + contents);

  if (!svr4::InstallFile(p.src + "/pkginfo", p.root + "/var/sadm/pkg/" + p.pkg + "/pkginfo", "?",
                         "?", "?"))
    Die("cannot record the package");
  if (p.failed) {
    fflush(stdout);
    fprintf(stderr, "Installation of <%s> failed.\n", p.pkg.c_str());
    return 1;
  }
  printf("Installing %s as <%s>: %d file(s)\n", name.c_str(), p.pkg.c_str(), p.count);
  printf("Installation of <%s> was successful.\n", p.pkg.c_str());
  return 0;
}
