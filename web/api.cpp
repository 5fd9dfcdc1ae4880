// The web page's entry into the program: one song held at a time, loaded
// from bytes in one session for the page's run, as the desktop program loads
// file after file; its listing row by row, its JSON rows as the command-line
// companion prints them, its conversion, and the messages that the MIDI
// output plays. Built with emscripten's embind; the page's worker calls it.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/listing.h"
#include "analysis/listing_json.h"
#include "analysis/load.h"
#include "analysis/value_meanings.h"
#include "app/shell/midi_output.h"
#include "app/shell/send_all.h"
#include "model/midi_bytes.h"
#include "model/song.h"
#include "version.h"
#include "writer/outputcc_logic.h"
#include "writer/target.h"
#include "writer/writer.h"

using emscripten::val;

namespace mertovan::web {

namespace {

// The text a filter looks in, lower-cased, one entry per row: the event
// name, value and meaning, and the last column of each view.
struct SearchText {
  std::string text;
  std::vector<uint32_t> end;  // one past each row's text
  void Add(std::string_view row) {
    for (char c : row) text += char(std::tolower(static_cast<unsigned char>(c)));
    end.push_back(uint32_t(text.size()));
  }
  std::string_view Row(size_t i) const {
    const uint32_t begin = i == 0 ? 0 : end[i - 1];
    return std::string_view(text).substr(begin, end[i] - begin);
  }
  void Clear() {
    text.clear();
    end.clear();
  }
};

struct Page {
  Session session;  // one for the page's run, like one run of the desktop program
  Song song;
  std::string name;
  ListMeanings meanings;
  // The filter's texts, built a chunk at a time after each load.
  MeaningContext indexContext;
  SearchText common, sysexColumn, ccColumn;
};

Page& The() {
  static Page page;
  return page;
}

ViewMode ViewOf(int view) { return view == 0 ? ViewMode::Cc : ViewMode::SysEx; }

val Bytes(std::span<const uint8_t> bytes) {
  // A copy that belongs to JavaScript: the memory view dies with the next
  // growth of the module's memory.
  return val::global("Uint8Array").new_(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

val Words(const std::vector<uint32_t>& words) {
  return val::global("Uint32Array").new_(emscripten::typed_memory_view(words.size(), words.data()));
}

// Wire messages as the page sends them: their bytes one after another, where
// each ends, and the pause after each in microseconds.
val Messages(const std::vector<WireMessage>& messages) {
  std::vector<uint8_t> data;
  std::vector<uint32_t> ends, pauses;
  for (const WireMessage& m : messages) {
    data.insert(data.end(), m.begin(), m.end());
    ends.push_back(uint32_t(data.size()));
    pauses.push_back(uint32_t(PauseAfter(m).count()));
  }
  val out = val::object();
  out.set("data", Bytes(data));
  out.set("ends", Words(ends));
  out.set("pauses", Words(pauses));
  return out;
}

std::string_view FileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::Rmid:
      return "rmid";
    case FileKind::SysEx:
      return "syx";
    case FileKind::Smf:
      break;
  }
  return "smf";
}

}  // namespace

std::string Version() { return kVersionText; }

// Loads a file's bytes (a Standard MIDI File, a RIFF MIDI file or a SysEx
// file) in the page's session. A file that cannot be read leaves the song
// that was there before.
val Load(const std::string& bytes, const std::string& name) {
  Page& page = The();
  val out = val::object();
  Song song = LoadSmfBytes(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), name,
                           page.session, Analysis::ForListing);
  if (song.status == LoadStatus::Failed) {
    out.set("ok", false);
    out.set("error", song.error);
    return out;
  }
  page.song = std::move(song);
  page.name = name;
  page.meanings.Clear();
  page.indexContext = MeaningContext{};
  page.common.Clear();
  page.sysexColumn.Clear();
  page.ccColumn.Clear();
  out.set("ok", true);
  out.set("rows", double(page.song.sysEx.size()));
  out.set("kind", std::string(FileKindName(page.song.source.kind)));
  out.set("stoppedEarly", page.song.status == LoadStatus::StoppedEarly);
  return out;
}

