/* Fuzz target of the language alias file: the input's first line is LANG (a first byte of
 * 0xFF leaves LANG unset), the rest is written as trans.conf and read through
 * ParseTransFile and GetDesiredNLSLang. Checks the normalised form and that the language
 * resolved is "en_US" or a word of the table. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <string_view>

#include "MemMgr.h"
#include "NlsUtils.h"
#include "NlsUtils_internal.h"
#include "utils.h"

namespace {

std::string &ToolDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/transconf_fuzz.XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  return dir;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

/* Blanks and line ends of the normalised form: every word followed by one blank, line ends
 * only after a blank, nothing else. */
void CheckNormalised(std::string_view t) {
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '\t' || c == '\r' || c == '\v' || c == '\f') abort();
    if (c == '\n' && (i == 0 || t[i - 1] != ' ')) abort();
    if (c == ' ' && i > 0 && (t[i - 1] == ' ' || t[i - 1] == '\n')) abort();
    if (c == ' ' && i == 0) abort();
  }
  if (!t.empty() && t.back() != ' ' && t.back() != '\n') abort();
}

/* lang is "en_US" or one of the table's words (a canonical name up to a glued "="). */
void CheckLanguage(std::string_view table, std::string_view lang) {
  if (lang == NLS_ENGLISH_NAME) return;
  if (lang.empty()) abort();
  for (char c : lang) {
    if (IsBlank(c)) abort();
  }
  size_t pos = 0;
  while ((pos = table.find(lang, pos)) != std::string_view::npos) {
    bool starts = pos == 0 || table[pos - 1] == ' ' || table[pos - 1] == '\n';
    size_t end = pos + lang.size();
    if (starts && end < table.size() && (table[end] == ' ' || table[end] == '=')) return;
    ++pos;
  }
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("transconf_fuzz");
  pToolPath = const_cast<char *>(ToolDir().c_str());
  std::string_view input(reinterpret_cast<const char *>(data), size);
  size_t nl = input.find('\n');
  std::string lang(input.substr(0, nl));
  std::string file(nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1));
  if (!lang.empty() && static_cast<unsigned char>(lang[0]) == 0xFF) {
    unsetenv("LANG");
  } else {
    lang = lang.substr(0, strlen(lang.c_str()));
    setenv("LANG", lang.c_str(), 1);
  }
  std::ofstream(ToolDir() + "/trans.conf", std::ios::binary | std::ios::trunc) << file;

  char *direct = NlsNormaliseAliases(file.data(), file.size());
  char *parsed = ParseTransFile("trans.conf");
  CheckNormalised(direct);
  /* An empty file is no alias table; otherwise both read the same. */
  if (parsed ? strcmp(parsed, direct) != 0 : !file.empty()) abort();
  char *again = NlsNormaliseAliases(direct, strlen(direct));
  if (strcmp(again, direct) != 0) abort(); /* normalising twice changes nothing */

  NlsResetForTests();
  char *resolved = GetDesiredNLSLang();
  CheckLanguage(parsed ? parsed : "", resolved);
  NlsResetForTests();

  PutMem(again);
  PutMem(parsed);
  PutMem(direct);
  return 0;
}
