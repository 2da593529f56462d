/* Loading help files and parsing their pages. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "html.h"
#include "html_internal.h"
#include "utils.h"

namespace {

class HtmlParse : public ::testing::Test {
 protected:
  void SetUp() override {
    my_name = const_cast<char *>("html_parse_test");
    HtmlResetState();
  }
  void TearDown() override { HtmlResetState(); }
};

/* The elements of a list: a text as itself, a tag as <tag attributes>, joined with "|". */
std::string Elements(const List &list) {
  std::string out;
  for (const ListNode *n = list.first; n; n = n->next) {
    const HtmlElement *e = static_cast<const HtmlElement *>(n->item);
    if (!out.empty()) out += "|";
    if (!e->tag) {
      out += static_cast<const char *>(e->data);
    } else if (html::IsLinkTag(e->tag)) {
      const HtmlLink *link = static_cast<const HtmlLink *>(e->data);
      out += "<" + std::string(e->tag) + " " + std::to_string(link->kind) + ":" +
             (link->target ? link->target : "(none)") + ">";
    } else {
      out += "<" + std::string(e->tag) + (*static_cast<const char *>(e->data) ? " " : "") +
             static_cast<const char *>(e->data) + ">";
    }
  }
  return out;
}

/* The body elements of the first page of a file whose body is text. */
std::string BodyOf(const char *text) {
  std::string content = std::string("<html><body>") + text + "</body></html>";
  static int serial = 0;
  std::string name = "body" + std::to_string(++serial) + ".htm";
  HtmlFile *file = ParseHtmlFile(name.c_str(), content.c_str());
  if (!file) return "(no file)";
  return Elements(static_cast<HtmlPage *>(file->pages.first->item)->body);
}

std::string PageNames(const HtmlFile *file) {
  std::string out;
  for (const ListNode *n = file->pages.first; n; n = n->next) {
    const HtmlPage *page = static_cast<const HtmlPage *>(n->item);
    out += std::string(page->name ? page->name : "-") + ";";
  }
  return out;
}

TEST_F(HtmlParse, CharacterReferences) {
  const struct {
    const char *in, *out;
  } cases[] = {
      {"A&amp;B", "A&amp;B"},
      {"&nbsp;", "\xA0"},
      {"&eacute;", "\xE9"},
      {"&Eacute;", "\xC9"},
      {"&EACUTE;", "&EACUTE;"},
      {"&supl;&yuml;", "\xB9\xFF"},
      {"&#65;&#66;", "AB"},
      {"&QUOT;x&quot;", "\"x\""},
      /* A reference without ";" is text: it never swallows tags or the end of the body. */
      {"Press &#65 then <b>x</b>; ok", "Press &#65 then |<b>|x|</b>|; ok"},
      {"&#65", "&#65"},
      {"&#0;|&#27;|&#8217;|&#150;|&#99999999999999999999;", "?|?|?|?|?"},
      {"a&#9;b&#233;", "a\tb\xE9"},
      {"&", "&"},
      {"<td>&</td>", "<td>|&|</td>"},
      {"x &nosuch; &;", "x &nosuch; &;"},
  };
  for (const auto &c : cases) EXPECT_EQ(BodyOf(c.in), c.out) << c.in;
}

TEST_F(HtmlParse, WhiteSpaceAndLineEnds) {
  const struct {
    const char *in, *out;
  } cases[] = {
      {"  Hello \n  world  <p>", "Hello world |<p>"},
      {"Hello\n  world<p>", "Hello\nworld|<p>"},
      {"Hello\r\n  world<p>", "Hello\nworld|<p>"},
      {"See <a href=\"n.htm\">Next</a> now", "See |<a 2:n.htm>|Next|</a>|now"},
      {"<td\n width=5 >x", "<td  width=5 >|x"},
      {"a<!-- <b>hidden</b> -->b<!-- open", "a|b"},
  };
  for (const auto &c : cases) EXPECT_EQ(BodyOf(c.in), c.out) << c.in;
}

TEST_F(HtmlParse, LinkRecords) {
  EXPECT_EQ(BodyOf("<a href=next.htm#s2>"), "<a 2:next.htm#s2>");
  EXPECT_EQ(BodyOf("<A NAME=top>"), "<A 1:top>");
  EXPECT_EQ(BodyOf("<a id=\"x\" target=\"y\">"), "<a 0:(none)>");
  EXPECT_EQ(BodyOf("<a name=\"n\" href=\"h.htm\">"), "<a 2:h.htm>"); /* the last word wins */
  EXPECT_EQ(BodyOf("<a href=>"), "<a 2:>");
}

