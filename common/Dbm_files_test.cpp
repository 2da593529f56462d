/* Database files: the byte layout, the record calls, damaged files, failures that must leave
 * the old file intact, hostile names and links, and concurrent writers. */
#include <signal.h>
#include <sys/resource.h>

#include <set>
#include <vector>

#include "Dbm_test.h"

namespace {

using Files = DbmTest;

std::string Hex(const std::string &s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    snprintf(b, sizeof b, "%02x ", c);
    out += b;
  }
  return out;
}

std::string Keys(const char *db) {
  char *list = DbmGetRecordList(db, ",", "");
  std::string s = list ? list : "(null)";
  PutMem(list);
  return s;
}

TEST_F(Files, WritesTheDocumentedBytes) {
  my_name = const_cast<char *>("ut_dbm_bytes");
  /* The record layouts both interfaces share, byte for byte (filler bytes 8-15 not pinned). */
  ASSERT_EQ(DbmPutRecord("plain", "ab", "x", 1), 1);
  DbT *typed = DbTOpen("typed", 0);
  ASSERT_EQ(DbmTPutRecord(typed, "k", "ab", 2), 1);
  DbTClose(typed);
  ASSERT_EQ(DbmPutRecord("kind1", "zz", "y", 1), 1);
  DbT *kind1 = DbTOpen("kind1", 0);
  ASSERT_EQ(DbmTDeleteRecord(kind1, "zz"), 1);
  ASSERT_EQ(DbmTPutRecord(kind1, "k", "ab", 2), 1);
  DbTClose(kind1);
  std::string t = Read(db + "/typed.vdb");
  struct {
    std::string got, want;
  } cases[] = {
      {Read(db + "/plain.vdb"), "00 06 03 62 03 62 78 78 "},
      {t.substr(0, 8), "54 56 44 42 41 41 31 00 "},
      {t.size() > 16 ? t.substr(16) : t, "00 06 00 02 6b 00 03 62 "},
      {Read(db + "/kind1.vdb"), "00 06 02 69 6b 61 03 62 "},
  };
  for (auto &c : cases) EXPECT_EQ(Hex(c.got), c.want);
  EXPECT_EQ(t.size(), 24u);

  Write(tool + "/dump.db", Read(db + "/plain.vdb"));
  testing::internal::CaptureStdout();
  std::string name = tool + "/dump";
  EXPECT_EQ(DumpDbm(name.c_str()), name.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "6 3 ==>{ab.x}\n");
}

TEST_F(Files, StoresReplacesDeletesAndLists) {
  my_name = const_cast<char *>("ut_dbm_records");
  char buf[64] = "";
  EXPECT_EQ(DbmGetRecord("d", "ab", buf), 0); /* missing database */
  EXPECT_EQ(DbmDeleteRecord("d", "ab"), 0);
  EXPECT_EQ(DbmPutRecord("d", "ab", "1", 2), 1);
  EXPECT_EQ(DbmPutRecord("d", "cd", "2", 2), 1);
  EXPECT_EQ(DbmPutRecord("d", "ab", "3", 2), 1); /* replaced, moved to the end */
  EXPECT_EQ(Keys("d"), ",cd,ab");
  EXPECT_EQ(DbmGetRecord("d", "ab", buf), 2);
  EXPECT_STREQ(buf, "3");
  EXPECT_EQ(DbmGetRecordSize("d", "a"), 0); /* "a" is not "ab" */
  EXPECT_EQ(DbmPutRecord("d", "ab", "", 0), 0);

  EXPECT_EQ(DbmCopyRecord("d", "cd", "ef"), 1);
  EXPECT_EQ(DbmCopyRecord("d", "zz", "ef"), 0);
  char *list = DbmGetRecordList("d", ",", ",");
  EXPECT_STREQ(list, ",cd,ab,ef,");
  PutMem(list);
  DbLinkNode *nodes = DbmGetDbLinkList("d", "d");
  ASSERT_NE(nodes, nullptr);
  EXPECT_STREQ(nodes->data, "cd");
  EXPECT_STREQ(nodes->value, "2");
  EXPECT_EQ(nodes->valueLength, 2);
  EXPECT_EQ(nodes->next, nullptr);
  DbmFreeDbLinkList(nodes);

  /* The next-record counter runs through the file once and then stays at its end. */
  std::string seen;
  for (int i = 0; i < 5; i++) {
    int n = DbmGetNextRecord("d", buf);
    seen += n ? std::string(buf) : "0";
  }
  EXPECT_EQ(seen, "23200");

  for (const char *k : {"q_1", "r_1", "q_2"}) ASSERT_EQ(DbmPutRecord("p", k, "v", 1), 1);
  EXPECT_EQ(DbmDeleteRecords("p", "q_"), 1);
  EXPECT_EQ(Keys("p"), ",r_1");
  EXPECT_EQ(DbmDeleteRecords("p", "zz"), 1); /* nothing matched: still rewritten */
  EXPECT_EQ(DbmDeleteRecords("p", ""), 0);
  EXPECT_EQ(DbmDeleteRecord("p", "nothing"), 1);
  EXPECT_EQ(DbmDeleteRecord("p", "r_1"), 1);
  EXPECT_EQ(DbmGetRecordList("p", ",", ","), nullptr);

  /* The database list: only "<name>.vdb"; a leading blank in the blank-led form. */
  for (const char *f : {"b.vdb_new", "c.txt", ".vdb", "x.y.vdb", "my db.vdb"})
    Write(db + "/" + f, "");
  char *blank = DbmGetDbList(1);
  char *comma = DbmGetDbList(0);
  std::set<std::string> names;
  for (char *w = strtok(comma, ","); w; w = strtok(nullptr, ",")) names.insert(w);
  EXPECT_EQ(names, (std::set<std::string>{"d", "p"}));
  EXPECT_TRUE(!strcmp(blank, " d p") || !strcmp(blank, " p d")) << blank;
  PutMem(blank);
  PutMem(comma);
}

