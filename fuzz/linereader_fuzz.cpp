/* Fuzz target of the line reader: the input's first byte picks the delimiters of
 * GetFileTextLine, the rest is a file read with OpenInputFile and GetFileLine, then again with
 * GetFileTextLine. Checks that every logical line is the file's bytes at the place reached and
 * ends where the file's logical line ends, that its first physical line holds at most 510
 * characters and every line end inside it is a backslash-newline continuation, that LineLen
 * marks the last piece, that bytes are lost exactly when LineCut says so (a first line over
 * 510 characters, a logical line over LineBuf), that the whole file is consumed, and that
 * GetFileTextLine gives the first token of each logical line that does not begin with "#". */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz_dir.h"
#include "utils.h"

namespace {

const std::string &File() {
  static const std::string path = MakeFuzzDir("linereader_fuzz") + "/lines";
  return path;
}

constexpr size_t kFirstPieceMax = 510; /* characters of the first physical line */

/* One logical line: checks it against the file at offset before; returns the bytes read. */
size_t CheckLine(const std::string &file, size_t before) {
  size_t after = pIn ? static_cast<size_t>(ftell(pIn)) : file.size();
  if (!memchr(LineBuf, '\0', LINEBUF_SIZE)) abort();
  const size_t len = strlen(LineBuf);
  if (after <= before || after > file.size()) abort();
  if (file.compare(before, len, LineBuf, len) != 0) abort();
  /* A read ends where a logical line ends: the rest of a cut line is never a line of its
   * own. */
  if (after < file.size() &&
      (file[after - 1] != '\n' || (after >= before + 2 && file[after - 2] == '\\')))
    abort();
  const bool nul = file.find('\0', before) < after;
  const size_t read = after - before;
  if (!nul) {
    /* Whole, or whole but for the line end that no longer fitted; cut means bytes lost. */
    const bool whole = read == len || (len == LINEBUF_SIZE - 1 && read == len + 1);
    if (LineCut ? read <= len : !whole) abort();
  }
  const char *firstEnd = static_cast<const char *>(memchr(LineBuf, '\n', len));
  const size_t first = firstEnd ? static_cast<size_t>(firstEnd - LineBuf) : len;
  if (first > kFirstPieceMax) abort();
  /* Only a line longer than the first piece takes, or one that fills LineBuf, is cut. */
  if (LineCut && !nul && first != kFirstPieceMax && len != LINEBUF_SIZE - 1) abort();
  for (size_t i = 0; i + 1 < len; ++i) {
    if (LineBuf[i] == '\n' && (i == 0 || LineBuf[i - 1] != '\\')) abort();
  }
  /* LineLen counts the bytes before the last piece, a NUL's among them. */
  if (LineLen < 0 || LineLen >= LINEBUF_SIZE || (!nul && static_cast<size_t>(LineLen) > len))
    abort();
  if (LineLen > 0 && (LineLen < 2 || memcmp(LineBuf + LineLen - 2, "\\\n", 2) != 0)) abort();
  if (LineLen == 0 && firstEnd && first + 1 < len && !nul) abort(); /* a second piece unmarked */
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("linereader_fuzz");
  static const char *const kDelims[] = {" \t\n", " \t\r\n", ",", "=\n", "#\n"};
  const char *delims = kDelims[size ? data[0] % 5 : 0];
  const std::string file(size ? reinterpret_cast<const char *>(data) + 1 : "", size ? size - 1 : 0);
  FILE *fp = fopen(File().c_str(), "wb");
  if (!fp) abort();
  if (!file.empty()) fwrite(file.data(), 1, file.size(), fp);
  fclose(fp);

  /* Every logical line, and the whole file consumed. */
  if (!OpenInputFile(File().c_str(), REPORT_SILENT) || FileStatus != 0) abort();
  std::vector<std::string> lines;
  size_t consumed = 0;
  for (;;) {
    size_t before = static_cast<size_t>(ftell(pIn));
    if (before != consumed) abort();
    if (!GetFileLine()) break;
    consumed += CheckLine(file, before);
    lines.emplace_back(LineBuf);
  }
  if (consumed != file.size() || pIn != nullptr || FileStatus != 1) abort();
  if (GetFileLine()) abort(); /* closed: nothing more */

  /* GetFileTextLine: the first token of each line that does not begin with "#". */
  std::vector<std::string> expected;
  for (const std::string &line : lines) {
    if (line[0] == '#') continue;
    const char *tok = GetToken(line.c_str(), delims);
    if (tok) expected.emplace_back(tok);
  }
  if (!OpenInputFile(File().c_str(), REPORT_SILENT)) abort();
  if (GetFileTextLine(nullptr)) abort();
  size_t i = 0;
  while (GetFileTextLine(delims)) {
    if (i >= expected.size() || expected[i] != LineBuf) abort();
    ++i;
  }
  if (i != expected.size() || pIn != nullptr) abort();

  /* Closing in the middle ends the reading. */
  if (!OpenInputFile(File().c_str(), REPORT_SILENT)) abort();
  GetFileLine();
  if (CloseInputFile(7) != 7 || pIn != nullptr || FileStatus != 1 || GetFileLine()) abort();
  return 0;
}
