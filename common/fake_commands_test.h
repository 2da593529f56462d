/* Test support: a private directory of fake commands, searched before the fixed command
 * directories. Each test starts with lazy resolution on and every row unresolved, so the
 * fakes written there are found first; commands it does not fake resolve to the host's. */
#ifndef COMMON_FAKE_COMMANDS_TEST_H
#define COMMON_FAKE_COMMANDS_TEST_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "MemMgr.h"
#include "SysCmd.h"

class FakeCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ut_fakecmd_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    snprintf(search_, sizeof search_, "%s:%s", dir_.c_str(), savedSearch_);
    SearchPaths = search_;
    ResetResolution();
  }

  void TearDown() override {
    SearchPaths = savedSearch_;
    ResetResolution();
    std::string rm = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(system(rm.c_str()), 0);
  }

  static void ResetResolution() {
    if (FullSearchPath != nullptr) PutMem(FullSearchPath);
    FullSearchPath = nullptr;
    for (int i = 2; i <= CMD_LAST; ++i) ComList[i].dir = nullptr;
    flInitSysCmd = 1;
  }

  void WriteFile(const std::string &name, const std::string &text) {
    std::ofstream out(dir_ + "/" + name, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good());
  }

  std::string ReadFile(const std::string &name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  /* An executable sh script named name in the test directory. */
  void WriteCommand(const std::string &name, const std::string &body) {
    WriteFile(name, "#!/bin/sh\n" + body + "\n");
    ASSERT_EQ(chmod((dir_ + "/" + name).c_str(), 0755), 0);
  }

  std::string dir_;
  char *savedSearch_ = SearchPaths;
  char search_[1024];
};

#endif
