// The whole load-list-convert path on arbitrary bytes, with the properties
// that must hold for any input. Shared by the pipeline fuzz target and by the
// core test that replays the seed corpus and every input a fuzz run found.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/listing.h"
#include "analysis/load.h"
#include "model/file_io.h"
#include "model/smf_reader.h"
#include "model/song.h"
#include "writer/file_image.h"
#include "writer/song_writer.h"
#include "writer/writer.h"

namespace mertovan::fuzz {

// Anything the writer can put in a delta time or a length.
inline constexpr uint64_t kLargestVarLen = 0x0FFFFFFFu;

inline std::string DescribeOptions(const ConvertOptions& o) {
  static constexpr const char* kLayouts[] = {"formal", "plain", "song"};
  return std::string(kLayouts[size_t(o.layout)]) + (o.includeUnconvertible ? "/include" : "/drop") +
         (o.target == Target::Xg ? "" : "/" + std::string(TargetName(o.target)));
}

// Reads a converted file with the program's own reader into `song`. Returns
// what is wrong, or "" when the whole file was read.
inline std::string ReadBack(const std::vector<uint8_t>& image, const ConvertOptions& options, Song& song) {
  const std::string where = " (" + DescribeOptions(options) + ")";
  try {
    if (ReadSmf(std::make_shared<const std::vector<uint8_t>>(image), "converted.mid", song) != LoadStatus::Whole) {
      return "converted file reads back only in part" + where;
    }
  } catch (const IoError& e) {
    return std::string("converted file does not read back: ") + e.what() + where;
  }
  return "";
}

// The listing in both views, as the command line writes it: one row per
// message, seven cells to a row, none empty; the SysEx column shows F0 and
// never more bytes than the file held, the CC column shows " -" exactly for
// the messages that did not convert.
inline std::string CheckListing(const SysExList& list) {
  for (const ViewMode view : {ViewMode::SysEx, ViewMode::Cc}) {
    std::string tsv;
    for (const Tsys& e : list.events) AppendTsvRow(tsv, list, e, view);
    std::string_view rest = tsv;
    for (const Tsys& e : list.events) {
      const size_t end = rest.find('\n');
      if (end == std::string_view::npos) return "listing has fewer rows than messages";
      std::string_view row = rest.substr(0, end);
      rest.remove_prefix(end + 1);
      std::vector<std::string_view> cells;
      for (size_t tab = row.find('\t');; tab = row.find('\t')) {
        cells.push_back(row.substr(0, tab));
        if (tab == std::string_view::npos) break;
        row.remove_prefix(tab + 1);
      }
      if (cells.size() != 7) return "listing row of " + std::to_string(cells.size()) + " cells";
      for (const std::string_view cell : cells) {
        if (cell.empty()) return "empty listing cell";
      }
      const std::string_view last = cells[6];
      if (view == ViewMode::SysEx) {
        // "F0 " and three characters per byte.
        if (!last.starts_with("F0 ") || last.size() % 3 != 0 || last.size() / 3 - 1 > e.length) {
          return "SysEx column shows more than the file held: " + std::string(last);
        }
      } else if ((last == " -") != (e.ccNumber[0] == kNone)) {
        return "CC column disagrees with the conversion: " + std::string(last);
      }
    }
    if (!rest.empty()) return "listing has more rows than messages";
  }
  return "";
}

// Reads a converted file back and compares its pass-through track with the
// source list it came from. Returns what is wrong, or "" when all is well.
inline std::string CheckImage(const std::vector<uint8_t>& image, const ConvertOptions& options,
                              const SysExList& source) {
  const std::string where = " (" + DescribeOptions(options) + ")";
  Song back;
  if (std::string fault = ReadBack(image, options, back); !fault.empty()) return fault;
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
      if (!InChannelTrack(source.events[i])) expected.push_back(i);
    }
  }
  const SysExList& got = back.sysEx;
  if (got.size() != expected.size()) {
    return "pass-through track holds " + std::to_string(got.size()) + " messages, expected " +
           std::to_string(expected.size()) + where;
  }
  for (size_t k = 0; k < expected.size(); ++k) {
    const Tsys& from = source.events[expected[k]];
    const auto a = source.Raw(from);
    const auto b = got.Raw(got.events[k]);
    if (!std::equal(a.begin(), a.end(), b.begin(), b.end())) {
      return "pass-through message " + std::to_string(k) + " differs from its source" + where;
    }
    if (options.layout == Layout::Plain && got.events[k].tick != from.tick) {
      return "pass-through message " + std::to_string(k) + " moved from tick " + std::to_string(from.tick) +
             " to " + std::to_string(got.events[k].tick) + where;
    }
  }
  return "";
}

