#include <array>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string_view>


#include "analysis/load.h"
#include "analysis/listing.h"
#include "analysis/listing_json.h"
#include "analysis/value_meanings.h"
#include "cli/commands.h"
#include "model/midi_bytes.h"
#include "model/song.h"

namespace mertovan::cli {

void PrintUsage(std::ostream& out) {
  out << "Usage:\n"
         "  mertovan-cli list [--view sysex|cc] [--format text|tsv|json] FILE...\n"
         "  mertovan-cli convert [--formal|--plain|--song [--target xg|gm|gs] [--report FILE]]\n"
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
         "         one track per part in place of the SysEx they replace. --target gm or\n"
         "         gs makes the song right for a GM synthesizer (or SoundFont player) or a\n"
         "         GS module, and --report writes what the target could not carry.\n"
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

std::optional<Song> LoadFile(const std::string& path, Session& session, std::ostream& err, Analysis what,
                             std::string* error) {
  auto fail = [&](const std::string& text, const std::string& line) -> std::optional<Song> {
    err << line << "\n";
    if (error) *error = text;
    return std::nullopt;
  };
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return fail("File not Found", "File not Found: " + path);
  Song loaded = LoadSmfFile(path, session, what);
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
  return loaded;
}

namespace {

enum class Format { Text, Tsv, Json };

void PrintTsv(std::ostream& out, const SysExList& list, ViewMode view) {
  for (int c = 1; c <= 7; ++c) out << ColumnHeader(c, view) << (c == 7 ? '\n' : '\t');
  std::string row;
  for (const Tsys& e : list.events) {
    row.clear();
    AppendTsvRow(row, list, e, view);
    out << row;
  }
}

void PrintText(std::ostream& out, const std::string& path, const SysExList& list, ViewMode view) {
  out << path << ": " << list.size() << " SysEx message" << (list.size() == 1 ? "" : "s") << "\n";
  // The grid's columns 1-6, what the value means, and the grid's last column
  // (message bytes or controller messages) last, since it can be long.
  constexpr int kMeaning = 0;
  constexpr std::array<int, 8> kOrder = {1, 2, 3, 4, 5, 6, kMeaning, 7};
  auto cellText = [&](const Tsys& e, int c, const std::string& meaning) {
    return c == kMeaning ? meaning : CellText(list, e, c, view);
  };
  auto headerText = [&](int c) {
    return c == kMeaning ? std::string("Meaning") : std::string(ColumnHeader(c, view));
  };
  std::vector<std::string> meanings;
  meanings.reserve(list.size());
  MeaningContext context;
  for (const Tsys& e : list.events) meanings.push_back(context.Feed(list, e));

  // Columns as wide as their widest text; the last is not padded.
  std::array<size_t, kOrder.size()> width{};
  for (size_t k = 0; k + 1 < kOrder.size(); ++k) {
    width[k] = headerText(kOrder[k]).size();
    for (size_t i = 0; i < list.size(); ++i) {
      width[k] = std::max(width[k], cellText(list.events[i], kOrder[k], meanings[i]).size());
    }
  }
  auto row = [&](auto cell) {
    std::string line;
    for (size_t k = 0; k < kOrder.size(); ++k) {
      const std::string t = cell(kOrder[k]);
      const size_t pad = t.size() < width[k] ? width[k] - t.size() : 0;
      const bool numeric = kOrder[k] >= 1 && kOrder[k] <= 4;
      if (numeric) line.append(pad, ' ');
      line += t;
      if (!numeric) line.append(pad, ' ');
      if (k + 1 < kOrder.size()) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  };
  row(headerText);
  for (size_t i = 0; i < list.size(); ++i) {
    row([&](int c) { return cellText(list.events[i], c, meanings[i]); });
  }
}

}  // namespace

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ViewMode view = ViewMode::SysEx;
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
      if (*v == "sysex") view = ViewMode::SysEx;
      else if (*v == "cc") view = ViewMode::Cc;
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
  Session session;
  JsonListing json(out);
  for (const std::string& path : files) {
    if (!out) break;
    std::string error;
    const std::optional<Song> song = LoadFile(path, session, err, Analysis::ForListing, &error);
    if (!song) {
      status = 1;
      if (format == Format::Json) json.FailedFile(path, error);
      continue;
    }
    switch (format) {
      case Format::Tsv:
        PrintTsv(out, song->sysEx, view);
        break;
      case Format::Text:
        PrintText(out, path, song->sysEx, view);
        break;
      case Format::Json:
        json.Events(path, song->sysEx);
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
