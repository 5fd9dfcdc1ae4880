// Writes the seed corpus of the fuzz targets: small valid MIDI files that
// reach every part of the reader, the analysis and the writer, near-valid
// ones cut or damaged at the places where reading decides something, two
// converted files, and settings files good and bad.
//
//   fuzz_make_corpus OUTDIR   (writes OUTDIR/pipeline/* and OUTDIR/settings/*)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/load.h"
#include "support/files.h"
#include "support/smf_builder.h"
#include "writer/writer.h"

namespace {

using namespace mertovan;
using namespace mertovan::test;
namespace fs = std::filesystem;

const Bytes kXgOn = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
const Bytes kGmOn = {0x7E, 0x7F, 0x09, 0x01, 0xF7};

Bytes PartParameters(uint8_t firstPart, uint8_t parts) {
  static constexpr uint8_t kLows[] = {0x01, 0x02, 0x03, 0x0B, 0x0E, 0x12, 0x13, 0x14, 0x15,
                                      0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x23, 0x67,
                                      0x68, 0x72, 0x73, 0x76, 0x77, 0x07, 0x05, 0x30};
  Bytes body = SysExEvent(0, kXgOn);
  unsigned k = 0;
  for (uint8_t p = firstPart; p < firstPart + parts; ++p) {
    for (uint8_t low : kLows) {
      body = Cat({body, Xg(k++ % 7, 0x08, p, low, uint8_t((p * 7 + low) & 0x7F))});
    }
  }
  return body;
}

Bytes DrumSetups() {
  Bytes body = Cat({Xg(0, 0x08, 0x0F, 0x07, 0x03), Xg(0, 0x08, 0x05, 0x07, 0x02)});
  for (uint8_t high = 0x30; high <= 0x3F; ++high) {
    for (uint8_t low : {0x00, 0x01, 0x02, 0x04, 0x0B, 0x0C, 0x0E, 0x0F, 0x20, 0x25, 0x50}) {
      body = Cat({body, Xg(3, high, uint8_t(0x24 + (high & 0x0F)), low, 0x40)});
    }
  }
  // A part mode message after the drum setups it governs, and one beyond 6.
  return Cat({body, Xg(10, 0x08, 0x03, 0x07, 0x02), Xg(10, 0x08, 0x04, 0x07, 0x09)});
}

Bytes RunningStatusTrack() {
  Bytes body = Meta(0, 0x03, {'N', 'o', 't', 'e', 's'});
  body = Cat({body, {0x00, 0x90, 60, 100}, {0x10, 62, 100}, {0x10, 60, 0}, {0x00, 0xC3, 5}, {0x04, 7},
              {0x00, 0xB1, 7, 100}, {0x05, 10, 64}, {0x00, 0xE2, 0x00, 0x40}, {0x08, 0x10, 0x40},
              {0x00, 0xD4, 0x30}, {0x00, 0xA5, 60, 20}});
  // An F7 escape and a SysEx that breaks the running status.
  body = Cat({body, {0x00, 0xF7, 0x02, 0xF8, 0xFA}, Xg(4, 0x08, 0x01, 0x0B, 0x50), {0x00, 0x91, 64, 90}});
  return body;
}

Bytes TimeSignatures() {
  Bytes body;
  const uint8_t sigs[][3] = {{3, 2, 0}, {6, 3, 1}, {0, 0, 1}, {5, 5, 1}, {7, 9, 2}, {1, 0, 3}, {4, 2, 5}};
  for (const auto& s : sigs) {
    body = Cat({body, Meta(uint32_t(s[2]) * 700, 0x58, {s[0], s[1], 24, 8}), Xg(130, 0x08, 0x00, 0x0B, 0x40)});
  }
  return Cat({body, Meta(5, 0x58, {9}), Xg(2000, 0x08, 0x01, 0x0B, 0x41)});
}

Bytes LongAndPacked() {
  Bytes longMsg = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x00};
  for (int i = 0; i < 300; ++i) longMsg.push_back(uint8_t(i & 0x7F));
  longMsg.push_back(0xF7);
  return Cat({SysExEvent(0, longMsg),
              // Several messages in one event, and a repeated F0.
              SysExEvent(0, {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x40, 0xF7, 0xF0, 0x43, 0x10, 0x4C, 0x08,
                             0x01, 0x0B, 0x41, 0xF7}),
              SysExEvent(0, {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x02, 0x0B, 0x42, 0xF7}),
              SysExEvent(0, {}), SysExEvent(0, {0xF7}), SysExEvent(0, {0x43, 0x10, 0x4C, 0x08}),
              // No closing F7, and a final F0.
              SysExEvent(1, {0x43, 0x10, 0x4C, 0x08, 0x03, 0x0B, 0x44}),
              SysExEvent(1, {0x43, 0x10, 0x4C, 0x08, 0x03, 0x0B, 0x44, 0xF0})});
}

Bytes Damaged() {
  return Cat({SysExEvent(0, {0x43, 0x10, 0x4C, 0x08, 0x00, 0xF7}), SysExEvent(0, {0x43, 0x10, 0x4C, 0x08, 0x90, 0x0B, 0x40, 0xF7}),
              SysExEvent(0, {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0xC0, 0xF7}), SysExEvent(0, {0x43, 0x1F, 0x4C, 0x08, 0x00, 0x0E, 0x00, 0xF7}),
              SysExEvent(0, {0x43, 0x20, 0x4C, 0x08, 0x00, 0x0B, 0x40, 0xF7}), SysExEvent(0, {0x43, 0x10, 0x4C, 0x08, 0x00, 0x23, 0x30, 0xF7}),
              Xg(0, 0x08, 0x00, 0x23, 0x40), Xg(0, 0x08, 0x00, 0x67, 0x05), Xg(0, 0x02, 0x01, 0x40, 0x05, 0x49),
              Xg(0, 0x02, 0x01, 0x40, 0x05, 0x59), Xg(0, 0x08, 0x00, 0x03, 0x05, 0x49)});
}

