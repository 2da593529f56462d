/* Fuzz target of the package-list language: the input is a pkg.list read as the installer
 * reads it (readWholeLine), each line split by parsePkgListLine and nextPkgListAttribute with
 * the "v" conditions decided against the release "5.8". Checks that each line handed over is
 * a whole line of the file (it starts a line and ends at a line end or at the end of the
 * file), that command, argument, destination, the conditions decided and the attribute pairs
 * are those of a plain reading of the language, and that the release comparison is
 * consistent across its operators. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "fuzz_dir.h"
#include "setup.h"

namespace {

const std::string &File() {
  static const std::string path = MakeFuzzDir("pkglist_fuzz") + "/pkg.list";
  return path;
}

constexpr char kRelease[] = "5.8";
constexpr char kDelims[] = " \n\r";

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Parsed {
  int command = PKGLIST_NONE;
  std::string name, dest;
  Pairs conditions; /* decided, in order */
  std::vector<std::pair<int, std::string>> attributes;
};

/* The next word as strtok_r gives it: position after the delimiter that ended it. */
bool Next(const std::string &s, size_t &p, std::string &word) {
  while (p < s.size() && strchr(kDelims, s[p])) ++p;
  if (p >= s.size()) return false;
  size_t e = p;
  while (e < s.size() && !strchr(kDelims, s[e])) ++e;
  word = s.substr(p, e - p);
  p = e < s.size() ? e + 1 : e;
  return true;
}

/* The language read plainly: keyword, argument, "v" conditions that lead to a command of
 * their own, "dirto"'s destination, attribute pairs, a first "sed" taking the rest. */
Parsed Model(const std::string &line) {
  Parsed m;
  size_t p = 0;
  std::string kw, name;
  bool more = Next(line, p, kw);
  while (more) {
    int k = static_cast<int>(FindToken(kw.c_str(), ",dir,dirto,t,c,m,#,v,s,newdir,checkps"));
    if (k == PKGLIST_COMMENT || !Next(line, p, name)) return m;
    if (k == PKGLIST_IF) {
      std::string release;
      if (!Next(line, p, release)) return m;
      m.conditions.emplace_back(name, release);
      if (!releaseConditionHolds(kRelease, name.c_str(), release.c_str())) return m;
      more = Next(line, p, kw);
      continue;
    }
    if (k == PKGLIST_DIRTO && !Next(line, p, m.dest)) return m;
    m.command = k;
    m.name = name;
    std::string attr, value;
    while (Next(line, p, attr)) {
      int a = static_cast<int>(FindToken(attr.c_str(), ",mode,bat,owner,group,link,name,sed"));
      if (a == PKGATTR_SED && m.attributes.empty()) {
        std::string rest = line.substr(std::min(p, line.size()));
        rest = rest.substr(std::min(rest.find_first_not_of(' '), rest.size()));
        rest = rest.substr(0, rest.find_first_of("\n\r"));
        if (!rest.empty()) m.attributes.emplace_back(a, rest);
        break;
      }
      if (!Next(line, p, value)) break;
      m.attributes.emplace_back(a, value);
    }
    break;
  }
  return m;
}

Pairs decided;
int Decide(const char *op, const char *release, void *) {
  decided.emplace_back(op, release);
  return releaseConditionHolds(kRelease, op, release);
}

/* The five operators agree with one another and with strcmp; others never hold. */
void CheckOperators(const char *system, const char *release) {
  int lt = releaseConditionHolds(system, "<", release);
  int le = releaseConditionHolds(system, "<=", release);
  int eq = releaseConditionHolds(system, "=", release);
  int gt = releaseConditionHolds(system, ">", release);
  int ge = releaseConditionHolds(system, ">=", release);
  int c = strcmp(system, release);
  if (lt != (c < 0) || eq != (c == 0) || gt != (c > 0) || le != (lt || eq) || ge != (gt || eq))
    abort();
  if (releaseConditionHolds(system, "=<", release) || releaseConditionHolds(system, "", release))
    abort();
}

/* The line readWholeLine handed over, at most whole lines of the file from before on. */
void CheckWholeLine(const std::string &file, size_t before) {
  size_t after = pIn ? static_cast<size_t>(ftell(pIn)) : file.size();
  size_t len = strlen(LineBuf);
  if (len >= LINEBUF_SIZE || after < before + len) abort();
  if (file.find('\0', before) < after) return; /* the text ends early at the NUL */
  if (len == 0) abort();
  for (size_t at : {after - len, after - len - 1}) {
    if (at < before || at > after - len) continue;
    if (at + len < after && (file[after - 1] != '\n' || LineBuf[len - 1] == '\n')) continue;
    if (at + len == after && LineBuf[len - 1] != '\n' && after != file.size()) continue;
    if (file.compare(at, len, LineBuf) == 0 && (at == 0 || file[at - 1] == '\n')) return;
  }
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  /* The installer warns on standard error for every over-long line; the fuzzing run's own
   * reports do not go through this stream. */
  stderr = fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("pkglist_fuzz");
  const std::string file(reinterpret_cast<const char *>(data), size);
  FILE *fp = fopen(File().c_str(), "wb");
  if (!fp) abort();
  if (size) fwrite(data, 1, size, fp);
  fclose(fp);

  if (!OpenInputFile(File().c_str(), REPORT_SILENT)) abort();
  for (;;) {
    size_t before = pIn ? static_cast<size_t>(ftell(pIn)) : file.size();
    if (!readWholeLine()) break;
    CheckWholeLine(file, before);
    const std::string text(LineBuf);
    const Parsed m = Model(text);

    decided.clear();
    PkgListLine line;
    int command = parsePkgListLine(LineBuf, Decide, nullptr, &line);
    if (command != line.command || command != m.command || decided != m.conditions) abort();
    for (const auto &c : decided) CheckOperators(kRelease, c.second.c_str());
    std::vector<std::pair<int, std::string>> attributes;
    if (command != PKGLIST_NONE) {
      if (m.name != line.name ||
          (command == PKGLIST_DIRTO ? !line.dest || m.dest != line.dest : !!line.dest))
        abort();
    }
    int attr;
    char *value;
    while (nextPkgListAttribute(&line, &attr, &value)) {
      if (value < LineBuf || value >= LineBuf + LINEBUF_SIZE) abort();
      attributes.emplace_back(attr, value);
    }
    if (nextPkgListAttribute(&line, &attr, &value) || attributes != m.attributes) abort();
  }
  if (pIn != nullptr) abort();
  return 0;
}
