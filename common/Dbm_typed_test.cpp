/* Typed databases: loading, the header count, both kinds, re-checks against other writers,
 * deferred writes, paths, damaged images, and the index against a model. */
#include <map>
#include <random>

#include "Dbm_test.h"

namespace {

using Typed = DbmTest;

std::string Value(DbT *h, const char *key) {
  int n = DbmTGetRecordSize(h, key);
  std::string v(static_cast<size_t>(n), '\0');
  if (n) {
    EXPECT_EQ(DbmTGetRecord(h, key, &v[0]), n);
  }
  return v;
}

std::string List(DbT *h) {
  char *list = DbmTGetRecordList(h, ",", "");
  std::string s = list ? list : "(null)";
  PutMem(list);
  return s;
}

TEST_F(Typed, HeaderCountsTheRecordsAfterEveryChange) {
  my_name = const_cast<char *>("ut_dbt_header");
  const std::string file = db + "/h.vdb";
  ASSERT_EQ(mkdir(db.c_str(), 0777), 0);
  Write(file, ""); /* an empty file becomes a typed file that counts its record */
  DbT *h = DbTOpen("h", 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->kind, 0);
  EXPECT_EQ(DbmTPutRecord(h, "k", "ab", 2), 1);
  EXPECT_EQ(Read(file).substr(0, 8), std::string("TVDBAA1\0", 8));
  EXPECT_EQ(DbmTPutRecord(h, "j", "c", 1), 1);
  EXPECT_EQ(DbmTPutRecord(h, "k", "d", 1), 1); /* replaced and moved last */
  EXPECT_EQ(List(h), ",j,k");
  EXPECT_EQ(Read(file).substr(0, 8), std::string("TVDBAA2\0", 8));
  EXPECT_EQ(DbmTDeleteRecord(h, "j"), 1);
  EXPECT_EQ(DbmTDeleteRecord(h, "j"), 0);
  EXPECT_EQ(DbmTDeleteRecord(h, ""), 0);
  EXPECT_EQ(Read(file).substr(0, 8), std::string("TVDBAA1\0", 8));
  EXPECT_EQ(DbmTPutRecord(h, "", "e", 1), 1); /* the empty key is replaced like any other */
  EXPECT_EQ(DbmTPutRecord(h, "", "f", 1), 1);
  EXPECT_EQ(Value(h, ""), "f");
  EXPECT_EQ(h->count, 2);
  DbTClose(h);

  Write(file, std::string("TVDBAB7\0", 8)); /* five magic letters make a typed file */
  h = DbTOpen("h", 0);
  EXPECT_EQ(h->kind, 2);
  EXPECT_EQ(h->length, 16); /* a short header becomes a whole one */
  EXPECT_EQ(DbmTPutRecord(h, "a", "b", 1), 1);
  EXPECT_EQ(Read(file).size(), 16u + 7u);
  DbTClose(h);
}

TEST_F(Typed, ReadsAndWritesPlainFilesLikeTheFileCalls) {
  my_name = const_cast<char *>("ut_dbt_kinds");
  ASSERT_EQ(DbmPutRecord("p", "ab", "xyz", 4), 1);
  ASSERT_EQ(DbmPutRecord("p", "a", "1", 2), 1);
  DbT *h = DbTOpen("p", DBT_NO_RECHECK);
  EXPECT_EQ(h->kind, 1);
  EXPECT_EQ(h->swap, 1); /* this host is little-endian, the file is not */
  EXPECT_EQ(Value(h, "ab"), std::string("xyz", 4));
  EXPECT_EQ(Value(h, "a"), std::string("1", 2));
  EXPECT_EQ(DbmTGetRecordSize(h, "b"), 0);
  EXPECT_EQ(DbmTPutRecord(h, "cd", "new", 4), 1);
  EXPECT_EQ(DbmTPutRecord(h, "ab", "re", 3), 1);
  char buf[8] = "";
  EXPECT_EQ(DbmGetRecord("p", "cd", buf), 4);
  EXPECT_STREQ(buf, "new");
  EXPECT_EQ(DbmGetRecord("p", "ab", buf), 3);
  EXPECT_STREQ(buf, "re");
  std::string big(65524, 'v');
  EXPECT_EQ(DbmTPutRecord(h, "k", big.data(), 65524), 0); /* too long for a plain file */
  EXPECT_EQ(DbmTPutRecord(h, "k", big.data(), 65523), 1);
  DbTClose(h);
}

TEST_F(Typed, RecheckSeesOtherWritersAndDeferredChangesWaitForTheWriteBack) {
  my_name = const_cast<char *>("ut_dbt_recheck");
  DbT *h = DbTOpen("r", 0);
  DbT *fixed = DbTOpen("r", DBT_NO_RECHECK);
  ASSERT_EQ(DbmTPutRecord(h, "a", "1", 1), 1);
  /* Another process replaces the file within the same second. */
  for (int round = 0; round < 3; round++) {
    std::string v = std::to_string(round);
    ASSERT_EQ(InChild([&] {
                DbT *other = DbTOpen("r", 0);
                return DbmTPutRecord(other, "a", v.c_str(), 1) ? 0 : 1;
              }),
              0);
    EXPECT_EQ(Value(h, "a"), v);
  }
  EXPECT_EQ(Value(fixed, "a"), "");
  DbTClose(fixed);

  DbT *later = DbTOpen("r", DBT_DEFER);
  const std::string file = db + "/r.vdb";
  const std::string before = Read(file);
  EXPECT_EQ(DbmTPutRecord(later, "b", "2", 1), 1);
  EXPECT_EQ(Read(file), before);
  EXPECT_EQ(Value(later, "b"), "2");
  EXPECT_EQ(DbmTArchiveDb(later), 1);
  EXPECT_EQ(Value(h, "b"), "2");
  DbTClose(later);
  DbTClose(h);

  /* Emptying a plain image with deferred writes keeps it empty until the file changes. */
  ASSERT_EQ(DbmPutRecord("e", "k", "v", 1), 1);
  DbT *e = DbTOpen("e", DBT_DEFER);
  EXPECT_EQ(DbmTDeleteRecord(e, "k"), 1);
  EXPECT_EQ(DbmTGetRecordSize(e, "k"), 0);
  EXPECT_EQ(DbmTGetRecordList(e, ",", ""), nullptr);
  DbTClose(e);
}

TEST_F(Typed, WritesBackToTheFileItRead) {
  my_name = const_cast<char *>("ut_dbt_paths");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(mkdir((tool + "/v1.2").c_str(), 0777), 0);
  ASSERT_EQ(chdir(tool.c_str()), 0);
  struct {
    std::string name, file;
  } cases[] = {
      {"plain", db + "/plain.vdb"},
      {"en_US/CoreString", db + "/en_US/CoreString.vdb"},
      {tool + "/abs", tool + "/abs.vdb"},
      {tool + "/v1.2/x", tool + "/v1.2/x.vdb"}, /* a dot in a directory is not an extension */
      {tool + "/cat.vdb", tool + "/cat.vdb"},
      {"./rel.vdb", tool + "/rel.vdb"},
  };
  for (auto &c : cases) {
    DbT *h = DbTOpen(c.name.c_str(), 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(DbmTPutRecord(h, "k", "v", 1), 1) << c.name;
    DbTClose(h);
    h = DbTOpenFile(c.file.c_str(), 0);
    EXPECT_EQ(Value(h, "k"), "v") << c.name;
    DbTClose(h);
    EXPECT_FALSE(Exists(c.file + "_new")) << c.name;
  }
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(Typed, DamagedImagesAreCutAndUnreadableFilesNeverOverwritten) {
  my_name = const_cast<char *>("ut_dbt_damage");
  ASSERT_EQ(mkdir(db.c_str(), 0777), 0);
  using S = std::string;
  const S head("TVDBAA9\0\1\2\3\4\5\6\7\x08", 16);
  const S good("\x00\x05\x00\x02\x61\x00\x62", 7); /* a = b */
  struct {
    S tail;
    int length, count;
  } cases[] = {
      {S("\x00\x03\x00\x02\x61", 5), 23, 1},                    /* T < K + 2 */
      {S("\x00\x03\x00\x00\x61", 5), 23, 1},                    /* K = 0 */
      {S("\x00\x05\x00\x02\x61\x62\x62", 7), 23, 1},            /* key without its NUL */
      {S("\x00\x09\x00\x02\x61\x00", 6), 23, 1},                /* past the end */
      {S("\x00", 1), 23, 1},                                    /* a lone byte */
      {S("\x13\x8c\x13\x88", 4) + S(5002, '\0'), 23 + 5006, 2}, /* K = 5000: kept, not found */
  };
  for (auto &c : cases) {
    Write(db + "/d.vdb", head + good + c.tail);
    DbT *h = DbTOpen("d", 0);
    EXPECT_EQ(h->length, c.length);
    EXPECT_EQ(h->count, c.count);
    EXPECT_EQ(Value(h, "a"), "b");
    EXPECT_EQ(List(h), ",a");
    DbTClose(h);
  }

  /* A directory where the file should be: reads find nothing, writes are refused. */
  ASSERT_EQ(mkdir((db + "/u.vdb").c_str(), 0777), 0);
  DbT *u = DbTOpen("u", 0);
  EXPECT_EQ(DbmTPutRecord(u, "k", "v", 1), 0);
  EXPECT_EQ(DbmTArchiveDb(u), 0);
  EXPECT_EQ(DbmTDeleteRecords(u, "k"), 0);
  DbTClose(u);
  struct stat st;
  ASSERT_EQ(stat((db + "/u.vdb").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  /* A failed write-back is reported, by DbmTDeleteRecords as well. */
  DbT *w = DbTOpen("w", 0);
  ASSERT_EQ(DbmTPutRecord(w, "20_1", "v", 1), 1);
  ASSERT_EQ(DbmTPutRecord(w, "20_2", "v", 1), 1);
  ASSERT_EQ(mkdir((db + "/w.vdb_new").c_str(), 0777), 0); /* the copy cannot be made */
  ASSERT_EQ(mkdir((db + "/w.vdb_new/x").c_str(), 0777), 0);
  EXPECT_EQ(DbmTDeleteRecords(w, "20_"), 0);
  EXPECT_EQ(DbmTPutRecord(w, "k", "v", 1), 0);
  DbTClose(w);
}

TEST_F(Typed, QueriesListsAndCopies) {
  my_name = const_cast<char *>("ut_dbt_api");
  DbT *h = DbTOpen("q", DBT_DEFER);
  std::string big(3000, 'x');
  ASSERT_EQ(DbmTPutRecord(h, "big", big.data(), 3000), 1);
  for (const char *k : {"a1", "b1", "c1", "20_1", "20_2", "x20_"}) {
    ASSERT_EQ(DbmTPutRecord(h, k, k, static_cast<int>(strlen(k)) + 1), 1);
  }
  char preset[2048];
  char *buf = preset;
  EXPECT_EQ(DbmTGetRecordV(h, "a1", &buf, 2048), 3);
  EXPECT_EQ(buf, preset);
  EXPECT_EQ(DbmTGetRecordV(h, "big", &buf, 2048), 3000);
  ASSERT_NE(buf, preset);
  EXPECT_EQ(std::string(buf, 3000), big);
  PutMem(buf);

  char *s = DbmTGetRecordListS(h, "a,,c", "|", ".");
  EXPECT_STREQ(s, "|a1|c1.");
  PutMem(s);
  DbLinkNode *nodes = DbmTGetDbLinkList(h, "20_");
  std::string seen;
  for (DbLinkNode *n = nodes; n; n = n->next) seen += std::string(n->data) + "=" + n->value + ";";
  EXPECT_EQ(seen, "20_1=20_1;20_2=20_2;x20_=x20_;");
  DbmFreeDbLinkList(nodes);

  EXPECT_EQ(DbmTCopyRecord(h, "big", "big2"), 1);
  EXPECT_EQ(Value(h, "big2"), big);
  EXPECT_EQ(DbmTCopyRecord(h, "none", "x"), 0);
  EXPECT_EQ(DbmTDeleteRecords(h, "20_"), 1);
  EXPECT_EQ(List(h), ",big,a1,b1,c1,x20_,big2");
  EXPECT_EQ(DbmTDeleteRecords(h, ""), 0);
  std::string longKey(4096, 'k');
  EXPECT_EQ(DbmTPutRecord(h, longKey.c_str(), "v", 1), 0);
  EXPECT_EQ(DbmTGetRecordSize(h, longKey.c_str()), 0);
  DbTClose(h);
}

TEST_F(Typed, IndexAgreesWithAModelThroughRandomChanges) {
  my_name = const_cast<char *>("ut_dbt_model");
  for (int kind : {2, 1}) {
    std::string name = "m" + std::to_string(kind);
    if (kind == 1) {
      ASSERT_EQ(DbmPutRecord(name.c_str(), "seed", "s", 2), 1);
    }
    DbT *h = DbTOpen(name.c_str(), DBT_DEFER | DBT_NO_RECHECK);
    std::map<std::string, std::string> model;
    if (kind == 1) model["seed"] = std::string("s", 2);
    std::mt19937 rng(7);
    for (int step = 0; step < 3000; step++) {
      std::string key = "k" + std::to_string(rng() % 300);
      int op = static_cast<int>(rng() % 10);
      if (op < 6) {
        std::string v(rng() % 40 + 1, static_cast<char>('a' + step % 26));
        ASSERT_EQ(DbmTPutRecord(h, key.c_str(), v.data(), static_cast<int>(v.size())), 1);
        model[key] = v;
      } else if (op < 9) {
        EXPECT_EQ(DbmTDeleteRecord(h, key.c_str()), model.erase(key) ? 1 : 0);
      } else {
        std::string prefix = key.substr(0, 3);
        EXPECT_EQ(DbmTDeleteRecords(h, prefix.c_str()), 1);
        for (auto it = model.lower_bound(prefix);
             it != model.end() && !it->first.compare(0, prefix.size(), prefix);)
          it = model.erase(it);
      }
      if (step % 500 == 499) { /* write back and reload: the file must say the same */
        ASSERT_EQ(DbmTArchiveDb(h), 1);
        DbTClose(h);
        h = DbTOpen(name.c_str(), DBT_DEFER | DBT_NO_RECHECK);
        EXPECT_EQ(h->kind, kind);
      }
      for (int probe = 0; probe < 3; probe++) {
        std::string k = "k" + std::to_string(rng() % 300);
        auto it = model.find(k);
        ASSERT_EQ(Value(h, k.c_str()), it == model.end() ? "" : it->second) << k;
      }
    }
    EXPECT_EQ(h->count, static_cast<long>(model.size()));
    DbTClose(h);
  }
}

}  // namespace
