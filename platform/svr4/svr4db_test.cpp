// Owner and group ids read from the text of /etc/passwd and /etc/group, as the stand-ins read
// them instead of asking the C library's name services.
#include "svr4db.h"

#include <gtest/gtest.h>

#include <string>

using svr4::IdFromFile;

namespace {

TEST(IdFromFile, FirstLineNamingTheNameWithANumericThirdField) {
  const std::string passwd =
      "root:x:0:0:root:/root:/bin/sh\n"
      "bin:x:2:2:bin:/bin:/usr/sbin/nologin\n"
      "lp:x:7:7:lp:/var/spool/lpd:/usr/sbin/nologin\n"
      "lpadmin:x:107:7::/:/bin/false\n"
      "broken:x\n"
      "noid:x::5::/:\n"
      "word:x:12a:5::/:\n"
      "big:x:4294967295:0::/:\n"
      "top:x:4294967294:0::/:\n"
      "long:x:00000000001:0::/:\n"
      "twice:x:abc:1::/:\n"
      "twice:x:31:1::/:\n"
      "dup:x:40:1::/:\n"
      "dup:x:41:1::/:\n"
      ":x:9:9::/:\n"
      "short:x:77\n"
      "last:x:88:0::/:";  // no newline after the last line
  const struct {
    const char *name;
    long id;
  } cases[] = {
      // clang-format off
      {"root", 0}, {"bin", 2}, {"lpadmin", 107},
      {"lp", 7},                      // not the line of "lpadmin"
      {"lpa", -1}, {"ro", -1},        // a name is never a prefix
      {"broken", -1}, {"noid", -1}, {"word", -1}, {"short", 77},
      {"big", -1}, {"top", 4294967294},
      {"long", -1},                   // at most 10 digits
      {"twice", 31}, {"dup", 40},     // the first line that parses
      {"", 9}, {"last", 88}, {"nobody", -1},
      {"x", -1}, {"0", -1},           // ids are not names
      // clang-format on
  };
  for (const auto &c : cases) EXPECT_EQ(IdFromFile(passwd, c.name), c.id) << c.name;
}

TEST(IdFromFile, EmptyOrLinelessTextNamesNobody) {
  EXPECT_EQ(IdFromFile("", "root"), -1);
  EXPECT_EQ(IdFromFile("\n\n\n", "root"), -1);
  EXPECT_EQ(IdFromFile("root", "root"), -1);
  EXPECT_EQ(IdFromFile("root:", "root"), -1);
  EXPECT_EQ(IdFromFile("root::", "root"), -1);
  EXPECT_EQ(IdFromFile("\nroot::3", "root"), 3);
}

}  // namespace
