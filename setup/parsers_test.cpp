/* Tests of the installer's line parsers: package-list lines with their conditions and
 * attributes, package-map lines and the command lines of the upgrade, the walks of the disks
 * list. */
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "setup.h"

namespace {

using Strings = std::vector<std::string>;

/* Records the conditions asked; holds when the release is "yes". */
int Decide(const char *op, const char *release, void *arg) {
  static_cast<Strings *>(arg)->push_back(std::string(op) + release);
  return strcmp(release, "yes") == 0;
}

TEST(PkgListLineTest, CommandsConditionsAndAttributes) {
  const struct {
    const char *line;
    int command;
    const char *name, *dest, *asked, *attrs;
  } cases[] = {
      {"c file mode 755 owner bin\n", PKGLIST_COPY, "file", nullptr, "", "1=755 3=bin "},
      {"dirto lib /usr/lib name x\n", PKGLIST_DIRTO, "lib", "/usr/lib", "", "6=x "},
      {"anything f\r\n", PKGLIST_OTHER, "f", nullptr, "", ""},
      {"v = yes v < yes checkps vprint\n", PKGLIST_CHECKPS, "vprint", nullptr, "=yes <yes ", ""},
      {"v > no c file mode 755\n", PKGLIST_NONE, nullptr, nullptr, ">no ", ""},
      {"m conf sed  s/a b/c/ mode 7\n", PKGLIST_MODIFY, "conf", nullptr, "", "7=s/a b/c/ mode 7 "},
      {"t f mode 1 sed s/x/y/\n", PKGLIST_TOUCH, "f", nullptr, "", "1=1 7=s/x/y/ "},
      {"t f color red mode\n", PKGLIST_TOUCH, "f", nullptr, "", "0=red "},
      {"# c file\n", PKGLIST_NONE, nullptr, nullptr, "", ""},
      {"dirto lib\n", PKGLIST_NONE, nullptr, nullptr, "", ""},
      {"v =\n", PKGLIST_NONE, nullptr, nullptr, "", ""},
      {"  \n", PKGLIST_NONE, nullptr, nullptr, "", ""},
  };
  for (const auto &c : cases) {
    char text[128];
    snprintf(text, sizeof text, "%s", c.line);
    Strings asked;
    PkgListLine line;
    EXPECT_EQ(parsePkgListLine(text, Decide, &asked, &line), c.command) << c.line;
    EXPECT_EQ(line.command, c.command) << c.line;
    std::string got;
    for (const std::string &a : asked) got += a + " ";
    EXPECT_EQ(got, c.asked) << c.line;
    if (c.command == PKGLIST_NONE) continue;
    EXPECT_STREQ(line.name, c.name) << c.line;
    EXPECT_STREQ(line.dest, c.dest) << c.line;
    got.clear();
    int attr;
    char *value;
    while (nextPkgListAttribute(&line, &attr, &value))
      got += std::to_string(attr) + "=" + value + " ";
    EXPECT_EQ(got, c.attrs) << c.line;
    EXPECT_EQ(nextPkgListAttribute(&line, &attr, &value), 0) << c.line;
  }
}

TEST(PkgListLineTest, ReleaseOperatorsCompareBytes) {
  const char *ops[] = {"<", "<=", "=", ">", ">=", "=>", ""};
  const struct {
    const char *system, *release;
    int want[7];
  } cases[] = {
      {"5.8", "5.8", {0, 1, 1, 0, 1, 0, 0}},
      {"5.10", "5.8", {1, 1, 0, 0, 0, 0, 0}}, /* bytes, not numbers */
      {"5.9", "5.8", {0, 0, 0, 1, 1, 0, 0}},
  };
  for (const auto &c : cases)
    for (int i = 0; i < 7; ++i)
      EXPECT_EQ(releaseConditionHolds(c.system, ops[i], c.release), c.want[i])
          << c.system << ops[i] << c.release;
}

TEST(PkgmapLineTest, RegularFilesBecomeTwoCommandsOfWholeWords) {
  static char work[] = "/tmp/w";
  static char base[] = "/ex port";
  pOrvelInstallDir = work;
  pTargetInstallDir = base;
  const struct {
    const char *line;
    int parsed;
    const char *reg, *copy;
  } cases[] = {
      {"1 f none bin/vp 0755 root sys 120 3 4\n", 1,
       "'none' 'TLVNvpxx' '/ex port/Orvel/bin/vp' 'f' '0755' 'root' 'sys'",
       "cp '/tmp/w/TLVNvpxx/reloc/bin/vp' '/ex port/Orvel/bin/vp'"},
      {"1\tf none /etc/it's\t644 a b\n", 1, "'none' 'TLVNvpxx' '/etc/it'\\''s' 'f' '644' 'a' 'b'",
       "cp '/tmp/w/TLVNvpxx/root/etc/it'\\''s' '/etc/it'\\''s'"},
      {"1 d none bin 0755 root sys\n", 0, nullptr, nullptr},
      {": 1 200\n", 0, nullptr, nullptr},
      {"1 f none bin/vp 0755 root\n", 0, nullptr, nullptr},
  };
  for (const auto &c : cases) {
    char text[128];
    snprintf(text, sizeof text, "%s", c.line);
    PkgmapFile file;
    ASSERT_EQ(parsePkgmapLine(text, &file), c.parsed) << c.line;
    if (!c.parsed) continue;
    char reg[PKGMAP_LINE_SIZE], copy[PKGMAP_LINE_SIZE];
    ASSERT_EQ(pkgmapCommands(&file, "TLVNvpxx", reg, copy), 0) << c.line;
    EXPECT_EQ(std::string(reg),
              std::string(pPathToInstallf) + " -c " + c.reg + " 1>/dev/null 2>/dev/null");
    EXPECT_STREQ(copy, c.copy);
  }

  /* A path that makes either line too long is refused, never cut. */
  for (size_t len : {300u, 420u}) {
    std::string line = "1 f none " + std::string(len, 'p') + " 0644 root sys\n";
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    PkgmapFile file;
    ASSERT_EQ(parsePkgmapLine(text.data(), &file), 1);
    char reg[PKGMAP_LINE_SIZE], copy[PKGMAP_LINE_SIZE];
    EXPECT_EQ(pkgmapCommands(&file, "TLVNvpxx", reg, copy), len == 300 ? 2 : 1) << len;
  }
}

void Collect(const char *name, void *arg) { static_cast<Strings *>(arg)->push_back(name); }

TEST(DisksListTest, CopyAndJoinWalks) {
  const char list[] =
      "setup isize\ttsize\r\npkg_tar.aa PKG_TAR.AB end_of_list pkg_tar.ac\n"
      "pkg_tar.ad\nend_of_list\npkg_tar.ae\n";
  std::vector<char> text(list, list + sizeof list);
  Strings copied, joined;
  forEachListedFile(text.data(), Collect, &copied);
  EXPECT_EQ(copied, (Strings{"setup", "isize", "tsize", "pkg_tar.aa", "PKG_TAR.AB", "pkg_tar.ad"}));
  text.assign(list, list + sizeof list);
  forEachListedPiece(text.data(), Collect, &joined);
  EXPECT_EQ(joined, (Strings{"pkg_tar.aa", "PKG_TAR.AB"}));
}

}  // namespace
