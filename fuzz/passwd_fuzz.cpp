/* Fuzz target of the SVR4 stand-ins' reading of /etc/passwd and /etc/group: the input's
 * first line is the name looked up, the rest the file's text. Checks IdFromFile against a
 * plain model: lines split on newlines, fields on colons, the first line whose first field
 * is the name and whose third is a number of at most 10 digits below 4294967295. */
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "svr4db.h"

namespace {

std::vector<std::string> Split(const std::string &text, char sep) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == sep) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

long ModelId(const std::string &text, const std::string &name) {
  for (const std::string &line : Split(text, '\n')) {
    std::vector<std::string> f = Split(line, ':');
    if (f.size() < 3 || f[0] != name || f[2].empty() || f[2].size() > 10) continue;
    if (f[2].find_first_not_of("0123456789") != std::string::npos) continue;
    unsigned long long id = std::stoull(f[2]);
    if (id < 4294967295ULL) return static_cast<long>(id);
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string input(reinterpret_cast<const char *>(data), size);
  size_t nl = input.find('\n');
  if (nl == std::string::npos) return 0;
  std::string name = input.substr(0, nl), text = input.substr(nl + 1);
  if (svr4::IdFromFile(text, name) != ModelId(text, name)) abort();
  return 0;
}
