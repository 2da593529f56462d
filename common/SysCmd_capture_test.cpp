#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "MemMgr.h"
#include "SysCmd.h"
#include "fake_commands_test.h"

namespace {

class CaptureTest : public FakeCommandTest {
 protected:
  bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
};

std::vector<std::string> Texts(const ResponseLine *list) {
  std::vector<std::string> texts;
  for (; list != nullptr; list = list->next) texts.push_back(list->str);
  return texts;
}

/* Nodes in use over all ordinary blocks of the memory manager. */
long UsedNodes() {
  long used = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next)
    if (b->size == MEM_BLOCK_SIZE) used += MEM_NODES - b->freeCount;
  return used;
}

constexpr const char *kThreeLines = "printf 'alpha\\nbeta\\ngamma'";

TEST_F(CaptureTest, KeepsLinesInOrderAndFiltersByPattern) {
  my_name = const_cast<char *>("ut_capture_filter");

  ResponseLine *all = GetCmdResponse(0, nullptr, "%s", kThreeLines);
  std::vector<std::string> expected = {"alpha\n", "beta\n", "gamma"};
  EXPECT_EQ(Texts(all), expected);
  for (ResponseLine *r = all; r != nullptr; r = r->next)
    EXPECT_EQ(r->str, reinterpret_cast<char *>(r + 1)) << "text lives right after the pointers";
  FreeResponseList(all);

  ResponseLine *empty = GetCmdResponse(0, "", "%s", kThreeLines);
  EXPECT_EQ(Texts(empty), expected);
  FreeResponseList(empty);

  ResponseLine *some = GetCmdResponse(0, "mm", "%s", kThreeLines);
  EXPECT_EQ(Texts(some), std::vector<std::string>{"gamma"});
  FreeResponseList(some);

  EXPECT_EQ(GetCmdResponse(0, "Beta", "%s", kThreeLines), nullptr) << "case-sensitive";
  EXPECT_EQ(GetCmdResponse(0, nullptr, "%s", "true"), nullptr);

  char *text = GetCmdResponseStr(0, nullptr, "%s", kThreeLines);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "alpha\nbeta\ngamma\n");
  PutMem(text);

  text = GetCmdResponseStr(0, "", "%s", kThreeLines);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "alpha\nbeta\ngamma\n");
  PutMem(text);

  text = GetCmdResponseStr(0, "et", "%s", kThreeLines);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "beta\n");
  PutMem(text);

  EXPECT_EQ(GetCmdResponseStr(0, "zzz", "%s", kThreeLines), nullptr);
}

TEST_F(CaptureTest, LongLineArrivesInPieces) {
  my_name = const_cast<char *>("ut_capture_long");
  const char *cmd = "head -c 10000 /dev/zero | tr '\\000' x; echo";

  ResponseLine *list = GetCmdResponse(0, nullptr, "%s", cmd);
  std::vector<std::string> pieces = Texts(list);
  FreeResponseList(list);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], std::string(4095, 'x'));
  EXPECT_EQ(pieces[1], std::string(4095, 'x'));
  EXPECT_EQ(pieces[2], std::string(1810, 'x') + "\n");

  char *text = GetCmdResponseStr(0, nullptr, "%s", cmd);
  ASSERT_NE(text, nullptr);
  std::string want =
      std::string(4095, 'x') + "\n" + std::string(4095, 'x') + "\n" + std::string(1810, 'x') + "\n";
  EXPECT_EQ(std::string(text), want);
  PutMem(text);
}

