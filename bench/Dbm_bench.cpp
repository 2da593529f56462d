/* Typed databases against gdbm: fetching every key of a 10,000-record database once in random
 * order, and storing 1,000 records with the write-back deferred, then writing once.
 *
 * Both sides hold the same keys ("<set>_<number>", as the catalogues use) and values (texts
 * of 20 to 120 bytes with their NUL). gdbm runs with its default cache on a file in /tmp.
 * Without libgdbm-dev only the typed database's figures are built.
 */
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "utils.h"

#ifdef DBM_BENCH_GDBM
#include <gdbm.h>
#endif

namespace {

constexpr int kRecords = 10000;
constexpr int kStores = 1000;

struct Data {
  std::string dir, typed, gdbm;
  std::vector<std::string> keys, values, newKeys;
  std::vector<int> order; /* a random order of the keys */

  Data() {
    char tmpl[] = "/tmp/dbm_bench.XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    dir = tmpl;
    typed = dir + "/bench.vdb";
    gdbm = dir + "/bench.gdbm";
    std::mt19937 rng(42);
    for (int i = 0; i < kRecords; i++) {
      keys.push_back(std::to_string(i / 100 + 1) + "_" + std::to_string(i % 100 + 1));
      std::string v;
      for (size_t n = 20 + rng() % 100; v.size() < n;) v += static_cast<char>('a' + rng() % 26);
      values.push_back(v);
      order.push_back(i);
    }
    for (int i = 0; i < kStores; i++) newKeys.push_back("900_" + std::to_string(i));
    std::shuffle(order.begin(), order.end(), rng);

    DbT *db = DbTOpenFile(typed.c_str(), DBT_DEFER);
    for (int i = 0; i < kRecords; i++) Put(db, i, keys[i]);
    if (!DbmTArchiveDb(db)) abort();
    DbTClose(db);
#ifdef DBM_BENCH_GDBM
    GDBM_FILE g = gdbm_open(gdbm.c_str(), 0, GDBM_NEWDB, 0644, nullptr);
    if (!g) abort();
    for (int i = 0; i < kRecords; i++) GPut(g, i, keys[i]);
    gdbm_close(g);
#endif
  }
  ~Data() { (void)system(("rm -rf " + dir).c_str()); }

  void Put(DbT *db, int i, const std::string &key) {
    const std::string &v = values[i];
    if (!DbmTPutRecord(db, key.c_str(), v.c_str(), static_cast<int>(v.size()) + 1)) abort();
  }
#ifdef DBM_BENCH_GDBM
  void GPut(GDBM_FILE g, int i, const std::string &key) {
    const std::string &v = values[i];
    datum k = {const_cast<char *>(key.c_str()), static_cast<int>(key.size()) + 1};
    datum d = {const_cast<char *>(v.c_str()), static_cast<int>(v.size()) + 1};
    if (gdbm_store(g, k, d, GDBM_REPLACE) != 0) abort();
  }
#endif
  /* A fresh copy of file to write into, so every round starts from the same database. */
  std::string Copy(const std::string &file) {
    std::string copy = file + ".copy";
    if (system(("cp " + file + " " + copy).c_str()) != 0) abort();
    return copy;
  }
};

Data &Bench() {
  static Data data;
  return data;
}

void FetchAll(benchmark::State &state, int flags) {
  Data &d = Bench();
  DbT *db = DbTOpenFile(d.typed.c_str(), flags);
  char buf[256];
  for (auto _ : state) {
    for (int i : d.order) {
      int n = DbmTGetRecord(db, d.keys[i].c_str(), buf);
      if (n == 0) abort();
      benchmark::DoNotOptimize(buf[n - 1]);
    }
  }
  DbTClose(db);
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_DbmT_Fetch(benchmark::State &state) { FetchAll(state, DBT_NO_RECHECK); }
BENCHMARK(BM_DbmT_Fetch)->Unit(benchmark::kMicrosecond);

/* The same with the re-check of the file before every fetch (flags 0, as catalogues are
 * usually opened): one stat per fetch. */
void BM_DbmT_FetchRechecked(benchmark::State &state) { FetchAll(state, 0); }
BENCHMARK(BM_DbmT_FetchRechecked)->Unit(benchmark::kMicrosecond);

void BM_DbmT_Open(benchmark::State &state) {
  Data &d = Bench();
  for (auto _ : state) {
    DbT *db = DbTOpenFile(d.typed.c_str(), DBT_NO_RECHECK);
    if (db->count != kRecords) abort();
    DbTClose(db);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_DbmT_Open)->Unit(benchmark::kMicrosecond);

void BM_DbmT_Store1000Deferred(benchmark::State &state) {
  Data &d = Bench();
  for (auto _ : state) {
    state.PauseTiming();
    std::string copy = d.Copy(d.typed);
    DbT *db = DbTOpenFile(copy.c_str(), DBT_DEFER | DBT_NO_RECHECK);
    state.ResumeTiming();
    for (int i = 0; i < kStores; i++) d.Put(db, i, d.newKeys[i]);
    if (!DbmTArchiveDb(db)) abort();
    state.PauseTiming();
    DbTClose(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kStores);
}
BENCHMARK(BM_DbmT_Store1000Deferred)->Unit(benchmark::kMillisecond);

#ifdef DBM_BENCH_GDBM
void BM_Gdbm_Fetch(benchmark::State &state) {
  Data &d = Bench();
  GDBM_FILE g = gdbm_open(d.gdbm.c_str(), 0, GDBM_READER, 0, nullptr);
  if (!g) abort();
  for (auto _ : state) {
    for (int i : d.order) {
      const std::string &key = d.keys[i];
      datum k = {const_cast<char *>(key.c_str()), static_cast<int>(key.size()) + 1};
      datum v = gdbm_fetch(g, k);
      if (!v.dptr) abort();
      benchmark::DoNotOptimize(v.dptr[v.dsize - 1]);
      free(v.dptr);
    }
  }
  gdbm_close(g);
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Gdbm_Fetch)->Unit(benchmark::kMicrosecond);

void BM_Gdbm_Store1000Synced(benchmark::State &state) {
  Data &d = Bench();
  for (auto _ : state) {
    state.PauseTiming();
    std::string copy = d.Copy(d.gdbm);
    GDBM_FILE g = gdbm_open(copy.c_str(), 0, GDBM_WRITER, 0, nullptr);
    if (!g) abort();
    state.ResumeTiming();
    for (int i = 0; i < kStores; i++) d.GPut(g, i, d.newKeys[i]);
    gdbm_sync(g);
    state.PauseTiming();
    gdbm_close(g);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kStores);
}
BENCHMARK(BM_Gdbm_Store1000Synced)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
