#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string_view>

#include <nlohmann/json.hpp>

#include "analysis/conversion.h"
#include "analysis/load.h"
#include "analysis/listing.h"
#include "analysis/value_meanings.h"
#include "cli/commands.h"
#include "model/events.h"

namespace mertovan::cli {

void PrintUsage(std::ostream& out) {
  out << "Usage:\n"
         "  mertovan-cli list [--view sysex|cc] [--format text|tsv|json] FILE...\n"
         "  mertovan-cli convert [--formal|--plain|--song]\n"
         "                       [--include-unconvertible|--drop-unconvertible] [-o OUT] FILE...\n"
         "  mertovan-cli --help | --version\n"
         "\n"
         "list     prints every SysEx message of each Standard MIDI File: bar, beat, tick,\n"
         "         part, XG parameter, value, and the raw bytes (--view sysex, the default)\n"
         "         or the controller messages that replace them (--view cc).\n"
         "convert  writes each file's XG parameter changes as Control Change, NRPN, RPN and\n"
         "         Program Change messages into a new file (default name: NAME_cc.mid).\n"
         "         --formal writes one setup block per part, --plain each change at its\n"
         "         time; both hold the setup alone, at 120 bpm in 4/4. --song keeps the\n"
         "         whole song (notes, tempo, tracks) and puts the converted messages on\n"
         "         one track per part in place of the SysEx they replace.\n"
         "         Defaults: --formal --include-unconvertible.\n"
         "Files are taken in the order given, as successive loads in one run of the program.\n";
}

std::optional<int> TakeCommonArgument(std::string_view command, const std::vector<std::string>& args,
                                      size_t& i, std::vector<std::string>& files, std::ostream& out,
                                      std::ostream& err) {
  const std::string& a = args[i];
  if (a == "--help" || a == "-h") {
    PrintUsage(out);
    return 0;
  }
  if (a == "--") {
    files.insert(files.end(), args.begin() + long(i) + 1, args.end());
    return -1;
  }
  if (a.size() > 1 && a[0] == '-') {
    err << "mertovan-cli " << command << ": unknown option '" << a << "'\n\n";
    PrintUsage(err);
    return 2;
  }
  files.push_back(a);
  return std::nullopt;
}

int NoFiles(std::string_view command, std::ostream& err) {
  err << "mertovan-cli " << command << ": no FILE given\n\n";
  PrintUsage(err);
  return 2;
}

bool LoadFile(const std::string& path, std::ostream& err, Analysis what, std::string* error) {
  auto fail = [&](const std::string& text, const std::string& line) {
    err << line << "\n";
    if (error) *error = text;
    return false;
  };
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return fail("File not Found", "File not Found: " + path);
  const LoadResult loaded = LoadSmfFile(path, what);
  switch (loaded.status) {
    case LoadStatus::Whole:
      break;
    case LoadStatus::StoppedEarly:
      err << "warning: " << path << ": reading stopped early at data that is not a MIDI event or chunk; "
          << (what == Analysis::ForConverting ? "converting" : "listing") << " what was read\n";
      break;
    case LoadStatus::Failed:
      return fail(loaded.error, loaded.error);
  }
  return true;
}

namespace {

enum class Format { Text, Tsv, Json };

void PrintTsv(std::ostream& out, uint8_t viewMode) {
  for (int c = 1; c <= 7; ++c) out << ColumnHeader(c, viewMode) << (c == 7 ? '\n' : '\t');
  // Rows are gathered into blocks of about 64 KiB before they are written.
  constexpr size_t kBlock = size_t(1) << 16;
  std::string block;
  block.reserve(kBlock + 1024);
  for (const Tsys& e : gSysEx.events) {
    AppendTsvRow(block, gSysEx, e, viewMode);
    if (block.size() >= kBlock) {
      out.write(block.data(), std::streamsize(block.size()));
      block.clear();
    }
  }
  out.write(block.data(), std::streamsize(block.size()));
}

void PrintText(std::ostream& out, const std::string& path, uint8_t viewMode) {
  out << path << ": " << gSysEx.size() << " SysEx message" << (gSysEx.size() == 1 ? "" : "s") << "\n";
  constexpr int kColumns = 8;  // the grid's seven, then what the value means
  auto cellText = [&](const Tsys& e, int c, const std::string& meaning) {
    return c == kColumns ? meaning : CellText(gSysEx, e, c, viewMode);
  };
  auto headerText = [&](int c) {
    return c == kColumns ? std::string("Meaning") : std::string(ColumnHeader(c, viewMode));
  };
  std::vector<std::string> meanings;
  meanings.reserve(gSysEx.size());
  MeaningContext context;
  for (const Tsys& e : gSysEx.events) meanings.push_back(context.Feed(gSysEx, e));

  // Columns as wide as their widest text.
  size_t width[kColumns + 1] = {};
  for (int c = 1; c < kColumns; ++c) width[c] = headerText(c).size();
  for (size_t i = 0; i < gSysEx.size(); ++i) {
    for (int c = 1; c < kColumns; ++c) {
      width[c] = std::max(width[c], cellText(gSysEx.events[i], c, meanings[i]).size());
    }
  }
  auto row = [&](auto cell) {
    std::string line;
    for (int c = 1; c <= kColumns; ++c) {
      const std::string t = cell(c);
      const size_t pad = c < kColumns && t.size() < width[c] ? width[c] - t.size() : 0;
      const bool numeric = c <= 4;
      if (numeric) line.append(pad, ' ');
      line += t;
      if (!numeric) line.append(pad, ' ');
      if (c < kColumns) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  };
  row(headerText);
  for (size_t i = 0; i < gSysEx.size(); ++i) {
    row([&](int c) { return cellText(gSysEx.events[i], c, meanings[i]); });
  }
}

// Writes the JSON listing as it goes, one event at a time, so that memory
// stays flat however many events and files there are. The layout is that of
// nlohmann's dump with an indent of 2 (keys in alphabetical order); strings
// are escaped by the library, and names that are not UTF-8 get U+FFFD.
class JsonListing {
 public:
  explicit JsonListing(std::ostream& out) : out_(out) {}

  // A file that could not be read: its error and no events.
  void FailedFile(const std::string& path, const std::string& error) {
    BeginFile();
    out_ << "    \"error\": " << Quoted(error) << ",\n    \"events\": [],\n";
    EndFile(path);
  }
  void Events(const std::string& path) {
    BeginFile();
    if (gSysEx.size() == 0) {
      out_ << "    \"events\": [],\n";
      EndFile(path);
      return;
    }
    out_ << "    \"events\": [\n";
    MeaningContext context;
    std::string s;
    bool first = true;
    for (const Tsys& e : gSysEx.events) {
      s.clear();
      s += first ? "      {\n" : ",\n      {\n";
      first = false;
      Number(s, "bar", e.bar);
      Number(s, "beat", e.beat);
      Number(s, "beatTick", e.beatTick);
      Key(s, "bytes");
      Hex(s, gSysEx.Raw(e));
      s += ",\n";
      Key(s, "cc");
      if (e.ccNumber[0] == 255) {
        s += "[],\n";
      } else {
        s += "[\n";
        for (int i = 0; i < 4 && e.ccNumber[i] != 255; ++i) {
          if (i > 0) s += ",\n";
          s += "          [\n            ";
          AppendNumber(s, e.ccNumber[i]);
          s += ",\n            ";
          AppendNumber(s, e.ccValue[i]);
          s += "\n          ]";
        }
        s += "\n        ],\n";
      }
      Key(s, "channel");
      if (e.channel == 255) s += "null";
      else AppendNumber(s, e.channel);
      s += ",\n";
      Text(s, "eventName", e.eventName.view());
      Number(s, "length", e.length);
      Text(s, "meaning", context.Feed(gSysEx, e));
      Number(s, "tick", e.tick);
      Key(s, "valueText");
      AppendQuoted(s, e.valueText.view());
      s += "\n      }";
      out_ << s;
    }
    out_ << "\n    ],\n";
    EndFile(path);
  }
  void Finish() { out_ << (files_ == 0 ? "[]\n" : "\n]\n"); }

 private:
  void BeginFile() { out_ << (files_++ == 0 ? "[\n  {\n" : ",\n  {\n"); }
  void EndFile(const std::string& path) { out_ << "    \"file\": " << Quoted(path) << "\n  }"; }
  static void Key(std::string& s, std::string_view key) {
    s += "        \"";
    s += key;
    s += "\": ";
  }
  static void Number(std::string& s, std::string_view key, uint64_t value) {
    Key(s, key);
    AppendNumber(s, value);
    s += ",\n";
  }
  static void Text(std::string& s, std::string_view key, std::string_view value) {
    Key(s, key);
    AppendQuoted(s, value);
    s += ",\n";
  }
  static void Hex(std::string& s, std::span<const uint8_t> bytes) {
    s += "\"F0";
    AppendHexBytes(s, bytes);
    s += '"';
  }
  static void AppendQuoted(std::string& s, std::string_view text) {
    // Printable ASCII without quote or backslash is its own JSON text; the
    // rest goes through the library.
    for (char c : text) {
      if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
        s += nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return;
      }
    }
    s += '"';
    s += text;
    s += '"';
  }
  static std::string Quoted(std::string_view text) {
    std::string s;
    AppendQuoted(s, text);
    return s;
  }

  std::ostream& out_;
  size_t files_ = 0;
};

}  // namespace

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  uint8_t viewMode = 1;
  Format format = Format::Text;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string_view option) -> const std::string* {
      if (i + 1 >= args.size()) {
        err << "mertovan-cli list: " << option << " needs a value\n";
        return nullptr;
      }
      return &args[++i];
    };
    if (a == "--view") {
      const std::string* v = value(a);
      if (!v) return 2;
      if (*v == "sysex") viewMode = 1;
      else if (*v == "cc") viewMode = 0;
      else {
        err << "mertovan-cli list: unknown view '" << *v << "' (sysex or cc)\n";
        return 2;
      }
    } else if (a == "--format") {
      const std::string* v = value(a);
      if (!v) return 2;
      if (*v == "text") format = Format::Text;
      else if (*v == "tsv") format = Format::Tsv;
      else if (*v == "json") format = Format::Json;
      else {
        err << "mertovan-cli list: unknown format '" << *v << "' (text, tsv or json)\n";
        return 2;
      }
    } else if (auto status = TakeCommonArgument("list", args, i, files, out, err)) {
      if (*status < 0) break;
      return *status;
    }
  }
  if (files.empty()) return NoFiles("list", err);

  int status = 0;
  JsonListing json(out);
  for (const std::string& path : files) {
    if (!out) break;
    std::string error;
    if (!LoadFile(path, err, Analysis::ForListing, &error)) {
      status = 1;
      if (format == Format::Json) json.FailedFile(path, error);
      continue;
    }
    switch (format) {
      case Format::Tsv:
        PrintTsv(out, viewMode);
        break;
      case Format::Text:
        PrintText(out, path, viewMode);
        break;
      case Format::Json:
        json.Events(path);
        break;
    }
  }
  if (format == Format::Json) json.Finish();
  out.flush();
  if (!out) {
    // A full disk or the file size limit: the listing is incomplete.
    err << "mertovan-cli list: cannot write the listing to standard output\n";
    return 1;
  }
  return status;
}

}  // namespace mertovan::cli
