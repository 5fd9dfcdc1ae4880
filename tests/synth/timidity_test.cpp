// XG songs converted with --target gs, rendered by TiMidity++ as a GS module
// (an SC-88, --module=1), sound like the same notes written for GM with the
// kit on channel 10: their loudness matches window by window. TiMidity
// ignores XG Part Mode, so the songs kept for an XG module play their kits as
// melodic instruments there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "synth/synth_song.h"

namespace mertovan {
namespace {

using test::Events;
using test::Notes;
using test::Timed;
using test::XgPart;

// The loudness of a 16-bit PCM WAV file: the RMS of all its samples (both
// sides) in each 50 ms window; empty (and the test failed) when it is not one.
std::vector<double> Loudness(const std::string& wav) {
  const std::vector<uint8_t> f = test::ReadAll(wav);
  auto le = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | f[at + size_t(i)];
    return v;
  };
  if (f.size() < 12 || std::memcmp(f.data(), "RIFF", 4) != 0 || std::memcmp(f.data() + 8, "WAVE", 4) != 0) {
    ADD_FAILURE() << wav << " is no WAV file";
    return {};
  }
  uint32_t format = 0, channels = 0, rate = 0, bits = 0;
  for (size_t at = 12; at + 8 <= f.size();) {
    const uint32_t size = le(at + 4, 4);
    const size_t body = at + 8, end = std::min(f.size(), body + size);
    if (std::memcmp(f.data() + at, "fmt ", 4) == 0 && size >= 16) {
      format = le(body, 2);
      channels = le(body + 2, 2);
      rate = le(body + 4, 4);
      bits = le(body + 14, 2);
    } else if (std::memcmp(f.data() + at, "data", 4) == 0) {
      if (format != 1 || channels == 0 || rate < 20 || bits != 16) {
        ADD_FAILURE() << wav << ": not 16-bit PCM";
        return {};
      }
      const size_t window = rate / 20 * channels;
      std::vector<double> rms;
      for (size_t from = body; from + 2 <= end; from += window * 2) {
        double sum = 0;
        size_t n = 0;
        for (size_t p = from; p + 2 <= end && n < window; p += 2, ++n) {
          const double s = int16_t(le(p, 2));
          sum += s * s;
        }
        rms.push_back(std::sqrt(sum / double(window)));
      }
      return rms;
    }
    at = body + size + (size & 1);
  }
  ADD_FAILURE() << wav << " holds no sound";
  return {};
}

// `midi` rendered by TiMidity++ with its installed configuration, as a GS
// module, from the first tick (no silence dropped), at 22.05 kHz.
std::vector<double> Rendered(const test::ScratchDir& dir, const std::string& midi) {
  const std::string wav = midi + ".wav";
  const test::CliRun r = test::RunProgram(
      "timidity", {"-id", "--module=1", "-Ow", "-s", "22050", "--preserve-silence", "-o", wav, midi}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  return Loudness(wav);
}

// The largest difference of two loudness curves, as a share of the first's
// loudest window.
double Difference(const std::vector<double>& reference, const std::vector<double>& other) {
  const double peak = *std::max_element(reference.begin(), reference.end());
  double worst = 0;
  for (size_t i = 0; i < std::max(reference.size(), other.size()); ++i) {
    const double a = i < reference.size() ? reference[i] : 0, b = i < other.size() ? other[i] : 0;
    worst = std::max(worst, std::abs(a - b) / peak);
  }
  return worst;
}

struct Case {
  const char* what;
  Events xg;  // the XG song
  Events gm;  // the same notes for a GM synth: the kit on channel 10
};

std::vector<Case> Cases() {
  const Timed xgOn{0, test::kXgSystemOn}, gmOn{0, test::kGmSystemOn};
  // No two keys of one kit that cut each other off (open and closed hi-hat).
  const std::vector<uint8_t> drums = {36, 42, 38, 42, 36, 36, 38, 42}, drums2 = {41, 45, 49, 51},
                             tune = {60, 64, 67, 72};
  return {
      {"kit on part 11 by Part Mode", Events{xgOn, XgPart(10, 10, 0x07, 1)} + Notes(10, drums, 100),
       Events{gmOn} + Notes(9, drums, 100)},
      {"kit on part 11, a piano on part 10 made normal by Part Mode",
       Events{xgOn, XgPart(10, 10, 0x07, 2), XgPart(10, 9, 0x07, 0)} + Notes(10, drums, 100) +
           Notes(9, tune, 90, 240, 480),
       Events{gmOn} + Notes(9, drums, 100) + Notes(0, tune, 90, 240, 480)},
      {"kits on parts 11 and 12",
       Events{xgOn, XgPart(10, 10, 0x07, 1), XgPart(10, 11, 0x07, 2)} + Notes(10, drums, 100) +
           Notes(11, drums2, 100, 360, 480),
       Events{gmOn} + Notes(9, drums, 100) + Notes(9, drums2, 100, 360, 480)},
  };
}

constexpr double kSame = 0.02;  // of the loudest window

class TimidityGs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v timidity >/dev/null 2>&1") != 0) GTEST_SKIP() << "no timidity (Debian timidity)";
  }
  test::ScratchDir dir;
};

TEST_F(TimidityGs, KitsOnOtherChannelsSoundLikeTheKitOnChannel10) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    test::WriteAll(dir.File("gm.mid"), test::SongFile(c.gm));
    const std::vector<double> reference = Rendered(dir, dir.File("gm.mid"));
    const std::string gs = test::ConvertedFor(dir, test::SongFile(c.xg), "gs");
    const std::string xg = test::ConvertedFor(dir, test::SongFile(c.xg), "xg");
    ASSERT_FALSE(reference.empty());
    ASSERT_GT(*std::max_element(reference.begin(), reference.end()), 100) << "the reference is silent";
    EXPECT_LT(Difference(reference, Rendered(dir, gs)), kSame);
    // Kept for an XG module, the kit plays as a melodic voice: what the GS target mends.
    EXPECT_GT(Difference(reference, Rendered(dir, xg)), kSame);
  }
}

}  // namespace
}  // namespace mertovan
