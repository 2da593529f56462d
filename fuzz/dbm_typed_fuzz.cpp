/* Fuzz target of the typed database: the input is written as a database file (kind from its
 * first bytes), loaded, walked (lists, link list, gets), stored into, deleted from and
 * written back. Checks that every key the walk lists is found with the value of its first
 * record, that a store is read back, and that the file written back loads to the same keys,
 * values and count. */
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "fuzz_dir.h"
#include "utils.h"

namespace {

const std::string &ToolDir() {
  static const std::string dir = MakeFuzzDir("dbm_typed_fuzz");
  return dir;
}

/* Keys and values of every record, in image order. */
std::string Contents(DbT *db) {
  std::string s;
  DbLinkNode *nodes = DbmTGetDbLinkList(db, nullptr);
  for (DbLinkNode *n = nodes; n; n = n->next) {
    s += n->data;
    s += '=';
    s.append(n->value, static_cast<size_t>(n->valueLength));
    s += '\n';
  }
  DbmFreeDbLinkList(nodes);
  return s;
}

void CheckLookups(DbT *db) {
  std::vector<DbLinkNode *> seen;
  DbLinkNode *nodes = DbmTGetDbLinkList(db, "");
  std::vector<char> buf(65536);
  for (DbLinkNode *n = nodes; n; n = n->next) {
    bool first = true;
    for (DbLinkNode *m : seen) first &= strcmp(m->data, n->data) != 0;
    seen.push_back(n);
    if (!first || strlen(n->data) + 1 != static_cast<size_t>(n->value - n->data)) continue;
    int len = DbmTGetRecord(db, n->data, buf.data());
    if (len != n->valueLength || DbmTGetRecordSize(db, n->data) != len) abort();
    if (len && memcmp(buf.data(), n->value, static_cast<size_t>(len)) != 0) abort();
    char small[16];
    char *p = small;
    if (DbmTGetRecordV(db, n->data, &p, sizeof small) != len) abort();
    if (len && memcmp(p, n->value, static_cast<size_t>(len)) != 0) abort();
    if (p != small) PutMem(p);
  }
  DbmFreeDbLinkList(nodes);
  PutMem(DbmTGetRecordList(db, ",", "."));
  PutMem(DbmTGetRecordListS(db, "1,a,,", ",", "."));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("dbm_typed_fuzz");
  pToolPath = const_cast<char *>(ToolDir().c_str());
  std::string file = ToolDir() + "/t.vdb";
  FILE *fp = fopen(file.c_str(), "wb");
  if (!fp) abort();
  if (size) fwrite(data, 1, size, fp);
  fclose(fp);

  DbT *db = DbTOpenFile(file.c_str(), DBT_DEFER);
  if (!db) abort();
  CheckLookups(db);
  int kind = db->kind;
  if (DbmTPutRecord(db, "k", "value", 6) != 1) abort();
  char buf[8];
  if (DbmTGetRecord(db, "k", buf) != 6 || strcmp(buf, "value") != 0) abort();
  DbmTDeleteRecords(db, "1");
  DbmTDeleteRecord(db, "a");
  DbmTCopyRecord(db, "k", "copy");
  CheckLookups(db);
  std::string contents = Contents(db);
  long count = db->count;
  if (DbmTArchiveDb(db) != 1) abort();
  DbTClose(db);

  db = DbTOpenFile(file.c_str(), DBT_NO_RECHECK);
  /* A plain file whose first record happens to begin with the typed magic reads as typed. */
  if (kind == 1 && memcmp(db->image, "TVDBA", 5) == 0) {
    DbTClose(db);
    return 0;
  }
  if (Contents(db) != contents || db->count != count || db->cutAt >= 0) abort();
  if (db->kind != (kind == 1 ? 1 : 2)) abort();
  DbTClose(db);
  return 0;
}
