/* Laying out help pages as text: the flattened pages, tables and link offsets. */
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "html.h"
#include "html_internal.h"
#include "utils.h"

namespace {

class HtmlLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    my_name = const_cast<char *>("html_layout_test");
    HtmlResetState();
  }
  void TearDown() override { HtmlResetState(); }
};

/* Loads one page with the given body (and head) and returns it laid out. */
HtmlPage *Page(const std::string &body, const std::string &head = "") {
  static int serial = 0;
  std::string name = "page" + std::to_string(++serial) + ".htm";
  std::string content = "<html><head>" + head + "</head><body>" + body + "</body></html>";
  HtmlFile *file = ParseHtmlFile(name.c_str(), content.c_str());
  return file ? static_cast<HtmlPage *>(file->pages.first->item) : nullptr;
}

std::string Text(const std::string &body, const std::string &head = "") {
  HtmlPage *page = Page(body, head);
  return page && page->image ? std::string(page->image, static_cast<size_t>(page->length))
                             : "(none)";
}

/* The links of a page as "start-end/length kind" words. */
std::string Links(const HtmlPage *page) {
  std::string out;
  for (const ListNode *n = page->links.first; n; n = n->next) {
    const HtmlLink *l = *static_cast<HtmlLink *const *>(n->item);
    out += std::to_string(l->start) + "-" + std::to_string(l->end) + "/" +
           std::to_string(l->length) + " " + std::to_string(l->kind) + ";";
  }
  return out;
}