// Ticks near the limits: a delta of 2^28 - 1 twice (2^29 in total), and a
// track that climbs past 2^32.
Bytes FarTicks() {
  Bytes body = Xg(0, 0x08, 0x00, 0x0B, 0x40);
  for (int i = 0; i < 17; ++i) body = Cat({body, Xg(0x0FFFFFFF, 0x08, uint8_t(i), 0x0B, 0x40), Xg(0, 0x44, 0, 0, 0)});
  return body;
}

void Write(const fs::path& path, const Bytes& bytes) { WriteAll(path, bytes); }

Bytes Converted(const Bytes& file, Layout layout) {
  Session session;
  return BuildFileImage(LoadSmfBytes(file, "seed.mid", session), {.layout = layout});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const fs::path pipeline = fs::path(argv[1]) / "pipeline";
  const fs::path settings = fs::path(argv[1]) / "settings";
  fs::create_directories(pipeline);
  fs::create_directories(settings);

  const Bytes parts = Smf({PartParameters(0, 4), Cat({SysExEvent(0, kGmOn), PartParameters(14, 4)})});
  const Bytes drums = Smf({DrumSetups(), PartParameters(9, 1)});
  const Bytes mixed = Smf({Meta(0, 0x58, {4, 2, 24, 8}), RunningStatusTrack(), Cat({Xg(200, 0x08, 0x02, 0x0B, 0x10),
                                                                                     Xg(0, 0x08, 0x02, 0x0E, 0x00)})});
  Write(pipeline / "parts.mid", parts);
  Write(pipeline / "parts_high.mid", Smf({PartParameters(28, 3), PartParameters(0x3E, 2)}));
  Write(pipeline / "drum_setups.mid", drums);
  Write(pipeline / "running_status.mid", mixed);
  Write(pipeline / "time_signatures.mid", Smf({TimeSignatures()}));
  Write(pipeline / "long_and_packed.mid", Smf({LongAndPacked()}));
  Write(pipeline / "damaged.mid", Smf({Damaged()}));
  Write(pipeline / "far_ticks.mid", Smf({FarTicks()}));
  Write(pipeline / "division_96.mid", Smf({Cat({Meta(0, 0x58, {3, 3, 24, 8}), Xg(97, 0x08, 0x00, 0x0B, 0x40)})}, 96));
  Write(pipeline / "smpte.mid", Smf({Xg(97, 0x08, 0x00, 0x0B, 0x40)}, 0xE728));
  Write(pipeline / "no_tracks.mid", Header(0));
  // A longer header, an unknown chunk, stray bytes at the end.
  Write(pipeline / "odd_chunks.mid",
        Cat({{'M', 'T', 'h', 'd'}, Be32(8), {0, 1, 0, 2, 0x01, 0xE0, 0xAA, 0xBB}, {'X', 'Y', 'Z', 'W'}, Be32(3),
             {1, 2, 3}, Track(Cat({Xg(0, 0x08, 0x00, 0x0B, 0x40), kEndOfTrack})), {0x4D, 0x54}}));
  // A track whose length field ends inside an event, and one cut mid-event.
  Bytes shortLength = Smf({Xg(0, 0x08, 0x00, 0x0B, 0x40)});
  shortLength[21] = 5;
  Write(pipeline / "short_chunk_length.mid", shortLength);
  Write(pipeline / "cut.mid", Bytes(parts.begin(), parts.begin() + long(parts.size() / 2)));
  // A data byte without running status, and an undefined status.
  Write(pipeline / "bad_status.mid", Smf({Cat({Xg(0, 0x08, 0x00, 0x0B, 0x40), {0x00, 0x40, 0x40}})}));
  Write(pipeline / "undefined_status.mid", Smf({Cat({Xg(0, 0x08, 0x00, 0x0B, 0x40), {0x00, 0xF4}})}));
  Write(pipeline / "long_delta.mid", Smf({Cat({Xg(0, 0x08, 0x00, 0x0B, 0x40), {0x81, 0x80, 0x80, 0x80, 0x00}})}));
  Write(pipeline / "converted_formal.mid", Converted(drums, Layout::Formal));
  Write(pipeline / "converted_plain.mid", Converted(mixed, Layout::Plain));

  const std::string good = "MERTOVAN1\r\n40\r\n40\r\n520\r\n270\r\n35\r\n35\r\n35\r\n20\r\n100\r\n80\r\n32\r\n1\r\n1\r\n1\r\n";
  WriteText(settings / "creation.ini", good);
  WriteText(settings / "lf.ini", "MERTOVAN1\n10\n20\n640\n480\n1\n2\n3\n4\n5\n6\n7\n0\n0\n0\n");
  WriteText(settings / "signs.ini", "MERTOVAN1\n -5\n+7 \n\t00012\n70000\n-2147483648\n2147483647\n3\n4\n5\n6\n7\n2\n-1\n9\nextra\n");
  WriteText(settings / "short.ini", "MERTOVAN1\r\n40\r\n40\r\n");
  WriteText(settings / "bad_line.ini", "MERTOVAN1\r\n40\r\n0x20\r\n520\r\n");
  WriteText(settings / "overflow.ini", "MERTOVAN1\n2147483648\n");
  WriteText(settings / "wrong_tag.ini", "MERTOVAN2\r\n1\r\n");
  WriteText(settings / "empty.ini", "");
  WriteText(settings / "junk.ini", std::string("\xFF\xFE\x00junk\r\r\n\xE3\x81\x82\n", 14));
  return 0;
}
