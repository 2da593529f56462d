/* Fuzz target of the database file calls: the input is written as the database file "f",
 * then walked (lists, gets, the next-record counter, the dump), stored into and deleted
 * from. Checks that every key the walk lists is found with the same value, that a store is
 * read back and keeps the other keys, and that a prefix delete leaves no key with it. */
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "fuzz_dir.h"
#include "utils.h"

namespace {

/* A tool directory on a memory file system when there is one: every store syncs its file. */
const std::string &ToolDir() {
  static std::string dir = [] {
    const std::string s = MakeFuzzDir("dbm_files_fuzz");
    mkdir((s + "/db").c_str(), 0777);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1); /* DumpDbm prints */
    return s;
  }();
  return dir;
}

std::vector<std::string> Keys(const char *db) {
  std::vector<std::string> keys;
  char *list = DbmGetRecordList(db, "\n", "");
  if (!list) return keys;
  for (char *p = list; *p == '\n';) {
    char *end = strchr(p + 1, '\n');
    keys.emplace_back(p + 1, end ? static_cast<size_t>(end - p - 1) : strlen(p + 1));
    if (!end) break;
    p = end;
  }
  PutMem(list);
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("dbm_files_fuzz");
  pToolPath = const_cast<char *>(ToolDir().c_str());
  std::string file = ToolDir() + "/db/f.vdb";
  FILE *fp = fopen(file.c_str(), "wb");
  if (!fp) abort();
  if (size) fwrite(data, 1, size, fp);
  fclose(fp);
  std::vector<char> buf(70000);

  /* Every listed key is found; the first record of a key gives the value the list shows. */
  std::vector<DbLinkNode *> seen;
  DbLinkNode *nodes = DbmGetDbLinkList("f", nullptr);
  for (DbLinkNode *n = nodes; n; n = n->next) {
    bool first = true;
    for (DbLinkNode *m : seen) first &= strcmp(m->data, n->data) != 0;
    seen.push_back(n);
    if (!first || strlen(n->data) + 1 != static_cast<size_t>(n->value - n->data)) continue;
    int len = DbmGetRecord("f", n->data, buf.data());
    if (len != n->valueLength || DbmGetRecordSize("f", n->data) != len) abort();
    if (len && memcmp(buf.data(), n->value, static_cast<size_t>(len)) != 0) abort();
  }
  DbmFreeDbLinkList(nodes);
  DbmGetNextRecord("f", buf.data());
  std::string dump = ToolDir() + "/db/f";
  rename(file.c_str(), (dump + ".db").c_str());
  DumpDbm(dump.c_str());
  rename((dump + ".db").c_str(), file.c_str());

  /* A store is read back and keeps every other key; a prefix delete leaves none with it. */
  std::vector<std::string> before = Keys("f");
  if (!DbmPutRecord("f", "k", "value", 6)) abort();
  if (DbmGetRecord("f", "k", buf.data()) != 6 || strcmp(buf.data(), "value") != 0) abort();
  std::vector<std::string> after = Keys("f");
  for (const std::string &k : before) {
    bool kept = k == "k";
    for (const std::string &a : after) kept |= a == k;
    if (!kept) abort();
  }
  if (!DbmDeleteRecords("f", "a")) abort();
  for (const std::string &k : Keys("f")) {
    if (k[0] == 'a') abort();
  }
  return 0;
}