TEST_F(CaptureTest, WholeCommandLineAndTableRows) {
  my_name = const_cast<char *>("ut_capture_rows");

  /* Rows 0 and 1: the format is the whole command line. */
  ResponseLine *list = GetCmdResponse(0, nullptr, "echo %s; echo %d", "first", 2);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"first\n", "2\n"}));
  FreeResponseList(list);
  list = GetCmdResponse(1, nullptr, "echo %s", "one");
  EXPECT_EQ(Texts(list), std::vector<std::string>{"one\n"});
  FreeResponseList(list);

  /* A table row runs from its resolved directory with its flags before the arguments. */
  WriteCommand("du", "printf '%s|' \"$0\" \"$@\"; echo");
  WriteCommand("ps", "printf '%s|' \"$@\"; echo; echo second");
  list = GetCmdResponse(CMD_DU, nullptr, "%s", "/some/where");
  EXPECT_EQ(Texts(list), std::vector<std::string>{dir_ + "/du|-s|/some/where|\n"});
  FreeResponseList(list);
  EXPECT_STREQ(ComList[CMD_DU].dir, dir_.c_str());

  char *text = GetCmdResponseStr(CMD_PS, "sec", "%s", "");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "second\n");
  PutMem(text);
  text = GetCmdResponseStr(CMD_PS, nullptr, "%s", "");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "-e|\nsecond\n");
  PutMem(text);

  /* Indices outside the table run nothing. */
  EXPECT_EQ(GetCmdResponse(-CMD_DU, nullptr, "%s", "/x"), nullptr);
  EXPECT_EQ(GetCmdResponse(SYSCMD_ROWS - 1, nullptr, "%s", "/x"), nullptr);
  EXPECT_EQ(GetCmdResponseStr(200, nullptr, "%s", "/x"), nullptr);
}

TEST_F(CaptureTest, CommandLineThatDoesNotFitIsNeverRun) {
  my_name = const_cast<char *>("ut_capture_overlong");
  std::string marker = dir_ + "/ran";
  std::string head = "touch '" + marker + "'; : ";

  /* 4096 characters: one too many for the buffer. */
  std::string pad(4096 - head.size(), 'p');
  EXPECT_EQ(GetCmdResponse(0, nullptr, "%s%s", head.c_str(), pad.c_str()), nullptr);
  EXPECT_EQ(GetCmdResponseStr(0, nullptr, "%s%s", head.c_str(), pad.c_str()), nullptr);
  EXPECT_FALSE(Exists(marker));

  /* The same through a row: the prefix counts too. */
  WriteCommand("du", "touch '" + marker + "'; echo ran");
  std::string arg(4096 - dir_.size() - strlen("/du -s "), 'a');
  EXPECT_EQ(GetCmdResponse(CMD_DU, nullptr, "%s", arg.c_str()), nullptr);
  EXPECT_FALSE(Exists(marker));

  /* 4095 characters fit and run. */
  arg.pop_back();
  ResponseLine *list = GetCmdResponse(CMD_DU, nullptr, "%s", arg.c_str());
  EXPECT_EQ(Texts(list), std::vector<std::string>{"ran\n"});
  FreeResponseList(list);
  EXPECT_TRUE(Exists(marker));
}

TEST_F(CaptureTest, FreeResponseListReleasesEveryLine) {
  my_name = const_cast<char *>("ut_capture_free");
  EXPECT_EQ(FreeResponseList(nullptr), nullptr);

  long before = UsedNodes();
  ResponseLine *list = GetCmdResponse(0, nullptr, "%s", kThreeLines);
  ASSERT_NE(list, nullptr);
  EXPECT_GT(UsedNodes(), before);
  EXPECT_EQ(FreeResponseList(list), list);
  EXPECT_EQ(UsedNodes(), before);
}

TEST_F(CaptureTest, UnresolvableCommandEndsTheRunWithStatusZero) {
  my_name = const_cast<char *>("ut_capture_unresolved");
  /* Lazy resolution finds no such program anywhere. */
  EXPECT_EXIT(GetCmdResponse(70, nullptr, "%s", ""), ::testing::ExitedWithCode(0),
              "ERROR: unable to locate system command 'piomisc_ext'\n");

  /* After the table was fixed, an unresolved row is not looked up again. */
  flInitSysCmd = 0;
  EXPECT_EXIT(GetCmdResponseStr(CMD_CAT, nullptr, "%s", "/dev/null"), ::testing::ExitedWithCode(0),
              "ERROR: unable to locate system command 'cat'\n");
}

}  // namespace
