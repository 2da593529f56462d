/* Fuzz target of the medium's "disks" list: the input's first byte chooses the file name
 * ("disks", or "DISKS" when it is odd), the rest is the list, loaded with GetDisksData and
 * walked by forEachListedFile (the copy) and forEachListedPiece (the join). Checks that the
 * loaded text is the file's beginning (upper-cased before "end_of_list" for "DISKS"), that a
 * list longer than LineBuf never ends in a cut name, and that both walks give the names of a
 * plain reading of the list, in order. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz_dir.h"
#include "setup.h"

namespace {

const std::string &Dir() {
  static const std::string dir = MakeFuzzDir("disks_fuzz");
  return dir;
}

using Names = std::vector<std::string>;
constexpr char kEnd[] = "end_of_list";

/* Splits s at any of delims, dropping empty pieces. */
Names Split(const std::string &s, const char *delims) {
  Names out;
  size_t p = 0;
  while ((p = s.find_first_not_of(delims, p)) != std::string::npos) {
    size_t e = std::min(s.find_first_of(delims, p), s.size());
    out.push_back(s.substr(p, e - p));
    p = e;
  }
  return out;
}

Names CopiedNames(const std::string &list) {
  Names out;
  for (const std::string &line : Split(list, "\n\r")) {
    if (line == kEnd) break;
    for (const std::string &name : Split(line, " \t\r\n")) {
      if (name == kEnd) break;
      out.push_back(name);
    }
  }
  return out;
}

Names JoinedPieces(const std::string &list) {
  Names out;
  for (const std::string &name : Split(list, " \n\r")) {
    if (name == kEnd) break;
    if (name.compare(0, 8, "pkg_tar.") == 0 || name.compare(0, 8, "PKG_TAR.") == 0)
      out.push_back(name);
  }
  return out;
}

void Collect(const char *name, void *arg) { static_cast<Names *>(arg)->emplace_back(name); }

Names Walk(const std::string &list, void (*walk)(char *, ListedNameFn, void *)) {
  std::vector<char> copy(list.begin(), list.end());
  copy.push_back('\0');
  Names got;
  walk(copy.data(), Collect, &got);
  return got;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("disks_fuzz");
  const bool upper = size > 0 && (data[0] & 1);
  const std::string file(size ? reinterpret_cast<const char *>(data) + 1 : "", size ? size - 1 : 0);
  const std::string path = Dir() + (upper ? "/DISKS" : "/disks");
  unlink((Dir() + (upper ? "/disks" : "/DISKS")).c_str());
  FILE *fp = fopen(path.c_str(), "wb");
  if (!fp) abort();
  if (!file.empty()) fwrite(file.data(), 1, file.size(), fp);
  fclose(fp);

  if (GetDisksData(Dir().c_str()) != Dir().c_str()) abort();
  const std::string list(LineBuf);
  if (list.size() >= LINEBUF_SIZE || list.size() > file.size()) abort();
  /* The file's beginning; for "DISKS" upper-cased (ASCII) before the first marker. */
  const size_t marker = std::min(list.find(kEnd), list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    char want = file[i];
    if (upper && i < marker && want >= 'a' && want <= 'z') want = static_cast<char>(want - 32);
    if (list[i] != want) abort();
  }
  /* A list longer than LineBuf loses the name that crosses its end. */
  if (file.size() >= LINEBUF_SIZE && !list.empty() && !strchr(" \t\r\n", list.back())) abort();

  if (Walk(list, forEachListedFile) != CopiedNames(list)) abort();
  if (Walk(list, forEachListedPiece) != JoinedPieces(list)) abort();
  return 0;
}
