// FileChange against sed 's/P/R/' on a generated 100 MB text file, both writing a new file.
//
// The text is written once to $FILECHANGE_BENCH_DIR (default /tmp). Each FileChange run
// edits a fresh hard link to it: the edit writes a copy and renames it over the link, so the
// original text stays as it was for the next run. sed reads the same file and writes its
// result to another file. Both are timed by the wall clock (sed runs in a child). FileChange
// also syncs its copy before the rename, which sed does not do; on a memory file system
// (FILECHANGE_BENCH_DIR=/dev/shm) that costs nothing and the two compare the work alone.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <random>
#include <string>

#include "utils.h"

namespace {

constexpr size_t kTextSize = 100u << 20;
const char *const kPattern = "printer";
const char *const kReplacement = "PRINTER";

std::string Dir() {
  const char *d = getenv("FILECHANGE_BENCH_DIR");
  return d && *d ? d : "/tmp";
}

// Configuration-like lines of 10 to 130 characters; about one line in four holds the pattern.
const std::string &TextFile() {
  static const std::string path = [] {
    std::string p = Dir() + "/FileChange_bench.txt";
    FILE *f = fopen(p.c_str(), "w");
    if (!f) {
      perror(p.c_str());
      exit(1);
    }
    static const char *const words[] = {"queue",   "spool",      "host",      "port=515",
                                        "lp0",     "device",     "# comment", "driver",
                                        "printer", "timeout=30", "on",        "/var/spool/Orvel",
                                        "name",    "off",        "class",     "banner"};
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> word(0, 15), count(1, 12);
    size_t written = 0;
    std::string line;
    while (written < kTextSize) {
      line.clear();
      for (int n = count(rng); n > 0; n--) {
        if (!line.empty()) line += ' ';
        line += words[word(rng)];
      }
      line += '\n';
      fwrite(line.data(), 1, line.size(), f);
      written += line.size();
    }
    if (fclose(f) != 0) {
      perror(p.c_str());
      exit(1);
    }
    return p;
  }();
  return path;
}

void BM_FileChange(benchmark::State &state) {
  const std::string work = Dir() + "/FileChange_bench.work";
  for (auto _ : state) {
    state.PauseTiming();
    unlink(work.c_str());
    if (link(TextFile().c_str(), work.c_str()) != 0) {
      state.SkipWithError("cannot link the text file");
      break;
    }
    state.ResumeTiming();
    FileChange(work.c_str(), "", kPattern, kReplacement);
  }
  unlink(work.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTextSize);
}

void BM_Sed(benchmark::State &state) {
  const std::string out = Dir() + "/FileChange_bench.sed";
  const std::string cmd = std::string("LC_ALL=C sed 's/") + kPattern + "/" + kReplacement + "/' '" +
                          TextFile() + "' > '" + out + "'";
  for (auto _ : state) {
    if (system(cmd.c_str()) != 0) {
      state.SkipWithError("sed failed");
      break;
    }
  }
  unlink(out.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTextSize);
}

BENCHMARK(BM_FileChange)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_Sed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
