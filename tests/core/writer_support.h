// Helpers for the writer tests: event lists set up field by field, hex texts,
// a recording message service, scratch folders, and a strict reader of the
// files the writer produces (every track chunk framed exactly, no running
// status, data bytes below 80h).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/conversion.h"
#include "model/events.h"
#include "writer/messages.h"
#include "../scratch_dir.h"

namespace mertovan::test {

using ByteVec = std::vector<uint8_t>;

inline std::string Hex(const std::vector<uint8_t>& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : bytes) {
    if (!s.empty()) s += ' ';
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

inline ByteVec FromHex(std::string_view text) {
  ByteVec out;
  std::istringstream in{std::string(text)};
  std::string byte;
  while (in >> byte) out.push_back(uint8_t(std::stoul(byte, nullptr, 16)));
  return out;
}

// Resets every table the writer reads.
inline void ResetTables() {
  ClearEventTables();
  gDrumSetupPartMap = kInitialDrumSetupPartMap;
}

// One record as the analysis would leave it; `messages` are the converted
// (controller, value) pairs, none for an unconverted message.
inline Tsys& AddEvent(uint32_t tick, const ByteVec& afterF0, uint8_t channel,
                      std::initializer_list<std::pair<uint8_t, uint8_t>> messages = {}) {
  Tsys& e = gSysEx.Append(tick, afterF0);
  e.channel = channel;
  int i = 0;
  for (const auto& [number, value] : messages) {
    e.ccNumber[i] = number;
    e.ccValue[i] = value;
    ++i;
  }
  if (i < 4) e.ccNumber[i] = 255;
  return e;
}

// A stand-in for a converted parameter change: the SysEx bytes do not matter
// to the channel tracks.
inline const ByteVec kSomeXg = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7};

class RecordingMessages : public MessageService {
 public:
  struct Shown {
    std::string text;
    MessageKind kind;
    int x, y;
  };
  std::vector<Shown> shown;
  void ShowMessageAt(std::string_view text, MessageKind kind, int x, int y) override {
    shown.push_back({std::string(text), kind, x, y});
  }
};

inline ByteVec ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteVec(std::istreambuf_iterator<char>(in), {});
}
inline void WriteAll(const std::string& path, const ByteVec& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A file as the writer must produce it, taken apart.
struct SmfEvent {
  uint32_t tick;      // absolute
  ByteVec bytes;      // channel message: status and data; SysEx: F0 and what follows;
                      // meta: FF, type, then the data
  bool operator==(const SmfEvent&) const = default;
};
struct ParsedSmf {
  uint16_t format = 0, declaredTracks = 0, division = 0;
  std::vector<std::vector<SmfEvent>> tracks;
};

// Fails the test (and returns false) at the first thing that is not a
// well-formed, exactly framed file.
// `song`: the reading of a song-layout file, which keeps what its source held:
// running status (each event is given with its full status) and F7 events
// (bytes F7 and what follows), and chunks of other kinds (skipped).
inline bool ParseStrict(const ByteVec& f, ParsedSmf& out, bool song = false) {
  size_t p = 0;
  auto need = [&](size_t n) { return p + n <= f.size(); };
  auto be = [&](size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = (v << 8) | f[p++];
    return v;
  };
  if (!need(14) || std::string_view(reinterpret_cast<const char*>(f.data()), 4) != "MThd") {
    ADD_FAILURE() << "no header chunk";
    return false;
  }
  p = 4;
  if (be(4) != 6) {
    ADD_FAILURE() << "header length is not 6";
    return false;
  }
  out.format = uint16_t(be(2));
  out.declaredTracks = uint16_t(be(2));
  out.division = uint16_t(be(2));
  while (p < f.size()) {
    if (song && need(8) && std::string_view(reinterpret_cast<const char*>(f.data() + p), 4) != "MTrk") {
      p += 4;
      p += be(4);
      continue;
    }
    if (!need(8) || std::string_view(reinterpret_cast<const char*>(f.data() + p), 4) != "MTrk") {
      ADD_FAILURE() << "no track chunk at offset " << p;
      return false;
    }
    p += 4;
    const uint32_t length = be(4);
    if (!need(length)) {
      ADD_FAILURE() << "track chunk runs past the end of the file at offset " << p;
      return false;
    }
    const size_t end = p + length;
    auto& track = out.tracks.emplace_back();
    uint64_t tick = 0;
    bool ended = false;
    uint8_t running = 0;
    auto varlen = [&](uint32_t& v) {
      v = 0;
      for (int i = 0; i < 4; ++i) {
        if (p >= end) return false;
        const uint8_t b = f[p++];
        v = (v << 7) | (b & 0x7F);
        if (b < 0x80) return true;
      }
      return false;
    };
    while (p < end) {
      if (ended) {
        ADD_FAILURE() << "event after end of track at offset " << p;
        return false;
      }
      uint32_t delta;
      if (!varlen(delta) || p >= end) {
        ADD_FAILURE() << "bad delta time at offset " << p;
        return false;
      }
      tick += delta;
      // Running status: the byte is the first data byte.
      const bool runningStatus = song && f[p] < 0x80 && running != 0;
      SmfEvent ev{uint32_t(tick), {runningStatus ? running : f[p++]}};
      const uint8_t status = ev.bytes[0];
      if (status >= 0x80 && status < 0xF0) running = status;
      size_t n = 0;
      if (status == 0xFF) {
        if (p >= end) return ADD_FAILURE() << "cut meta event", false;
        ev.bytes.push_back(f[p++]);
        uint32_t len;
        if (!varlen(len)) return ADD_FAILURE() << "bad meta length", false;
        n = len;
      } else if (status == 0xF0 || (song && status == 0xF7)) {
        uint32_t len;
        if (!varlen(len)) return ADD_FAILURE() << "bad SysEx length", false;
        n = len;
      } else if (status >= 0x80 && status < 0xF0) {
        n = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      } else {
        ADD_FAILURE() << "unexpected status " << int(status) << " at offset " << p - 1;
        return false;
      }
      if (p + n > end) return ADD_FAILURE() << "event runs past its track chunk", false;
      ev.bytes.insert(ev.bytes.end(), f.begin() + long(p), f.begin() + long(p + n));
      if (status < 0xF0) {
        for (size_t i = 1; i < ev.bytes.size(); ++i) {
          if (ev.bytes[i] >= 0x80) return ADD_FAILURE() << "data byte with bit 7 set", false;
        }
      }
      p += n;
      if (status == 0xFF && ev.bytes[1] == 0x2F) ended = true;
      track.push_back(std::move(ev));
    }
    if (!ended) return ADD_FAILURE() << "track without end-of-track event", false;
  }
  if (out.declaredTracks != out.tracks.size()) {
    ADD_FAILURE() << "header declares " << out.declaredTracks << " tracks, file holds " << out.tracks.size();
    return false;
  }
  return true;
}

}  // namespace mertovan::test
