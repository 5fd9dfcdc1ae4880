// Throughput of the converted file's construction on the large synthetic XG
// file, in the three layouts, and of the whole load-and-convert path, in MB/s of
// source file.
#include <benchmark/benchmark.h>

#include "analysis/conversion.h"
#include "analysis/load.h"
#include "model/events.h"
#include "support/synthetic_song.h"
#include "writer/writer.h"

namespace {

using namespace mertovan;

const std::shared_ptr<const std::vector<uint8_t>>& LargeImage() { return test::SharedSyntheticXgFile(); }
const std::vector<uint8_t>& LargeFile() { return *LargeImage(); }

void Load() {
  gDrumSetupPartMap = kInitialDrumSetupPartMap;
  LoadSmfImage(LargeImage(), "large.mid");
}

void Report(benchmark::State& state, size_t imageBytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LargeFile().size()));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(gSysEx.size()));
  state.counters["file_MB"] = double(LargeFile().size()) / 1e6;
  state.counters["output_MB"] = double(imageBytes) / 1e6;
}

// state.range(0): the layout, 0 plain, 1 formal, 2 song.
ConvertOptions LayoutOptions(int64_t layout) {
  ConvertOptions options;
  options.formalOutput = layout == 1;
  options.songMode = layout == 2;
  return options;
}

void BM_BuildFileImage(benchmark::State& state) {
  Load();
  const ConvertOptions options = LayoutOptions(state.range(0));
  size_t imageBytes = 0;
  for (auto _ : state) {
    const std::vector<uint8_t> image = BuildFileImage(options);
    imageBytes = image.size();
    benchmark::DoNotOptimize(image.data());
  }
  Report(state, imageBytes);
}
BENCHMARK(BM_BuildFileImage)->Arg(0)->Arg(1)->Arg(2)->ArgName("layout")->Unit(benchmark::kMillisecond);

void BM_ReadAnalyseConvert(benchmark::State& state) {
  const ConvertOptions options = LayoutOptions(state.range(0));
  size_t imageBytes = 0;
  for (auto _ : state) {
    Load();
    const std::vector<uint8_t> image = BuildFileImage(options);
    imageBytes = image.size();
    benchmark::DoNotOptimize(image.data());
  }
  Report(state, imageBytes);
}
// Wall-clock time: the analysis of a large file runs on a second thread.
BENCHMARK(BM_ReadAnalyseConvert)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("layout")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
