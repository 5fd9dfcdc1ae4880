// A strict reader of the files the writer produces: every track chunk framed
// exactly, no running status, data bytes below 80h. It fails the running test
// at the first thing that is not so.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace mertovan::test {

// A file as the writer must produce it, taken apart.
struct SmfEvent {
  uint32_t tick;               // absolute
  std::vector<uint8_t> bytes;  // channel message: status and data; SysEx: F0 and what follows;
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
inline bool ParseStrict(const std::vector<uint8_t>& f, ParsedSmf& out, bool song = false) {
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