TEST_F(Files, DamagedRecordsEndTheWalkAndTheRecordsBeforeThemStay) {
  my_name = const_cast<char *>("ut_dbm_corrupt");
  ASSERT_EQ(mkdir(db.c_str(), 0777), 0);
  /* A record of the given plain payload: its length, then the payload chained. */
  auto rec = [](std::string plain) {
    for (size_t i = 0; i + 1 < plain.size(); i++) plain[i] ^= plain[i + 1];
    return std::string(1, char(plain.size() >> 8)) + char(plain.size() & 255) + plain;
  };
  using S = std::string;
  const S good = rec(S("\0\3ab\0x", 6));
  const S tails[] = {
      good.substr(0, 5), /* truncated */
      rec(""),           /* L = 0 */
      rec(S("\0", 1)),   /* L = 1 */
      rec(S("\0\1", 2)), /* L = 2 */
      rec(S("\0\x09"
            "a\0",
            4)),                             /* K > L - 2 */
      rec(S("\0\0\0", 3)),                   /* K = 0 */
      rec(S("\0\2ab", 4)),                   /* key without its NUL */
      S("\xff\xff", 2) + S(300, 'z') + good, /* L = 0xFFFF, past the end */
      S("\0", 1),                            /* a lone byte */
  };
  for (const std::string &tail : tails) {
    Write(db + "/c.vdb", good + tail);
    char buf[70000];
    EXPECT_EQ(DbmGetRecord("c", "ab", buf), 1) << Hex(tail);
    EXPECT_EQ(Keys("c"), ",ab") << Hex(tail);
    /* A store keeps the sound records and drops what cannot be read. */
    EXPECT_EQ(DbmPutRecord("c", "n", "v", 1), 1);
    EXPECT_EQ(Keys("c"), ",ab,n") << Hex(tail);
  }
}