size_t RowCount() { return The().song.sysEx.size(); }

// Builds the filter's texts for up to `count` more rows; returns how many
// rows have them now.
size_t IndexStep(size_t count) {
  Page& page = The();
  const SysExList& list = page.song.sysEx;
  std::string row;
  for (size_t i = page.common.end.size(); i < list.size() && count > 0; ++i, --count) {
    const Tsys& e = list.events[i];
    row.clear();
    AppendCellText(row, list, e, 5, ViewMode::SysEx);
    row += '\t';
    AppendCellText(row, list, e, 6, ViewMode::SysEx);
    row += '\t';
    row += page.indexContext.Feed(list, e);
    page.common.Add(row);
    page.sysexColumn.Add(CellText(list, e, 7, ViewMode::SysEx));
    page.ccColumn.Add(CellText(list, e, 7, ViewMode::Cc));
  }
  return page.common.end.size();
}

// The rows whose part is `part` (0-63; -1 the rows of no part; -2 any) and
// whose event, value, meaning or last column in `view` holds `text` in any
// case, as row indices.
val Filter(int view, int part, const std::string& text) {
  Page& page = The();
  const SysExList& list = page.song.sysEx;
  IndexStep(list.size());
  std::string needle;
  for (char c : text) needle += char(std::tolower(static_cast<unsigned char>(c)));
  const SearchText& column = ViewOf(view) == ViewMode::SysEx ? page.sysexColumn : page.ccColumn;
  std::vector<uint32_t> rows;
  for (size_t i = 0; i < list.size(); ++i) {
    const uint8_t p = list.events[i].part;
    if (part == -1 ? p != kNone : part >= 0 && p != part) continue;
    if (!needle.empty() && page.common.Row(i).find(needle) == std::string_view::npos &&
        column.Row(i).find(needle) == std::string_view::npos)
      continue;
    rows.push_back(uint32_t(i));
  }
  return Words(rows);
}

// The parts that rows address, in order (0-63).
val Parts() {
  std::vector<bool> seen(64, false);
  for (const Tsys& e : The().song.sysEx.events)
    if (e.part < 64) seen[e.part] = true;
  std::vector<uint32_t> parts;
  for (uint32_t p = 0; p < 64; ++p)
    if (seen[p]) parts.push_back(p);
  return Words(parts);
}

// The listed rows `indices` as the grid shows them in `view`: bar, meter,
// tick, part, event, value, last column, meaning, and whether it converts.
val Rows(const val& indices, int view) {
  Page& page = The();
  const SysExList& list = page.song.sysEx;
  const std::vector<uint32_t> wanted = emscripten::convertJSArrayToNumberVector<uint32_t>(indices);
  val rows = val::array();
  unsigned n = 0;
  for (uint32_t i : wanted) {
    if (i >= list.size()) continue;
    const Tsys& e = list.events[i];
    val row = val::array();
    for (int c = 1; c <= 7; ++c) row.set(c - 1, CellText(list, e, c, ViewOf(view)));
    row.set(7, page.meanings.Meaning(list, i));
    row.set(8, e.ccNumber[0] != kNone);
    row.set(9, i);
    rows.set(n++, row);
  }
  return rows;
}

// The JSON objects of rows first .. first + count - 1, each as
// `mertovan-cli list --format json` prints it in a file's "events".
val RowsJson(size_t first, size_t count) {
  Page& page = The();
  const SysExList& list = page.song.sysEx;
  val rows = val::array();
  unsigned n = 0;
  for (size_t i = first; i < list.size() && i < first + count; ++i)
    rows.set(n++, EventJsonText(list, list.events[i], page.meanings.Meaning(list, i)));
  return rows;
}

