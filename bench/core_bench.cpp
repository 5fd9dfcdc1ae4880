// Throughput of the reading engine on a large synthetic XG file: reading,
// the analysis pass, and both together, in events/s and MB/s of file.
#include <benchmark/benchmark.h>

#include "analysis/conversion.h"
#include "model/events.h"
#include "support/synthetic_song.h"

namespace {

using namespace mertovan;

const std::vector<uint8_t>& LargeFile() {
  static const std::vector<uint8_t> file = test::MakeSyntheticXgFile();
  return file;
}

void Report(benchmark::State& state) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LargeFile().size()));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(gSysEx.size()));
  state.counters["sysex"] = double(gSysEx.size());
  state.counters["file_MB"] = double(LargeFile().size()) / 1e6;
}

void BM_Read(benchmark::State& state) {
  for (auto _ : state) {
    ClearEventTables();
    benchmark::DoNotOptimize(ReadSmfBytes(LargeFile(), "large.mid"));
  }
  Report(state);
}
BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond);

void BM_Analyse(benchmark::State& state) {
  ClearEventTables();
  ReadSmfBytes(LargeFile(), "large.mid");
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
    ClearEventTables();
    ReadSmfBytes(LargeFile(), "large.mid");
    AnalyseEvents();
  }
  Report(state);
}
BENCHMARK(BM_ReadAndAnalyse)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