TEST_F(Files, FailedStoresLeaveTheOldFileAndNoCopy) {
  my_name = const_cast<char *>("ut_dbm_failures");
  ASSERT_EQ(DbmPutRecord("f", "k", "old", 4), 1);
  const std::string file = db + "/f.vdb";
  const std::string before = Read(file);

  /* A directory where the database should be is never replaced. */
  ASSERT_EQ(mkdir((db + "/dir.vdb").c_str(), 0755), 0);
  EXPECT_EQ(DbmPutRecord("dir", "k", "v", 1), 0);
  EXPECT_EQ(DbmDeleteRecords("dir", "k"), 0);
  struct stat st;
  ASSERT_EQ(stat((db + "/dir.vdb").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  /* Nor is a FIFO, and reading it never blocks. */
  ASSERT_EQ(mkfifo((db + "/fifo.vdb").c_str(), 0666), 0);
  EXPECT_EQ(DbmGetRecordSize("fifo", "k"), 0);
  EXPECT_EQ(DbmPutRecord("fifo", "k", "v", 1), 0);
  ASSERT_EQ(lstat((db + "/fifo.vdb").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  /* Too long: the 16-bit length never wraps. */
  std::string big(70000, 'k');
  EXPECT_EQ(DbmPutRecord("f", big.c_str(), "v", 1), 0);
  EXPECT_EQ(DbmPutRecord("f", "k", big.data(), 65524), 0);
  EXPECT_EQ(DbmPutRecord("f", "k", big.data(), 65523), 1); /* L = 65527 exactly */
  EXPECT_EQ(DbmGetRecordSize("f", "k"), 65523);
  ASSERT_EQ(DbmPutRecord("f", "k", "old", 4), 1);

  /* The file size limit: the write fails, the old file stays, no copy is left. */
  EXPECT_EQ(InChild([&] {
              signal(SIGXFSZ, SIG_IGN);
              struct rlimit lim = {4096, 4096};
              setrlimit(RLIMIT_FSIZE, &lim);
              return DbmPutRecord("f", "big", big.data(), 60000);
            }),
            0);
  EXPECT_EQ(Read(file), before);
  EXPECT_FALSE(Exists(db + "/f.vdb_new"));

  /* A db directory the writer may not write into (as another user when run as root). */
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  ASSERT_EQ(chmod(db.c_str(), 0555), 0);
  EXPECT_EQ(InChild([] {
              if (geteuid() == 0 && setuid(65534) != 0) return 9;
              return DbmPutRecord("f", "k", "new", 4);
            }),
            0);
  EXPECT_EQ(Read(file), before);
}

TEST_F(Files, NamesAndLinksAreNeverInterpreted) {
  my_name = const_cast<char *>("ut_dbm_names");
  ASSERT_EQ(DbmPutRecord("first", "k", "v", 1), 1);
  const std::string victim = tool + "/victim";
  Write(victim, "secret");
  ASSERT_EQ(symlink(victim.c_str(), (db + "/first.vdb_new").c_str()), 0);
  const char *names[] = {"first", "my db", "it's \"q\"", "$(touch pwned)", "`touch pwned2`"};
  for (const char *name : names) {
    EXPECT_EQ(DbmPutRecord(name, "k", "w", 1), 1) << name;
    char buf[4] = "";
    EXPECT_EQ(DbmGetRecord(name, "k", buf), 1) << name;
    EXPECT_EQ(buf[0], 'w') << name;
    EXPECT_TRUE(Exists(db + "/" + name + ".vdb")) << name;
  }
  EXPECT_EQ(Read(victim), "secret");
  EXPECT_FALSE(Exists("pwned") || Exists(db + "/pwned") || Exists("pwned2"));
  struct stat st;
  ASSERT_EQ(stat((db + "/first.vdb").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);

  /* Full-path mode: the name is the file, the copy is "<path>_new". */
  std::string path = tool + "/full.vdb";
  DbmSetV4DriverPathHandling(1);
  EXPECT_EQ(DbmPutRecord(path.c_str(), "a", "1", 1), 1);
  EXPECT_EQ(DbmPutRecord(path.c_str(), "b", "2", 1), 1);
  EXPECT_EQ(Keys(path.c_str()), ",a,b");
  DbTClose(nullptr); /* switches the mode off */
  EXPECT_TRUE(Exists(path));
  EXPECT_FALSE(Exists(path + "_new"));
}

TEST_F(Files, ConcurrentWritersKeepEveryRecord) {
  my_name = const_cast<char *>("ut_dbm_concurrent");
  std::vector<pid_t> kids;
  for (int p = 0; p < 2; p++) {
    pid_t pid = fork();
    if (pid == 0) {
      int ok = 1;
      for (int i = 0; i < 200; i++) {
        std::string key = std::to_string(p) + "_" + std::to_string(i);
        ok &= DbmPutRecord("shared", key.c_str(), "v", 1);
      }
      _exit(ok ? 0 : 1);
    }
    kids.push_back(pid);
  }
  for (pid_t pid : kids) {
    int status;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int found = 0;
  for (int p = 0; p < 2; p++) {
    for (int i = 0; i < 200; i++) {
      std::string key = std::to_string(p) + "_" + std::to_string(i);
      found += DbmGetRecordSize("shared", key.c_str());
    }
  }
  EXPECT_EQ(found, 400);
}

}  // namespace
