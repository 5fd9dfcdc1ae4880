// libFuzzer target: arbitrary bytes as a MIDI file through reading, analysis,
// both listing views and all four conversions, each converted file read back.
#include <cstdio>
#include <cstdlib>

#include "support/pipeline_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string fault = mertovan::fuzz::RunPipeline({data, size});
  if (!fault.empty()) {
    std::fprintf(stderr, "pipeline property failed: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
