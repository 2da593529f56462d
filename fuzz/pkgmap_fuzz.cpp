/* Fuzz target of the upgrade's package-map lines: the input is a pkgmap read as the upgrade
 * reads it (readWholeLine), each line split by parsePkgmapLine and, for a regular file, turned
 * into its two command lines by pkgmapCommands, with a work directory and an install base
 * that hold quotes, blanks and "$". Checks the fields against a plain split, that a line is
 * refused exactly when it would not fit, and that the shell reads each command line as
 * exactly the words intended: every field one word, nothing left for the shell to
 * interpret. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_dir.h"
#include "setup.h"

namespace {

const std::string &File() {
  static const std::string path = MakeFuzzDir("pkgmap_fuzz") + "/pkgmap";
  return path;
}

using Words = std::vector<std::string>;

constexpr char kPkg[] = "TLVNvpxx";
constexpr char kRedirections[] = " 1>/dev/null 2>/dev/null";
char work[] = "/tmp/it's $HOME/OrvelInstall";
char base[] = "/export/\"b a`se\\";

/* The words a POSIX shell reads from line, where only blanks separate words, single quotes
 * quote and a backslash takes the next character: any other special character unquoted
 * fails. */
bool ShellWords(const std::string &line, Words &out) {
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == ' ') {
      if (inWord) out.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '\'') {
      size_t end = line.find('\'', i + 1);
      if (end == std::string::npos) return false;
      word += line.substr(i + 1, end - i - 1);
      i = end;
      inWord = true;
    } else if (c == '\\') {
      if (i + 1 == line.size()) return false;
      word += line[++i];
      inWord = true;
    } else if (strchr("\"$`;&|<>()*?[]{}~#!\t\n", c)) {
      return false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) out.push_back(word);
  return true;
}

/* Length of a word in single quotes, each ' written '\''. */
size_t QuotedLength(const std::string &w) {
  size_t n = w.size() + 2;
  for (char c : w) n += c == '\'' ? 3 : 0;
  return n;
}

void CheckCommands(const Words &f) {
  PkgmapFile file = {};
  std::vector<std::string> keep(f);
  char *field[7];
  for (int i = 0; i < 7; ++i) field[i] = &keep[i][0];
  file = PkgmapFile{field[0], field[1], field[2], field[3], field[4], field[5], field[6]};
  const bool absolute = f[3][0] == '/';
  const std::string dst = absolute ? f[3] : std::string(base) + "/Orvel/" + f[3];
  const std::string src = std::string(work) + "/" + kPkg + (absolute ? "/root" : "/reloc/") + f[3];
  const Words reg = {pPathToInstallf, "-c", f[2], kPkg, dst, f[1], f[4], f[5], f[6]};
  const Words copy = {"cp", src, dst};
  size_t regLength = strlen(kRedirections) + reg.size() - 1;
  for (size_t i = 0; i < reg.size(); ++i) regLength += i < 2 ? reg[i].size() : QuotedLength(reg[i]);
  size_t copyLength = 2 + 2 + QuotedLength(src) + QuotedLength(dst);

  char regLine[PKGMAP_LINE_SIZE], copyLine[PKGMAP_LINE_SIZE];
  int tooLong = pkgmapCommands(&file, kPkg, regLine, copyLine);
  int expected = regLength >= PKGMAP_LINE_SIZE ? 1 : copyLength >= PKGMAP_LINE_SIZE ? 2 : 0;
  if (tooLong != expected) abort();
  if (tooLong == 1) return;
  std::string r(regLine);
  Words words;
  if (r.size() != regLength || r.size() < strlen(kRedirections) ||
      r.compare(r.size() - strlen(kRedirections), std::string::npos, kRedirections) != 0 ||
      !ShellWords(r.substr(0, r.size() - strlen(kRedirections)), words) || words != reg)
    abort();
  if (tooLong == 2) return;
  words.clear();
  if (strlen(copyLine) != copyLength || !ShellWords(copyLine, words) || words != copy) abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  /* The installer warns on standard error for every over-long line; the fuzzing run's own
   * reports do not go through this stream. */
  stderr = fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("pkgmap_fuzz");
  pOrvelInstallDir = work;
  pTargetInstallDir = base;
  FILE *fp = fopen(File().c_str(), "wb");
  if (!fp) abort();
  if (size) fwrite(data, 1, size, fp);
  fclose(fp);

  if (!OpenInputFile(File().c_str(), REPORT_SILENT)) abort();
  while (readWholeLine()) {
    Words fields;
    const std::string text(LineBuf);
    for (size_t p = text.find_first_not_of(" \t\r\n"); p != std::string::npos && fields.size() < 7;
         p = text.find_first_not_of(" \t\r\n", p)) {
      size_t e = std::min(text.find_first_of(" \t\r\n", p), text.size());
      fields.push_back(text.substr(p, e - p));
      p = e;
    }
    bool usable = fields.size() == 7 && FindToken(fields[1].c_str(), ",f,d,i,") == 1;

    PkgmapFile file;
    if (parsePkgmapLine(LineBuf, &file) != usable) abort();
    if (!usable) continue;
    const char *got[7] = {file.part, file.type,  file.cls,  file.path,
                          file.mode, file.owner, file.group};
    for (int i = 0; i < 7; ++i) {
      if (got[i] < LineBuf || got[i] >= LineBuf + LINEBUF_SIZE || fields[i] != got[i]) abort();
    }
    CheckCommands(fields);
  }
  return 0;
}
