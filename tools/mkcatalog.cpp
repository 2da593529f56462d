/* mkcatalog: compiles a message catalogue source into a typed database, and prints a
 * catalogue database back as source. */
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "Dbm.h"
#include "utils.h"

namespace {

const char kUsage[] =
    "Usage: mkcatalog SOURCE OUT.vdb   compile SOURCE into the catalogue database OUT.vdb\n"
    "       mkcatalog -d IN.vdb        print the catalogue database IN.vdb as source\n"
    "\n"
    "SOURCE holds one message a line: SET_NUMBER, a tab, then the text (\"25_1001<TAB>Press\n"
    "<Return> to continue\"). In the text, \\n is a newline, \\t a tab, \\\\ a backslash and\n"
    "\\xHH the byte of the two hexadecimal digits HH; other control characters must be\n"
    "written as \\xHH. Lines whose first character is \"#\" and blank lines are ignored.\n"
    "Each text is stored with a NUL after it under its key SET_NUMBER. OUT.vdb is written\n"
    "anew; the same SOURCE always gives the same bytes. A line that cannot be read is\n"
    "reported as SOURCE:LINE and nothing is written (exit status 1).\n";

/* Fixed seed of the header's filler bytes, so that builds are reproducible. */
constexpr unsigned kSeed = 20250101;

struct Message {
  std::string key;
  std::string text;
  int line;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* A decimal number as the key format "%d" writes it: digits, no leading zero, within int. */
bool IsKeyNumber(const std::string &s) {
  if (s.empty() || s.size() > 10 || (s.size() > 1 && s[0] == '0')) return false;
  for (char c : s) {
    if (!IsDigit(c)) return false;
  }
  return strtoll(s.c_str(), nullptr, 10) <= INT_MAX;
}

/* Reads one source line into msg; returns an empty text or the reason it cannot be read. */
std::string ParseLine(const std::string &line, Message *msg) {
  size_t tab = line.find('\t');
  if (tab == std::string::npos) return "no tab after the key";
  msg->key = line.substr(0, tab);
  size_t us = msg->key.find('_');
  if (us == std::string::npos || !IsKeyNumber(msg->key.substr(0, us)) ||
      !IsKeyNumber(msg->key.substr(us + 1))) {
    return "the key \"" + msg->key + "\" is not SET_NUMBER (two decimal numbers)";
  }
  msg->text.clear();
  for (size_t i = tab + 1; i < line.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (c != '\\') {
      if ((c < 0x20 && c != '\t') || c == 0x7F) {
        char hex[8];
        snprintf(hex, sizeof hex, "\\x%02X", c);
        return std::string("a raw control character (write it as ") + hex + ")";
      }
      msg->text += static_cast<char>(c);
      continue;
    }
    char e = i + 1 < line.size() ? line[i + 1] : '\0';
    if (e == 'n' || e == 't' || e == '\\') {
      msg->text += e == 'n' ? '\n' : e == 't' ? '\t' : '\\';
      ++i;
    } else if (e == 'x' && i + 3 < line.size() && HexValue(line[i + 2]) >= 0 &&
               HexValue(line[i + 3]) >= 0) {
      msg->text += static_cast<char>(HexValue(line[i + 2]) * 16 + HexValue(line[i + 3]));
      i += 3;
    } else if (e == 'x') {
      return "\\x needs two hexadecimal digits";
    } else {
      return e ? std::string("unknown escape \\") + e : "a backslash at the end of the line";
    }
  }
  return "";
}

/* The source form of text: \n, \t, \\ and \xHH for the other control characters. */
std::string Escape(const char *text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int Compile(const char *source, const char *output) {
  std::ifstream in(source, std::ios::binary);
  std::stringstream content;
  if (!in || !(content << in.rdbuf())) {
    fprintf(stderr, "mkcatalog: cannot read %s: %s\n", source, strerror(errno));
    return 1;
  }
  std::vector<Message> messages;
  std::unordered_map<std::string, int> lines; /* key -> line that defines it */
  std::string line;
  int number = 0;
  std::istringstream text(content.str());
  while (std::getline(text, line)) {
    ++number;
    if (line.empty() || line[0] == '#' || line.find_first_not_of(" \t") == std::string::npos) {
      continue;
    }
    Message msg;
    msg.line = number;
    std::string why = ParseLine(line, &msg);
    if (why.empty() && lines.count(msg.key)) {
      why = "the key " + msg.key + " is already defined on line " + std::to_string(lines[msg.key]);
    }
    if (!why.empty()) {
      fprintf(stderr, "%s:%d: %s\n", source, number, why.c_str());
      return 1;
    }
    lines[msg.key] = number;
    messages.push_back(msg);
  }

  /* A fresh database: nothing of an earlier OUT.vdb may survive in it. */
  if (unlink(output) != 0 && errno != ENOENT) {
    fprintf(stderr, "mkcatalog: cannot replace %s: %s\n", output, strerror(errno));
    return 1;
  }
  srand(kSeed);
  DbT *db = DbTOpenFile(output, DBT_DEFER);
  if (db == nullptr) {
    fprintf(stderr, "mkcatalog: cannot open %s\n", output);
    return 1;
  }
  for (const Message &m : messages) {
    if (!DbmTPutRecord(db, m.key.c_str(), m.text.c_str(), static_cast<int>(m.text.size()) + 1)) {
      fprintf(stderr, "%s:%d: the message %s cannot be stored (too long?)\n", source, m.line,
              m.key.c_str());
      DbTClose(db);
      return 1;
    }
  }
  int ok = DbmTArchiveDb(db);
  DbTClose(db);
  if (!ok) {
    fprintf(stderr, "mkcatalog: cannot write %s\n", output);
    return 1;
  }
  return 0;
}

int Dump(const char *input) {
  DbT *db = DbTOpenFile(input, DBT_NO_RECHECK);
  if (db == nullptr || db->kind == 0) {
    fprintf(stderr, "mkcatalog: %s is missing, empty or not a database\n", input);
    DbTClose(db);
    return 1;
  }
  int status = 0;
  DbLinkNode *list = DbmTGetDbLinkList(db, nullptr);
  for (DbLinkNode *node = list; node; node = node->next) {
    size_t length = static_cast<size_t>(node->valueLength);
    if (length == 0 || node->value[length - 1] != '\0') {
      fprintf(stderr, "mkcatalog: %s: the value of %s has no terminating NUL\n", input,
              Escape(node->data, strlen(node->data)).c_str());
      status = 1;
    } else {
      --length;
    }
    printf("%s\t%s\n", Escape(node->data, strlen(node->data)).c_str(),
           Escape(node->value, length).c_str());
  }
  DbmFreeDbLinkList(list);
  if (db->cutAt >= 0) {
    fprintf(stderr, "mkcatalog: %s is damaged at byte %ld (%s); the records after it are lost\n",
            input, db->cutAt, db->cutWhy ? db->cutWhy : "bad record");
    status = 1;
  }
  DbTClose(db);
  if (fflush(stdout) != 0) {
    fprintf(stderr, "mkcatalog: cannot write the output: %s\n", strerror(errno));
    return 1;
  }
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  my_name = const_cast<char *>("mkcatalog");
  if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "-d") == 0) return Dump(argv[2]);
  if (argc == 3 && argv[1][0] != '-') return Compile(argv[1], argv[2]);
  fputs(kUsage, stderr);
  return 2;
}
