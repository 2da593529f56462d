/* The terminal help: the items of a page's menu, navigation and history, scripted help
 * sessions (forked, screens compared exactly) and helpview on a pseudo-terminal. */
#include "HelpTty.h"

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>

#include <vector>

#include "TextMenu_session_test.h"
#include "html_internal.h"

namespace {

const std::string kDemo = SOURCE_DIR "/demo/help/";

class HelpTtyTest : public MenuSessionTest {
 protected:
  void SetUp() override {
    MenuSessionTest::SetUp();
    my_name = const_cast<char *>("HelpTty_test");
    HtmlResetState();
  }
  std::string Path(const std::string &name) { return dir_ + "/" + name; }
  static std::string Name() { return pCurrentPage && pCurrentPage->name ? pCurrentPage->name : ""; }
  static int Follow(const char *target, int kind = 2) {
    HtmlLink link{const_cast<char *>(target), 0, 0, 0, kind};
    return ProcessLink(&link);
  }
  /* The help screen of page: the page text, its link items and the common row. */
  static std::string Screen(const HtmlPage *page, const std::vector<std::string> &links,
                            const std::string &title = "Help",
                            const std::string &prompt = "25_510") {
    std::string s =
        "\f\n" + std::string((80 - title.size()) / 2, ' ') + title + "\n\n" + page->image + " \n";
    for (size_t i = 0; i < links.size(); ++i) s += Format("%2zu) %s \n", i + 1, links[i].c_str());
    return s + "\n e) Exit Help" + std::string(12, ' ') + " c) Contents" + std::string(13, ' ') +
           " b) Back" + std::string(17, ' ') + "\n" + prompt;
  }
  template <typename... A>
  static std::string Format(const char *fmt, A... args) {
    char buf[512];
    snprintf(buf, sizeof buf, fmt, args...);
    return buf;
  }
  /* The page name of file, its first page without a name. */
  static HtmlPage *Page(const std::string &file, const char *name = nullptr) {
    HtmlFile *f = ParseHtmlFile(file.c_str(), nullptr);
    if (!f || !name) return f ? static_cast<HtmlPage *>(f->pages.first->item) : nullptr;
    return HtmlFindTarget(f, name, nullptr);
  }
};

TEST_F(HelpTtyTest, BuildsTheItemsOfAPage) {
  std::string links;
  for (int i = 1; i <= 1000; ++i) links += "<a href=\"#p" + std::to_string(i) + "\">L</a>\n";
  WriteFile("a.htm",
            "<html page=\"intro\"><body><a name=\"intro\">Intro</a> See <a href=\"#two\">"
            "Next</a> or\n<a href=b.htm>Two\nlines</a> <a id=x>none</a><a href=\"#two\">"
            "</a><a name=later>Later part</a> <a href=#two>" +
                std::string(200, 'x') + "</a></body></html><html page=\"many\"><body>" + links +
                "</body></html>");
  ASSERT_EQ(HtmlHelp(Path("a.htm").c_str(), nullptr), 1);
  TtyHelpBuildMenuItems(0);
  EXPECT_EQ(HelpMenuItems[0].pLabel, pCurrentPage->image);
  std::string got; /* label, kind, key, Value, and whether LabelLen is the label's length */
  for (TextMenuItem *it = HelpMenuItems + 1; it->pLabel && it < HelpMenuItems + 12; ++it)
    got += Format("%s|%u|%u|%d|%d\n", it->pLabel, it->Kind, it->Key, static_cast<int>(it->Value),
                  it->LabelLen == static_cast<int>(strlen(it->pLabel)));
  /* No catalogue: the common items keep their own labels and keys. */
  EXPECT_EQ(got, "Next|7|1|0|1\nTwo lines|7|2|0|1\nLater part|7|3|0|1\n" + std::string(127, 'x') +
                     "|7|4|0|1\n|3|0|1|1\n|3|0|3|1\n~e Exit Help|6|101|0|1\n"
                     "~c Contents|7|99|0|1\n~b Back|7|98|0|1\n");
  EXPECT_STREQ(static_cast<HtmlLink *>(HelpMenuItems[3].pUserData)->target, "later");
  ASSERT_EQ(GoToTarget("many"), 1); /* the item array grows */
  TtyHelpBuildMenuItems(0);
  ASSERT_EQ(HelpMenu.pItems, HelpMenuItems);
  EXPECT_EQ(HelpMenuItems[1000].Key, 1000u);
  EXPECT_STREQ(HelpMenuItems[1003].pLabel, "~e Exit Help");
  EXPECT_EQ(HelpMenuItems[1006].pLabel, nullptr);
}

TEST_F(HelpTtyTest, FollowsLinksAnchorsAndTheHistory) {
  WriteFile("a.htm",
            "<html page=\"intro\"><body>A <a href=\"b.htm\">b</a></body></html>"
            "<html page=\"two\"><body>Two</body></html>");
  WriteFile("b.htm",
            "<html><body>B</body></html><html page=\"s1\"><body>x<br>"
            "<a name=\"s2\">S2</a></body></html>");
  WriteFile("c.htm", "<html page=\"c\"><body>C</body></html>");
  struct Step {
    char op; /* h HtmlHelp, f follow an href, n a name anchor, b Back, c Contents, u unlink */
    const char *arg;
    int result;
    const char *page;
    int history, targetPos;
  } steps[] = {
      {'h', "a.htm", 1, "intro", 0, 0},   {'b', "", 0, "intro", 0, 0},
      {'f', "#two", 1, "two", 1, 0},      {'b', "", 1, "intro", 0, 0},
      {'f', "b.htm#s2", 1, "s1", 1, 2},   {'c', "", 1, "intro", 0, 0},
      {'u', "b.htm", 0, "intro", 0, 0},   {'f', "file://b.htm#s2", 1, "s1", 1, 2},
      {'n', "s2", 1, "s1", 2, 2},         {'b', "", 1, "s1", 1, 2},
      {'b', "", 1, "intro", 0, 2},        {'f', "#nowhere", 1, "intro", 0, 2},
      {'f', "", 1, "intro", 0, 2},        {'h', "c.htm", 1, "c", 0, 0},
      {'f', "a.htm#two", 1, "two", 1, 0}, {'c', "", 1, "c", 0, 0},
      {'h', "a.htm#two", 1, "two", 0, 0}, {'c', "", 1, "intro", 0, 0},
      {'c', "", 0, "intro", 0, 0},
  };
  for (const Step &step : steps) {
    const std::string path = Path(step.arg);
    int result = step.op == 'h'   ? HtmlHelp(path.c_str(), nullptr)
                 : step.op == 'f' ? Follow(step.arg)
                 : step.op == 'n' ? Follow(step.arg, 1)
                 : step.op == 'u' ? unlink(path.c_str())
                                  : HtmlSetHistory(step.op == 'c' ? 0 : -1);
    SCOPED_TRACE(std::string(1, step.op) + " " + step.arg);
    EXPECT_EQ(result, step.result);
    EXPECT_EQ(Name(), step.page);
    EXPECT_EQ(HistoryI, step.history);
    EXPECT_EQ(TargetPos, step.targetPos);
  }
  for (int i = 0; i < 101; ++i) SetHistory(0);
  EXPECT_EQ(HistoryI, HTML_HISTORY_SIZE);
  for (const char *bad : {"http://host/x.htm", "missing.htm#x"}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Follow(bad), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), Format("Error in reading file %s\n", bad));
    EXPECT_EQ(Name(), "intro");
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(HtmlHelp(Path("none.htm").c_str(), nullptr), 0);
  EXPECT_EQ(HtmlHelp("x.htm", ""), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error in reading HTML file " + Path("none.htm") + "\nError reading HTML buffer\n");
  EXPECT_EQ(flBuildingFile, 0);     /* following by position still works */
  EXPECT_EQ(HtmlProcessLink(3), 3); /* "A <b>": the link to b.htm */
  EXPECT_EQ(HistoryI, 1);
  EXPECT_EQ(CurrentFile, 1);
}

TEST_F(HelpTtyTest, ScriptedSessionOverTheDemoHelp) {
  const std::string menudemo = kDemo + "menudemo.htm", help = kDemo + "help.htm";
  HtmlPage *start = Page(menudemo, "menudemo"), *names = Page(menudemo, "names"),
           *contents = Page(help, "contents"), *printing = Page(help, "printing");
  ASSERT_TRUE(start && names && contents && printing);
  const std::string A = Screen(start, {"Names and texts", "Print queues"}),
                    B = Screen(names, {"set-up", "all help topics"}),
                    C = Screen(contents,
                               {"Printing a file", "Print queues", "Settings at a glance"}),
                    D = Screen(printing, {"Print queues", "contents", "settings"});
  Session s = Run("1\n2\n2\nb\nb\nc\nb\ne\n", [&] {
    TtyHtmlHelp(menudemo.c_str(), nullptr, "Help");
    return 0;
  });
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(s.out, "<CLEAR>" + A + "<CLEAR>" + B + "<CLEAR>" + C + "<CLEAR>" + D + "<CLEAR>" + C +
                       "<CLEAR>" + B + "<CLEAR>" + A + "<CLEAR>" + A);

  /* A link to a missing file: the message waits for Return. "h" in a client's menu opens
   * the help; the menu comes back after Exit Help. */
  WriteFile("bad.htm", "<html><body><a href=\"gone.htm\">Gone</a></body></html>");
  HtmlPage *bad = Page(Path("bad.htm"));
  ASSERT_TRUE(bad);
  const std::string E = Screen(bad, {"Gone"});
  s = Run("h\n1\n\ne\nx\n", [&] {
    TextMenuItem items[2] = {};
    items[0].pLabel = "~x Quit";
    items[0].Kind = TM_KIND_LEAVE;
    TextMenu menu = {"Client", TM_TITLE_PLAIN, nullptr, nullptr,
                     nullptr,  nullptr,        items,   TM_FLAG_HELP | TM_FLAG_NO_LEAVE};
    const std::string name = Path("bad.htm");
    pTtyHtmlName = name.c_str();
    RunMenu(&menu, nullptr, 1);
    return 0;
  });
  const std::string client = "<CLEAR>\f\nClient:\n\n x) Quit \n\n25_510";
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(s.out,
            client + "<CLEAR>" + E + "Error in reading file gone.htm\n25_1001<CLEAR>" + E + client);
  s = Run("\n", [] {
    TtyHtmlHelp("none.htm", nullptr, "Help");
    return 0;
  });
  EXPECT_EQ(s.out, "Error in reading HTML file none.htm\n25_1001");
}

TEST_F(HelpTtyTest, HelpviewRunsTheMenuOnATerminal) {
  const std::string file = kDemo + "menudemo.htm";
  HtmlPage *names = Page(file, "names");
  ASSERT_TRUE(names);
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    ioctl(slave, TIOCSCTTY, 0);
    for (int fd = 0; fd < 3; ++fd) dup2(slave, fd);
    setenv("TERM", "xterm", 1);
    execl(HELPVIEW_BINARY, HELPVIEW_BINARY, file.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  close(slave);
  std::string out;
  const std::string prompt = "Enter a selection: ";
  /* Reads until prompts prompts were shown, 10 s at most. */
  auto readUntil = [&](size_t prompts) {
    pollfd p{master, POLLIN, 0};
    char buf[4096];
    ssize_t got;
    for (size_t n = 0; n < prompts && poll(&p, 1, 10000) == 1;) {
      if ((got = read(master, buf, sizeof buf)) <= 0) break;
      out.append(buf, static_cast<size_t>(got));
      for (size_t at = n = 0; (at = out.find(prompt, at)) != std::string::npos; ++at) ++n;
    }
  };
  readUntil(1);
  ASSERT_EQ(write(master, "1\n", 2), 2);
  readUntil(2);
  ASSERT_EQ(write(master, "e\n", 2), 2);
  int status = -1;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_EQ(status, 0);
  std::string screen = out.substr(out.rfind('\f'));
  for (size_t at; (at = screen.find("\r\n")) != std::string::npos;) screen.erase(at, 1);
  EXPECT_EQ(screen, Screen(names, {"set-up", "all help topics"}, "Orvel Help", "\n" + prompt));
}

}  // namespace
