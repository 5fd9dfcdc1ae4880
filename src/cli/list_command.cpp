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

bool LoadFile(const std::string& path, std::ostream& err, std::string_view goingOn) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    err << "File not Found: " << path << "\n";
    return false;
  }
  const LoadResult loaded = LoadSmfFile(path);
  switch (loaded.status) {
    case LoadStatus::Whole:
      break;
    case LoadStatus::StoppedEarly:
      err << "warning: " << path << ": reading stopped early at data that is not a MIDI event or chunk; "
          << goingOn << " what was read\n";
      break;
    case LoadStatus::Failed:
      err << loaded.error << "\n";
      return false;
  }
  return true;
}

namespace {

enum class Format { Text, Tsv, Json };

std::string HexBytes(std::span<const uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s = "F0";
  s.reserve(3 + bytes.size() * 3);
  for (uint8_t b : bytes) {
    s += ' ';
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

void PrintTsv(std::ostream& out, uint8_t viewMode) {
  for (int c = 1; c <= 7; ++c) out << ColumnHeader(c, viewMode) << (c == 7 ? '\n' : '\t');
  std::string line;
  for (const Tsys& e : gSysEx.events) {
    line.clear();
    for (int c = 1; c <= 7; ++c) {
      line += CellText(gSysEx, e, c, viewMode);
      line += c == 7 ? '\n' : '\t';
    }
    out << line;
  }
}

void PrintText(std::ostream& out, const std::string& path, uint8_t viewMode) {
  out << path << ": " << gSysEx.size() << " SysEx message" << (gSysEx.size() == 1 ? "" : "s") << "\n";
  // Columns as wide as their widest text.
  size_t width[8] = {};
  for (int c = 1; c <= 6; ++c) width[c] = ColumnHeader(c, viewMode).size();
  for (const Tsys& e : gSysEx.events) {
    for (int c = 1; c <= 6; ++c) width[c] = std::max(width[c], CellText(gSysEx, e, c, viewMode).size());
  }
  auto row = [&](auto cell) {
    std::string line;
    for (int c = 1; c <= 7; ++c) {
      std::string t = cell(c);
      const bool numeric = c <= 4;
      if (c < 7 && t.size() < width[c] && numeric) line.append(width[c] - t.size(), ' ');
      line += t;
      if (c < 7 && t.size() < width[c] && !numeric) line.append(width[c] - t.size(), ' ');
      if (c < 7) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  };
  row([&](int c) { return std::string(ColumnHeader(c, viewMode)); });
  for (const Tsys& e : gSysEx.events) row([&](int c) { return CellText(gSysEx, e, c, viewMode); });
}

nlohmann::json EventsJson() {
  nlohmann::json events = nlohmann::json::array();
  for (const Tsys& e : gSysEx.events) {
    nlohmann::json cc = nlohmann::json::array();
    for (int i = 0; i < 4 && e.ccNumber[i] != 255; ++i) cc.push_back({e.ccNumber[i], e.ccValue[i]});
    events.push_back({
        {"tick", e.tick},
        {"bar", e.bar},
        {"beat", e.beat},
        {"beatTick", e.beatTick},
        {"channel", e.channel == 255 ? nlohmann::json(nullptr) : nlohmann::json(e.channel)},
        {"length", e.length},
        {"bytes", HexBytes(gSysEx.Raw(e))},
        {"cc", cc},
        {"eventName", e.eventName.view()},
        {"valueText", e.valueText.view()},
    });
  }
  return events;
}

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
  nlohmann::json all = nlohmann::json::array();
  for (const std::string& path : files) {
    if (!LoadFile(path, err)) {
      status = 1;
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
        all.push_back({{"file", path}, {"events", EventsJson()}});
        break;
    }
  }
  // File names need not be UTF-8; JSON text must be.
  if (format == Format::Json) out << all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  out.flush();
  return status;
}

}  // namespace mertovan::cli
