/* installf: records paths of an installed SVR4 package in /var/sadm/install/contents.
 *
 * usage: installf [-R ROOT] [-c CLASS] PKG PATH TYPE MODE OWNER GROUP
 *        installf [-R ROOT] -f PKG
 *
 * The first form records PATH (replacing an earlier record of it). The second finalises:
 * every recorded path of PKG must exist; files and directories get their recorded mode,
 * owner and group. Exits 0 on success, 1 with a message otherwise.
 *
 * An upgrade calls the first form once per file, so a call reads the contents file once
 * and writes it at most once (not at all when it already holds the same record), without
 * running any command.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "svr4db.h"

namespace {

const char kProg[] = "installf";

[[noreturn]] void Die(const std::string &text) {
  svr4::Error(kProg, text);
  exit(1);
}

/* installf -f PKG: every recorded path of PKG must exist; f, d, e and v paths get their
 * recorded attributes. Returns the exit status. */
int Finalise(const std::string &root, const std::string &pkg) {
  const std::string contents = svr4::ContentsPath(root);
  struct stat st;
  if (stat(contents.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  std::string text;
  if (!svr4::ReadFile(contents, &text)) Die("cannot read " + contents);
  int status = 0;
  for (std::string_view line : svr4::Lines(text)) {
    std::vector<std::string_view> f = svr4::Fields(line, 7);
    if (f.size() < 7 || f[6] != pkg) continue;
    const std::string path(f[0]), type(f[1]);
    if (lstat((root + path).c_str(), &st) != 0) {
      svr4::Error(kProg, path + " is recorded but missing");
      status = 1;
      continue;
    }
    if (type != "f" && type != "d" && type != "e" && type != "v") continue;
    // What lstat saw spares the calls that would change nothing; a link is followed.
    const std::string mode(f[3]), owner(f[4]), group(f[5]);
    if (!(S_ISLNK(st.st_mode) ? svr4::ApplyAttributes(root + path, mode, owner, group)
                              : svr4::ApplyAttributesStat(root + path, st, mode, owner, group))) {
      svr4::Error(kProg, "cannot apply mode " + std::string(f[3]) + ", owner " + std::string(f[4]) +
                             ", group " + std::string(f[5]) + " to " + path);
      status = 1;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  std::string root, cls = "none";
  bool final = false;
  int opt;
  while ((opt = getopt(argc, argv, "+R:c:f")) != -1) {
    switch (opt) {
      case 'R':
        root = optarg;
        break;
      case 'c':
        cls = optarg;
        break;
      case 'f':
        final = true;
        break;
      default:
        Die("usage: installf [-c class] pkginst path type mode owner group | installf -f "
            "pkginst");
    }
  }
  int n = argc - optind;
  char **arg = argv + optind;
  if (final) {
    if (n != 1) Die("usage: installf -f pkginst");
    return Finalise(root, arg[0]);
  }

  if (n != 6) Die("usage: installf [-c class] pkginst path type mode owner group");
  const std::string pkg = arg[0], path = arg[1], type = arg[2];
  if (path[0] != '/') Die(path + ": the path must be absolute");
  if (type != "f" && type != "d" && type != "e" && type != "v" && type != "s" && type != "l" &&
      type != "x")
    Die(path + ": file type <" + type + "> not supported");
  // Records are blank-separated: a field with a blank in it would shift the others.
  for (const std::string &w :
       {cls, pkg, path, std::string(arg[3]), std::string(arg[4]), std::string(arg[5])})
    if (!svr4::IsRecordWord(w)) Die("<" + w + "> cannot be recorded: blank or empty");
  const std::string record =
      path + " " + type + " " + cls + " " + arg[3] + " " + arg[4] + " " + arg[5] + " " + pkg;

  const std::string contents = svr4::ContentsPath(root);
  svr4::Contents db;
  const svr4::ContentsStatus opened = svr4::ContentsOpen(&db, root);
  if (opened != svr4::kContentsOk) Die(svr4::ContentsOpenError(opened, root));
  // An upgrade records again, path by path, what pkgadd recorded: an unchanged record costs
  // no rewrite of the file.
  if (svr4::ContentsHolds(&db, record)) {
    svr4::ContentsClose(&db);
    return 0;
  }
  svr4::ContentsPut(&db, record);
  if (!svr4::ContentsCommit(&db)) Die("cannot update " + contents);
  return 0;
}
