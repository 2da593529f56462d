/* pkginfo: lists the installed SVR4 packages, one line "CATEGORY PKG NAME" each, from
 * /var/sadm/pkg/<pkg>/pkginfo.
 *
 * usage: pkginfo [-R ROOT] [PKG...]
 *
 * Without names, lists every package, sorted by directory name. With names, lists only those
 * and exits 1 when one of them is not installed. Exits 2 on a bad option.
 */
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "svr4db.h"

namespace {

bool IsRegular(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

/* One line for the package whose information file is <dir>/<name>/pkginfo; a file that
 * cannot be read shows the defaults. */
void Show(const std::string &dir, const std::string &name) {
  std::string text;
  if (!svr4::ReadFile(dir + "/" + name + "/pkginfo", &text)) text.clear();
  std::string cat = svr4::PkginfoValue(text, "CATEGORY");
  std::string pkg = svr4::PkginfoValue(text, "PKG");
  if (cat.empty()) cat = "application";
  if (pkg.empty()) pkg = name;
  printf("%-12s %-15s %s\n", cat.c_str(), pkg.c_str(), svr4::PkginfoValue(text, "NAME").c_str());
}

}  // namespace

int main(int argc, char **argv) {
  std::string root;
  int opt;
  while ((opt = getopt(argc, argv, "+R:")) != -1) {
    if (opt != 'R') {
      fputs("usage: pkginfo [-R root] [pkginst...]\n", stderr);
      return 2;
    }
    root = optarg;
  }
  const std::string dir = root + "/var/sadm/pkg";
  if (optind < argc) {
    int status = 0;
    for (int i = optind; i < argc; i++) {
      if (IsRegular(dir + "/" + argv[i] + "/pkginfo")) {
        Show(dir, argv[i]);
      } else {
        fflush(stdout);
        fprintf(stderr, "ERROR: information for \"%s\" was not found\n", argv[i]);
        status = 1;
      }
    }
    return status;
  }
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (struct dirent *e = readdir(d))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const std::string &name : names)
    if (IsRegular(dir + "/" + name + "/pkginfo")) Show(dir, name);
  return 0;
}