TEST_F(HtmlParse, Pages) {
  const struct {
    const char *content, *names;
  } cases[] = {
      {"<html page=\"one\"><body>1</body></html><html page=\"two\"><body>2</body></html>",
       "one;two;"},
      {"<html page=\"one\"><body>1</body></html><html SkipPage page=\"two\">2</html>x", "one;"},
      /* A file that starts with a skipped section still has its pages. */
      {"<html SkipPage>draft</html><html><body>1</body></html>", "-;"},
      {"<html><body>1</body></html><html SkipPage>no end <html page=\"lost\">", "-;"},
      /* An html tag without a page name goes on with the current page. */
      {"<HTML><body>1</body></html><html><body>2</body></html>", "-;"},
      /* A body or head left open ends with its page. */
      {"<html page=\"a\"><head><title>A</title><body>1<html page=\"b\"><body>2", "a;b;"},
  };
  for (const auto &c : cases) {
    HtmlFile *file = ParseHtmlFile(c.content, c.content);
    ASSERT_NE(file, nullptr) << c.content;
    EXPECT_EQ(PageNames(file), c.names) << c.content;
  }
  HtmlFile *file = FindHtmlFile(cases[5].content);
  ASSERT_NE(file, nullptr);
  HtmlPage *a = static_cast<HtmlPage *>(file->pages.first->item);
  HtmlPage *b = static_cast<HtmlPage *>(file->pages.last->item);
  EXPECT_EQ(Elements(a->head), "<title>|A|</title>");
  EXPECT_EQ(Elements(a->body), "1");
  EXPECT_EQ(Elements(b->body), "2");

  for (const char *none : {"", "no tags at all", "<body>no html tag</body>", "<html SkipPage>"}) {
    EXPECT_EQ(ParseHtmlFile(none, none), nullptr) << none;
  }
}

TEST_F(HtmlParse, Loading) {
  char dir[] = "/tmp/html_parse_testXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/help.htm";
  FILE *out = fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  fputs("<html><body>first</body></html><html page=\"s2\"><body>second</body></html>", out);
  fclose(out);

  HtmlFile *file = ParseHtmlFile(path.c_str(), nullptr);
  ASSERT_NE(file, nullptr);
  EXPECT_STREQ(file->name, path.c_str());
  EXPECT_EQ(FileIndex, 1);
  unlink(path.c_str()); /* served from the table from now on */
  pCurrentPage = nullptr;
  EXPECT_EQ(ParseHtmlFile(("FILE://" + path).c_str(), nullptr), file);
  EXPECT_EQ(pCurrentPage, file->pages.first->item);
  /* A literal name with an anchor: the anchor's page becomes current. */
  EXPECT_EQ(ParseHtmlFile((path + "#s2").c_str(), nullptr), file);
  EXPECT_EQ(pCurrentPage, file->pages.last->item);
  EXPECT_EQ(FileIndex, 1);
  EXPECT_EQ(ParseHtmlFile(path.c_str(), nullptr), file);
  EXPECT_EQ(pCurrentPage, file->pages.first->item);

  EXPECT_EQ(ParseHtmlFile("HTTP://host/help.htm", "<html><body>x</body></html>"), nullptr);
  EXPECT_EQ(ParseHtmlFile((path + ".missing").c_str(), nullptr), nullptr);
  /* Read-only names and contents are never written into. */
  HtmlFile *literal = ParseHtmlFile("lit.htm#b", "<html page=\"a\"><body><a name=\"b\">B</a>");
  ASSERT_NE(literal, nullptr);
  EXPECT_STREQ(literal->name, "lit.htm");
  EXPECT_STREQ(static_cast<HtmlPage *>(pCurrentPage)->name, "a");

  /* The table holds HTML_MAX_FILES files; the next load is refused. */
  for (int i = FileIndex; i < HTML_MAX_FILES; ++i) {
    std::string name = "f" + std::to_string(i);
    ASSERT_NE(ParseHtmlFile(name.c_str(), "<html><body>x</body></html>"), nullptr) << i;
  }
  EXPECT_EQ(ParseHtmlFile("one.more", "<html><body>x</body></html>"), nullptr);
  EXPECT_EQ(FindHtmlFile("f50"), aFile[50]);
  EXPECT_EQ(CurrentFile, 50);
  rmdir(dir);
}

TEST_F(HtmlParse, MalformedInputEndsCleanly) {
  const char *cases[] = {
      "<html><body>unterminated <b",
      "<html><body>x<",
      "<html><body>x&",
      "<html><body>x&#",
      "<html><body>&#12345678901234567890",
      "<html><head><title>t",
      "<html page=\"open><body>a</body>",
      "<html><body><a href=\"x>y</a>",
      "<html><body><<<>>><></>",
  };
  for (const char *c : cases) {
    HtmlFile *file = ParseHtmlFile(c, c);
    ASSERT_NE(file, nullptr) << c;
    EXPECT_NE(static_cast<HtmlPage *>(file->pages.first->item)->image, nullptr) << c;
  }
}

}  // namespace