// The note-ons with a velocity in the tracks of a file the reader has read
// whole, and the chunks after the header.
struct NoteCount {
  size_t notes = 0;
  size_t chunks = 0;
  bool operator==(const NoteCount&) const = default;
};
inline NoteCount CountNoteOns(const std::vector<uint8_t>& f) {
  NoteCount count;
  const auto varLen = [&](size_t& p) {
    uint32_t v = 0;
    while (p < f.size() && (f[p] & 0x80)) v = v << 7 | (f[p++] & 0x7F);
    return p < f.size() ? v << 7 | f[p++] : v;
  };
  for (size_t at = 14; at + 8 <= f.size(); ++count.chunks) {
    const size_t length = size_t(f[at + 4]) << 24 | size_t(f[at + 5]) << 16 | size_t(f[at + 6]) << 8 | f[at + 7];
    const size_t end = std::min(f.size(), at + 8 + length);
    if (std::string_view(reinterpret_cast<const char*>(f.data() + at), 4) == "MTrk") {
      uint8_t running = 0;
      for (size_t p = at + 8; p < end;) {
        varLen(p);
        if (p >= end) break;
        const uint8_t b = f[p];
        if (b == 0xFF || b == 0xF0 || b == 0xF7) {
          p += b == 0xFF ? 2 : 1;
          p += varLen(p);
          continue;
        }
        if (b >= 0xF0) {
          p += 1 + size_t(std::max(DataByteCount(b), 0));
          continue;
        }
        if (b >= 0x80) running = b, ++p;
        const size_t n = size_t(std::max(DataByteCount(running), 0));
        if ((running & 0xF0) == 0x90 && n == 2 && p + 1 < end && f[p + 1] != 0) ++count.notes;
        p += n;
      }
    }
    at += 8 + length;
  }
  return count;
}

// Runs the pipeline once; returns the first property that failed, or "".
inline std::string RunPipeline(std::span<const uint8_t> input) {
  // A session of its own, so that one input always behaves the same. A file
  // that cannot be read gives an empty song; one read in part is listed and
  // converted as far as it goes.
  Session session;
  const Song song = LoadSmfBytes(input, "fuzz.mid", session);
  const SysExList& source = song.sysEx;
  if (song.status == LoadStatus::Failed && (source.size() != 0 || song.error.empty())) {
    return "a failed load keeps messages or gives no reason";
  }
  for (const Tsys& e : source.events) {
    if (uint64_t(e.offset) + 2ull * e.length > source.bytes.size()) return "record points past the byte store";
    if (e.ccNumber[0] != kNone && e.channel >= 64) return "converted event for a part no module has";
  }
  if (std::string fault = CheckListing(source); !fault.empty()) return fault;

  uint32_t maxTick = 0;
  for (const Tsys& e : source.events) maxTick = std::max(maxTick, e.tick);
  for (const Layout layout : {Layout::Plain, Layout::Formal}) {
    for (const bool include : {false, true}) {
      const ConvertOptions options{layout, include};
      std::vector<uint8_t> image;
      try {
        image = BuildFileImage(song, options);
      } catch (const ConvertError& e) {
        // Only a time gap the format cannot hold may refuse a conversion,
        // and the formal layout writes fixed gaps only.
        if (layout == Layout::Formal || maxTick <= kLargestVarLen) {
          return "conversion refused (" + DescribeOptions(options) + "): " + e.what();
        }
        continue;
      }
      if (std::string fault = CheckImage(image, options, source); !fault.empty()) return fault;
    }
  }

  // The song layout: refused only for a SysEx file, a file read in part, a format 2 file,
  // a track past tick 2^32 - 1 or a time gap too long for the format; else
  // it reads back whole, with every message that stays.
  for (const bool include : {false, true}) {
    const ConvertOptions options{Layout::Song, include};
    std::vector<uint8_t> image;
    try {
      image = BuildFileImage(song, options);
    } catch (const ConvertError& e) {
      const bool mayRefuse = song.status != LoadStatus::Whole || song.source.kind == FileKind::SysEx ||
                             song.source.format == 2 || song.source.longTicks ||
                             std::string(e.what()).find("time gap") != std::string::npos;
      if (!mayRefuse) return std::string("song layout refused: ") + e.what();
      continue;
    }
    // What stays: the messages that do not go out as channel messages when
    // they are included, and any message right after a kept one that never
    // got its F7.
    const std::vector<bool> routed = RoutedMessages(source);
    size_t kept = 0;
    bool keptOpen = false;
    for (size_t i = 0; i < source.events.size(); ++i) {
      const Tsys& e = source.events[i];
      if (i > 0 && i < source.places.size() && source.places[i].track != source.places[i - 1].track) {
        keptOpen = false;
      }
      if (!keptOpen && !(include && !routed[i])) continue;
      const auto raw = source.Raw(e);
      keptOpen = raw.empty() || raw.back() != kStatusSysExEnd;
      ++kept;
    }
    Song back;
    if (std::string fault = ReadBack(image, options, back); !fault.empty()) return fault;
    if (back.sysEx.size() != kept) {
      return "song layout holds " + std::to_string(back.sysEx.size()) + " SysEx messages, expected " +
             std::to_string(kept);
    }
    if (!include) continue;
    // A target reads back whole, with the same chunks and every note (on
    // another channel, maybe).
    for (const Target target : {Target::Gm, Target::Gs}) {
      const ConvertOptions targeted{Layout::Song, include, target};
      std::vector<uint8_t> made;
      try {
        made = BuildFileImage(song, targeted);
      } catch (const ConvertError& e) {
        // Taking out more events, a target may carry a time gap past what the format holds.
        if (std::string(e.what()).find("time gap") == std::string::npos) {
          return std::string("song for a target refused: ") + e.what();
        }
        continue;
      }
      Song madeBack;
      if (std::string fault = ReadBack(made, targeted, madeBack); !fault.empty()) return fault;
      if (!(CountNoteOns(made) == CountNoteOns(image))) {
        return "the song for " + std::string(TargetName(target)) + " lost notes or chunks";
      }
    }
  }
  return "";
}

}  // namespace mertovan::fuzz