TEST_F(HtmlLayout, FlattenedPages) {
  const struct {
    const char *body, *text;
  } cases[] = {
      {"<p>A</p>B", "\n\nA\nB\n"},
      {"<ol><li>One</li><li>Two</li></ol>", "\n   1. One\n   2. Two\n"},
      {"<ul><li>One<ol><li>Two</ol></ul>x", "\n   * One\n   1. Two\n\nx\n"},
      {"See <a href=\"n.htm\">Next</a> now", "See <Next>now\n"},
      {"<a name=\"top\">Top</a> <a>bare</a>", "Topbare\n"},
      {"a<br>b<h1>H</h1>c<div>d</div>e", "a\nb\nH\n\nc\nd\n\ne\n"},
      {"x<b>bold </b><font size=2>f</font><img src=a.gif>y<unknown>z", "xbold fyz\n"},
      {"Hello", "Hello\n"},
      {"", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(Text(c.body), c.text) << c.body;
  EXPECT_EQ(Text("Hello", "<title>Help</title>"), std::string(38, ' ') + "Help\n\nHello\n");
  std::string longTitle(90, 'T');
  EXPECT_EQ(Text("", "<title>" + longTitle + "</title>"), longTitle + "\n\n");
}

TEST_F(HtmlLayout, LinkOffsets) {
  HtmlPage *page = Page("See <a href=\"n.htm\">Next</a> now");
  EXPECT_EQ(Links(page), "4-10/6 2;");
  /* On the last line of the page, with no line break after it. */
  page = Page("<p>x<a href=\"a\">Last</a>");
  EXPECT_EQ(Links(page), "3-9/6 2;");
  EXPECT_EQ(std::string(page->image + 3, 6), "<Last>");
  /* After a list item longer than any old line slot: the text is not overwritten. */
  std::string item(140, 'i');
  page = Page("<ol><li>" + item + "<a href=\"b\">B</a></ol>");
  EXPECT_EQ(Text("<ol><li>" + item + "<a href=\"b\">B</a></ol>"), "\n   1. " + item + "<B>\n");
  EXPECT_EQ(Links(page), "147-150/3 2;");
  /* Across a line break; an anchor left open ends with the body; a stray </a> is ignored. */
  page = Page("</a><a href=\"x\">one<br>two</a> <a name=\"n\">tail");
  EXPECT_EQ(std::string(page->image), "<one\ntwo>tail\n");
  EXPECT_EQ(Links(page), "0-9/9 2;9-13/4 1;");
  /* An unclosed link is closed by the next one. */
  EXPECT_EQ(Text("<a href=\"a\">A<a href=\"b\">B</a>"), "<A><B>\n");
}

TEST_F(HtmlLayout, Tables) {
  const struct {
    const char *body, *text;
  } cases[] = {
      {"<table border=1><tr><td>abc</td><td>de</td></tr></table>",
       ",---+--,\n|abc|de|\n'---+--'\n"},
      {"<table border><tr><td>abc</td></tr></table>", ",---,\n|abc|\n'---'\n"},
      {"<table border><tr><td>a</td></tr><tr><td>b</td></tr></table>", ",-,\n|a|\n|-|\n|b|\n'-'\n"},
      {"<table border cellpadding=7><tr><td>abc</td></tr></table>", ",-----,\n| abc |\n'-----'\n"},
      {"<table><tr><td>abc</td></tr></table>", "     \n abc \n     \n"},
      /* End tags left out, and a cell before any row. */
      {"<table border><tr><td>a<td>b<tr><td>c</table>", ",-+-,\n|a|b|\n|-+-|\n|c| |\n'-+-'\n"},
      {"<table border><td>a</table>", ",-,\n|a|\n'-'\n"},
      /* Links and consecutive texts are measured as they are written. */
      {"<table border><tr><td><a href=\"x\">ab</a></td><td>a<b>bold</b>c</td></tr></table>",
       ",----+------,\n|<ab>|aboldc|\n'----+------'\n"},
      {"<table border><tr><td>Print\nqueue<br>x\ty</td></tr></table>",
       ",-----------,\n|Print queue|\n|x y        |\n'-----------'\n"},
      {"<table border><tr><td>a<table border><tr><td>in</table>b</table>",
       ",----,\n|a   |\n|,--,|\n||in||\n|'--'|\n|b   |\n'----'\n"},
      /* Text outside the cells is not shown; a table before a cell is skipped. */
      {"<table border><tr>lost<table><tr><td>no</table><td>a</table>", ",-,\n|a|\n'-'\n"},
      /* Stray table end tags; text after a table in the middle of a line stays visible. */
      {"</table></tr></td>x", "x\n"},
      {"Options:<table border><tr><td>a</table>More",
       "Options:,-,\n        |a|\n        '-'\n        More\n"},
      {"<table border></table>x", "x\n"},
  };
  for (const auto &c : cases) EXPECT_EQ(Text(c.body), c.text) << c.body;
}

TEST_F(HtmlLayout, TableWidths) {
  const struct {
    const char *body;
    int width;
  } cases[] = {
      {"<table width=210><tr><td>a<td>b<td>c</table>", 30},
      {"<table width=\"210\" border=7><tr><td>a<td>b<td>c</table>", 26},
      {"<table width=999999999><tr><td>a</table>", HTML_MAX_WIDTH},
      {"<table width=7 cellpadding=7><tr><td>abc</table>", 7},
      {"<table width=-700><tr><td>abc</table>", 5},
      {"<table width=100%><tr><td>abc</table>", 5},
      {"<table width=70 border><tr><td>abcdefghijklmnop</table>", 18},
      {"<table width=140><tr><td width=\"50%\">a<td width=35>b</table>", 20},
  };
  for (const auto &c : cases) {
    HtmlPage *page = Page(c.body);
    ASSERT_NE(page, nullptr);
    HtmlElement *e = static_cast<HtmlElement *>(page->body.first->item);
    ASSERT_EQ(e->tag, html::kFitabTag) << c.body;
    EXPECT_EQ(static_cast<HtmlTable *>(e->data)->width, c.width) << c.body;
  }
  HtmlPage *page = Page("<table width=140><tr><td width=\"50%\">a<td width=35>b</table>");
  const HtmlTable *t =
      static_cast<HtmlTable *>(static_cast<HtmlElement *>(page->body.first->item)->data);
  EXPECT_EQ(t->columnWidths[0], 9);
  EXPECT_EQ(t->columnWidths[1], 5);
  /* A table wider than any old line slot is drawn whole. */
  std::string wide(200, 'w');
  EXPECT_EQ(
      Text("<table border><tr><td>" + wide + "<td>x</table>"),
      "," + std::string(200, '-') + "+-,\n|" + wide + "|x|\n'" + std::string(200, '-') + "+-'\n");
}

TEST_F(HtmlLayout, TableLimits) {
  /* Rows past the limit go on in the last row's last cell. */
  std::string rows = "<table>";
  for (int i = 0; i < HTML_MAX_ROWS + 1; ++i) rows += "<tr><td>r</td></tr>";
  HtmlPage *page = Page(rows + "</table>");
  ASSERT_NE(page, nullptr);
  const HtmlTable *t =
      static_cast<HtmlTable *>(static_cast<HtmlElement *>(page->body.first->item)->data);
  EXPECT_EQ(t->rows, HTML_MAX_ROWS);
  EXPECT_EQ(t->columnWidths[0], 2);
  /* Tables nested deeper than the limit are laid out as the text of their cell. */
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<table border><tr><td>x";
  page = Page(deep);
  ASSERT_NE(page, nullptr);
  int borders = 0;
  for (const char *p = page->image; *p; ++p) borders += *p == ',';
  EXPECT_EQ(borders, 2 * HTML_MAX_NESTING);
  EXPECT_NE(strstr(page->image, std::string(10000 - HTML_MAX_NESTING + 1, 'x').c_str()), nullptr);
}

}  // namespace
