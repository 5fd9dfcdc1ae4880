// Throughput of the converted file's construction on the large synthetic XG
// file, in both layouts, and of the whole load-and-convert path, in MB/s of
// source file.
#include <benchmark/benchmark.h>

#include "analysis/conversion.h"
#include "model/events.h"
#include "support/synthetic_song.h"
#include "writer/writer.h"

namespace {

using namespace mertovan;

const std::vector<uint8_t>& LargeFile() {
  static const std::vector<uint8_t> file = test::MakeSyntheticXgFile();
  return file;
}

void Load() {
  ClearEventTables();
  gDrumSetupPartMap = kInitialDrumSetupPartMap;
  ReadSmfBytes(LargeFile(), "large.mid");
  AnalyseEvents();
}

void Report(benchmark::State& state, size_t imageBytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LargeFile().size()));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(gSysEx.size()));
  state.counters["file_MB"] = double(LargeFile().size()) / 1e6;
  state.counters["output_MB"] = double(imageBytes) / 1e6;
}

// state.range(0): 1 formal layout, 0 plain.
void BM_BuildFileImage(benchmark::State& state) {
  Load();
  ConvertOptions options;
  options.formalOutput = uint8_t(state.range(0));
  size_t imageBytes = 0;
  for (auto _ : state) {
    const std::vector<uint8_t> image = BuildFileImage(options);
    imageBytes = image.size();
    benchmark::DoNotOptimize(image.data());
  }
  Report(state, imageBytes);
}
BENCHMARK(BM_BuildFileImage)->Arg(0)->Arg(1)->ArgName("formal")->Unit(benchmark::kMillisecond);

void BM_ReadAnalyseConvert(benchmark::State& state) {
  ConvertOptions options;
  options.formalOutput = uint8_t(state.range(0));
  size_t imageBytes = 0;
  for (auto _ : state) {
    Load();
    const std::vector<uint8_t> image = BuildFileImage(options);
    imageBytes = image.size();
    benchmark::DoNotOptimize(image.data());
  }
  Report(state, imageBytes);
}
BENCHMARK(BM_ReadAnalyseConvert)->Arg(0)->Arg(1)->ArgName("formal")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
