/* Help layout speed: a generated help file of about 1 MB (many pages with headings, lists,
 * links, entities and bordered tables, some nested) parsed and laid out whole, against
 * "w3m -dump" of the same file (skipped when w3m is not installed). Both are timed on the
 * wall clock; w3m's time includes starting its process.
 *
 *   build/html_bench --benchmark_min_time=2 */
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "html.h"
#include "html_internal.h"
#include "utils.h"

namespace {

/* One page of the generated file; n numbers it. */
std::string Page(int n) {
  std::string p = "<html page=\"p" + std::to_string(n) + "\">\n<head><title>Topic " +
                  std::to_string(n) + " &ndash; queues &amp; printers</title></head>\n<body>\n";
  p += "<h1>Topic " + std::to_string(n) + "</h1>\n";
  p += "<p>This page explains the print queue settings of topic " + std::to_string(n) +
       ". Caf&eacute; &copy; Orvel &#65;&#66;&#67; &quot;quoted&quot;.<br>\n";
  p += "See <a href=\"#p" + std::to_string(n + 1) + "\">the next topic </a>or <a name=\"a" +
       std::to_string(n) + "\">this anchor</a>.\n";
  p += "<ol>\n";
  for (int i = 0; i < 6; ++i) {
    p += "<li>Step " + std::to_string(i) + ": choose <b>queue</b> <a href=\"q" + std::to_string(i) +
         ".htm\">q" + std::to_string(i) + "</a></li>\n";
  }
  p += "</ol>\n<ul><li>one</li><li>two</li></ul>\n";
  p += "<table border=1 cellpadding=7>\n<tr><td>Setting</td><td>Value</td><td>Notes</td></tr>\n";
  for (int r = 0; r < 8; ++r) {
    p += "<tr><td>name" + std::to_string(r) + "</td><td>" + std::to_string(r * 37) +
         "</td><td>text of row " + std::to_string(r) + "<br>second line</td></tr>\n";
  }
  p += "<tr><td>nested</td><td colspan=2><table border><tr><td>a</td><td>b</td></tr>"
       "<tr><td>c</td><td><a href=\"#top\">d</a></td></tr></table></td></tr>\n</table>\n";
  p += "<h2>More</h2>\n<div>Closing words of topic " + std::to_string(n) + ".</div>\n";
  p += "</body>\n</html>\n";
  return p;
}

const std::string &Content() {
  static const std::string content = [] {
    std::string c;
    for (int n = 0; c.size() < (1u << 20); ++n) c += Page(n);
    return c;
  }();
  return content;
}

std::string gContentPath; /* the generated file once written, removed at the end */

/* The generated file on disk, for w3m. */
const std::string &ContentFile() {
  static const std::string path = [] {
    char dir[] = "/tmp/html_bench.XXXXXX";
    if (!mkdtemp(dir)) return std::string();
    std::string file = std::string(dir) + "/help.htm";
    FILE *out = fopen(file.c_str(), "w");
    if (!out) return std::string();
    fwrite(Content().data(), 1, Content().size(), out);
    fclose(out);
    gContentPath = file;
    return file;
  }();
  return path;
}

/* CPU seconds (user and system) of the children waited for so far. */
double ChildCpuSeconds() {
  struct rusage usage;
  if (getrusage(RUSAGE_CHILDREN, &usage) != 0) return 0;
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_ParseAndLayout(benchmark::State &state) {
  my_name = const_cast<char *>("html_bench");
  const std::string &content = Content();
  size_t pages = 0;
  for (auto _ : state) {
    state.PauseTiming(); /* a run never releases its help files: releasing is not timed */
    HtmlResetState();
    state.ResumeTiming();
    HtmlFile *file = ParseHtmlFile("bench.htm", content.c_str());
    if (!file) {
      state.SkipWithError("the generated file did not load");
      return;
    }
    pages = static_cast<size_t>(file->pages.count);
    benchmark::DoNotOptimize(file);
  }
  HtmlResetState();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content.size()));
  state.counters["pages"] = static_cast<double>(pages);
}
BENCHMARK(BM_ParseAndLayout)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_W3mDump(benchmark::State &state) {
  if (system("command -v w3m >/dev/null 2>&1") != 0) {
    state.SkipWithError("w3m is not installed (tools/bootstrap installs it)");
    return;
  }
  const std::string &file = ContentFile();
  if (file.empty()) {
    state.SkipWithError("cannot write the generated file");
    return;
  }
  std::string command = "w3m -dump -T text/html '" + file + "' >/dev/null";
  double before = ChildCpuSeconds();
  for (auto _ : state) {
    if (system(command.c_str()) != 0) {
      state.SkipWithError("w3m failed");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Content().size()));
  /* The CPU column counts this process only; w3m's own CPU time per run: */
  state.counters["w3m_cpu_ms"] =
      (ChildCpuSeconds() - before) * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_W3mDump)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!gContentPath.empty()) {
    unlink(gContentPath.c_str());
    rmdir(gContentPath.substr(0, gContentPath.rfind('/')).c_str());
  }
  return 0;
}
