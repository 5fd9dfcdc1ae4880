// Throughput of the reading engine on a large synthetic XG file: reading,
// the analysis pass, and both together, in events/s and MB/s of file.
#include <benchmark/benchmark.h>

#include "analysis/conversion.h"
#include "analysis/load.h"
#include "model/events.h"
#include "model/smf_reader.h"
#include "support/synthetic_song.h"

namespace {

using namespace mertovan;

const std::shared_ptr<const std::vector<uint8_t>>& LargeImage() { return test::SharedSyntheticXgFile(); }
const std::vector<uint8_t>& LargeFile() { return *LargeImage(); }

void Report(benchmark::State& state) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LargeFile().size()));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(gSysEx.size()));
  state.counters["sysex"] = double(gSysEx.size());
  state.counters["file_MB"] = double(LargeFile().size()) / 1e6;
}

void BM_Read(benchmark::State& state) {
  for (auto _ : state) {
    ClearEventTables();
    benchmark::DoNotOptimize(ReadSmfImage(LargeImage(), "large.mid"));
  }
  Report(state);
}
BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond);

void BM_Analyse(benchmark::State& state) {
  ClearEventTables();
  ReadSmfImage(LargeImage(), "large.mid");
  for (auto _ : state) {
    state.PauseTiming();
    for (Tsys& e : gSysEx.events) {
      e.channel = 255;
      e.ccNumber[0] = 255;
    }
    gChannelUsage.fill(0);
    gDrumSetupPartMap = kInitialDrumSetupPartMap;
    state.ResumeTiming();
    AnalyseEvents();
  }
  Report(state);
}
BENCHMARK(BM_Analyse)->Unit(benchmark::kMillisecond);

void BM_ReadAndAnalyse(benchmark::State& state) {
  for (auto _ : state) {
    LoadSmfImage(LargeImage(), "large.mid");
  }
  Report(state);
}
// Wall-clock time: the analysis of a large file runs on a second thread.
BENCHMARK(BM_ReadAndAnalyse)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
