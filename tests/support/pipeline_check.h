// The whole load-list-convert path on arbitrary bytes, with the properties
// that must hold for any input. Shared by the pipeline fuzz target and by the
// core test that replays the seed corpus and every input a fuzz run found.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <span>
#include <string>
#include <vector>

#include "analysis/conversion.h"
#include "analysis/listing.h"
#include "analysis/load.h"
#include "model/events.h"
#include "model/smf_reader.h"
#include "writer/song_writer.h"
#include "writer/writer.h"

namespace mertovan::fuzz {

// Anything the writer can put in a delta time or a length.
inline constexpr uint64_t kLargestVarLen = 0x0FFFFFFFu;

inline std::string DescribeOptions(const ConvertOptions& o) {
  return std::string(o.formalOutput ? "formal" : "plain") + (o.includeUnconvertible ? "/include" : "/drop");
}

// Reads a converted file back and compares its pass-through track with the
// source list it came from. Returns what is wrong, or "" when all is well.
inline std::string CheckImage(const std::vector<uint8_t>& image, const ConvertOptions& options,
                              const SysExList& source) {
  const std::string where = " (" + DescribeOptions(options) + ")";
  ClearEventTables();
  int32_t result;
  try {
    result = ReadSmfBytes(image, "converted.mid");
  } catch (const IoError& e) {
    return std::string("converted file does not read back: ") + e.what() + where;
  }
  if (result != 0) return "converted file reads back only in part" + where;
  if (image.size() < 14) return "converted file has no header" + where;

  // Every track the header announces is there, and nothing else.
  const unsigned announced = unsigned(image[10]) << 8 | image[11];
  unsigned chunks = 0;
  for (size_t at = 14; at + 8 <= image.size();) {
    const uint32_t len = uint32_t(image[at + 4]) << 24 | uint32_t(image[at + 5]) << 16 |
                         uint32_t(image[at + 6]) << 8 | image[at + 7];
    ++chunks;
    at += 8 + size_t(len);
  }
  if (chunks != announced) {
    return "header announces " + std::to_string(announced) + " tracks, file has " + std::to_string(chunks) +
           where;
  }

  // The pass-through track holds the unconverted messages in ascending tick
  // order (stable), each byte for byte as the source held it.
  std::vector<uint32_t> expected;
  if (options.includeUnconvertible) {
    std::vector<uint32_t> order(source.events.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      return source.events[a].tick < source.events[b].tick;
    });
    for (uint32_t i : order) {
      if (source.events[i].ccNumber[0] == 255) expected.push_back(i);
    }
  }
  if (gSysEx.size() != expected.size()) {
    return "pass-through track holds " + std::to_string(gSysEx.size()) + " messages, expected " +
           std::to_string(expected.size()) + where;
  }
  for (size_t k = 0; k < expected.size(); ++k) {
    const Tsys& from = source.events[expected[k]];
    const Tsys& got = gSysEx.events[k];
    const auto a = source.Raw(from);
    const auto b = gSysEx.Raw(got);
    if (!std::equal(a.begin(), a.end(), b.begin(), b.end())) {
      return "pass-through message " + std::to_string(k) + " differs from its source" + where;
    }
    if (!options.formalOutput && got.tick != from.tick) {
      return "pass-through message " + std::to_string(k) + " moved from tick " + std::to_string(from.tick) +
             " to " + std::to_string(got.tick) + where;
    }
  }
  return "";
}