// Converts the held song: the file's bytes, or the error, and what the
// conversion did.
val Convert(int layout, bool includeUnconvertible, int target) {
  Page& page = The();
  val out = val::object();
  if (page.song.sysEx.size() == 0) {
    out.set("ok", false);
    out.set("error", std::string("No data to convert"));
    return out;
  }
  ConvertOptions options;
  options.layout = layout == 1 ? Layout::Plain : layout == 2 ? Layout::Song : Layout::Formal;
  options.includeUnconvertible = includeUnconvertible;
  options.target = target == 1 ? Target::Gm : target == 2 ? Target::Gs : Target::Xg;
  ConvertReport report;
  std::vector<uint8_t> image;
  try {
    image = BuildFileImage(page.song, options, &report);
  } catch (const std::bad_alloc&) {
    out.set("ok", false);
    out.set("error", "Not enough memory to convert: " + page.name);
    return out;
  } catch (const std::exception& e) {
    out.set("ok", false);
    out.set("error", std::string(e.what()));
    return out;
  }
  out.set("ok", true);
  out.set("bytes", Bytes(image));
  out.set("name", DefaultOutputName(page.name));
  out.set("successText", std::string(kConvertSuccessfulText));
  out.set("converted", double(report.converted));
  out.set("total", double(report.total));
  out.set("countText", ConvertedCountText(report));
  out.set("flattenedText", FlattenedSongText(report));
  out.set("targetName", std::string(TargetName(options.target)));
  out.set("settings", double(report.target.size()));
  out.set("lost", double(LostSettings(report)));
  out.set("reportTsv", TargetReportTsv(page.song, report.target));
  std::vector<uint8_t> lost;
  for (const TargetReportRow& row : report.target) lost.push_back(row.lost ? 1 : 0);
  out.set("reportLost", Bytes(lost));
  return out;
}

std::string OutputName(const std::string& loaded) { return DefaultOutputName(loaded); }

// What sending row `index` plays: its SysEx message in the SysEx view, its
// channel messages in the CC view; a message without an equivalent goes out
// as it is in both views, as it would stay in a converted file.
val RowMessages(size_t index, int view) {
  const SysExList& list = The().song.sysEx;
  std::vector<WireMessage> messages;
  if (index < list.size()) {
    const Tsys& e = list.events[index];
    if (ViewOf(view) == ViewMode::SysEx || e.ccNumber[0] == kNone) {
      WireMessage sysex = SysExMessageOf(list, e);
      if (!sysex.empty()) messages.push_back(std::move(sysex));
    } else {
      for (uint32_t packed : ShortMessagesOf(e)) messages.push_back(ShortMessageBytes(packed));
    }
  }
  return Messages(messages);
}

// Every row's messages in list order, as "Send all" plays them.
val AllMessages(int view) { return Messages(SendAllMessages(The().song.sysEx, ViewOf(view))); }

// What a newly chosen output gets first: all notes off and sustain off on
// every channel.
val ResetOutputMessages() {
  std::vector<WireMessage> messages;
  for (uint32_t packed : ResetMessages()) messages.push_back(ShortMessageBytes(packed));
  return Messages(messages);
}

EMSCRIPTEN_BINDINGS(mertovan) {
  emscripten::function("version", &Version);
  emscripten::function("load", &Load);
  emscripten::function("rowCount", &RowCount);
  emscripten::function("indexStep", &IndexStep);
  emscripten::function("filter", &Filter);
  emscripten::function("parts", &Parts);
  emscripten::function("rows", &Rows);
  emscripten::function("rowsJson", &RowsJson);
  emscripten::function("convert", &Convert);
  emscripten::function("outputName", &OutputName);
  emscripten::function("rowMessages", &RowMessages);
  emscripten::function("allMessages", &AllMessages);
  emscripten::function("resetMessages", &ResetOutputMessages);
}

}  // namespace mertovan::web
