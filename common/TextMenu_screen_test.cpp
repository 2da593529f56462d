/* The picker's character screen: measuring the terminal, writing into the buffer within
 * its bounds, and what Refresh and Overlay send to the terminal (run in a forked child
 * whose standard input and output are pipes, compared byte for byte). */
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "MemMgr.h"
#include "TextMenu.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace {

/* Runs body in a child with input on standard input; returns its standard output. */
std::string Child(const std::string &input, const std::function<void()> &body) {
  int in[2], out[2];
  EXPECT_EQ(pipe(in) | pipe(out), 0);
  fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    body();
    fflush(stdout);
    _exit(0);
  }
  close(in[0]);
  close(out[1]);
  EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  waitpid(pid, nullptr, 0);
  return text;
}

/* A screen of cols x rows measured through COLUMNS and LINES (standard output is not a
 * terminal here). */
class Screen {
 public:
  Screen(int cols, int rows) {
    setenv("COLUMNS", std::to_string(cols).c_str(), 1);
    setenv("LINES", std::to_string(rows).c_str(), 1);
    GetTermInfo(&s);
  }
  ~Screen() { PutMem(s.pData); }
  std::string Text() const { return std::string(s.pData, static_cast<size_t>(s.Cols * s.Rows)); }
  TextScreen s{};
};

TEST(TextScreen, SizeFromTheEnvironmentOrTheDefault) {
  const struct {
    const char *cols, *lines;
    int wantCols, wantRows;
  } cases[] = {{"40", "12", 40, 12},   {"400", "200", 400, 200}, {nullptr, nullptr, 80, 24},
               {"abc", "-3", 80, 24},  {"5000", "10", 80, 10},   {"", "0", 80, 24},
               {"20", nullptr, 20, 24}};
  for (const auto &c : cases) {
    c.cols ? setenv("COLUMNS", c.cols, 1) : unsetenv("COLUMNS");
    c.lines ? setenv("LINES", c.lines, 1) : unsetenv("LINES");
    TextScreen s{};
    std::string blank;
    Child("", [&] {
      GetTermInfo(&s);
      printf("%dx%d %s", s.Cols, s.Rows,
             std::string(s.pData, static_cast<size_t>(s.Cols * s.Rows)) ==
                     std::string(static_cast<size_t>(s.Cols * s.Rows), ' ')
                 ? "blank"
                 : "dirty");
    }).swap(blank);
    EXPECT_EQ(blank, std::to_string(c.wantCols) + "x" + std::to_string(c.wantRows) + " blank")
        << (c.cols ? c.cols : "-") << " " << (c.lines ? c.lines : "-");
  }
}

TEST(TextScreen, WritesStayInsideTheBuffer) {
  Screen sc(10, 3);
  TextScreen *s = &sc.s;
  /* Running on into the next row, and cut at the buffer's end. */
  EXPECT_EQ(WriteString(SetPosition(s, 8, 1), "%s", "abcd"), 4);
  EXPECT_EQ(WriteString(SetPosition(s, 7, 3), "%d", 123456), 3);
  /* A row outside the screen counts as the first, a column past it as 0. */
  EXPECT_EQ(WriteString(SetPosition(s, 11, 9), "Z"), 1);
  EXPECT_EQ(sc.Text(),
            "Z       ab"
            "cd        "
            "       123");
  /* Filling is cut to the buffer on every side. */
  FillArea(s, -2, 1, 5, 10, '#');
  FillArea(s, 8, -1, 9, 2, '+');
  EXPECT_EQ(sc.Text(),
            "Z       ++"
            "###       "
            "###    123");
  /* The test pattern never runs past a small screen. */
  NumberScreen(s);
  EXPECT_EQ(sc.Text(),
            "0123456789"
            "0123456789"
            "0123456789");
  /* A text longer than the 512-byte format buffer is cut there. */
  Screen big(100, 10);
  EXPECT_EQ(WriteString(SetPosition(&big.s, 0, 1), "%s", std::string(600, 'w').c_str()), 511);
}

TEST(TextScreen, RefreshAndOverlayOnTheTerminal) {
  Screen sc(6, 3);
  TextScreen *s = &sc.s;
  WriteString(SetPosition(s, 0, 1), "ab\ncd");
  WriteString(SetPosition(s, 0, 3), "xyz123");
  /* Home, the rows, a "\n" ending its row early (what follows it in the row is not
   * shown), the screen's last character left out. */
  EXPECT_EQ(Child("", [s] { Refresh(s); }),
            "\033[1;1H"
            "ab\n"
            "      "
            "xyz12");
  /* A box 12 wide and 2 high at column 1 of row 2 that waits for a line: the text cut to
   * the box, the key's line read whole, the next line left for the next reader. */
  Screen big(20, 8);
  SetOvlInfo(&big.s, 1, 2, 12, 2);
  std::string out = Child("x\nnext\n", [&big] {
    Overlay(&big.s, "hi\nthere, this is long", 1);
    char line[16];
    printf("|%s", Gets(line, sizeof line));
  });
  EXPECT_EQ(out,
            "\0337"
            "\033[2;2H****************"
            "\033[3;2H* hi           *"
            "\033[4;2H* there, this  *"
            "\033[5;2H* Press enter  *"
            "\033[6;2H****************"
            "\0338|next");
}

}  // namespace