// Runs the pipeline once; returns the first property that failed, or "".
inline std::string RunPipeline(std::span<const uint8_t> input) {
  // The map persists across loads in the program; reset it so that one
  // input always behaves the same.
  gDrumSetupPartMap = kInitialDrumSetupPartMap;
  // A file that cannot be read leaves empty tables; one read in part is
  // listed and converted as far as it goes.
  LoadSmfBytes(input, "fuzz.mid");
  for (const Tsys& e : gSysEx.events) {
    if (uint64_t(e.offset) + 2ull * e.length > gSysEx.bytes.size()) return "record points past the byte store";
  }

  size_t textBytes = 0;
  for (const Tsys& e : gSysEx.events) {
    for (uint8_t view : {uint8_t(1), uint8_t(0)}) {
      for (int column = 0; column < kListingColumns; ++column) {
        textBytes += CellText(gSysEx, e, column, view).size();
      }
    }
    textBytes += e.eventName.size() + e.valueText.size();
    if (e.ccNumber[0] != 255 && e.channel >= 32) return "converted event without a channel track";
  }
  (void)textBytes;

  const SysExList source = gSysEx;
  uint32_t maxTick = 0;
  for (const Tsys& e : source.events) maxTick = std::max(maxTick, e.tick);

  std::vector<std::pair<ConvertOptions, std::vector<uint8_t>>> images;
  for (uint8_t formal : {uint8_t(0), uint8_t(1)}) {
    for (uint8_t include : {uint8_t(0), uint8_t(1)}) {
      ConvertOptions options;
      options.formalOutput = formal;
      options.includeUnconvertible = include;
      try {
        images.emplace_back(options, BuildFileImage(options));
      } catch (const ConvertError& e) {
        // Only a time gap the format cannot hold may refuse a conversion,
        // and the formal layout writes fixed gaps only.
        if (formal || maxTick <= kLargestVarLen) {
          return "conversion refused (" + DescribeOptions(options) + "): " + e.what();
        }
      }
    }
  }
  // The song layout: refused only for a file read in part, a format 2 file,
  // a track past tick 2^32 - 1 or a time gap too long for the format; else
  // it reads back whole, with every message that stays.
  const SourceFile song = gSourceFile;
  std::vector<uint8_t> songImage;
  for (uint8_t include : {uint8_t(0), uint8_t(1)}) {
    gSysEx = source;
    gSourceFile = song;
    ConvertOptions options;
    options.songMode = 1;
    options.includeUnconvertible = include;
    // A large song is converted on two threads: either way gives the same
    // bytes, or the same refusal.
    std::vector<uint8_t> twoThreads;
    std::string twoThreadsRefusal;
    try {
      twoThreads = BuildSongImage(options, SongThreads::Two);
    } catch (const ConvertError& e) {
      twoThreadsRefusal = e.what();
    }
    try {
      songImage = BuildFileImage(options);
    } catch (const ConvertError& e) {
      const bool mayRefuse = !song.image || song.readResult != 0 || song.format == 2 ||
                             song.longTicks || std::string(e.what()).find("time gap") != std::string::npos;
      if (!mayRefuse) return std::string("song layout refused: ") + e.what();
      if (twoThreadsRefusal != e.what()) return "song layout refused on one thread only: " + std::string(e.what());
      continue;
    }
    if (!twoThreadsRefusal.empty() || twoThreads != songImage) return "song layout differs on two threads";
    // What stays: the unconverted messages when they are included, and any
    // message right after a kept one that never got its F7.
    size_t kept = 0;
    bool keptOpen = false;
    for (size_t i = 0; i < source.events.size(); ++i) {
      const Tsys& e = source.events[i];
      if (i > 0 && i < source.places.size() && source.places[i].track != source.places[i - 1].track) {
        keptOpen = false;
      }
      if (!keptOpen && !(include && (e.ccNumber[0] == 255 || e.channel >= 32))) continue;
      const auto raw = source.Raw(e);
      keptOpen = raw.empty() || raw.back() != 0xF7;
      ++kept;
    }
    ClearEventTables();
    try {
      if (ReadSmfBytes(songImage, "song.mid") != 0) return "song layout reads back only in part";
    } catch (const IoError& e) {
      return std::string("song layout does not read back: ") + e.what();
    }
    if (gSysEx.size() != kept) {
      return "song layout holds " + std::to_string(gSysEx.size()) + " SysEx messages, expected " +
             std::to_string(kept);
    }
  }
  for (const auto& [options, image] : images) {
    std::string fault = CheckImage(image, options, source);
    if (!fault.empty()) return fault;
  }
  return "";
}

}  // namespace mertovan::fuzz
