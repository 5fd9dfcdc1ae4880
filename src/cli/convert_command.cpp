#include <ostream>
#include <string_view>

#include "cli/commands.h"
#include "writer/outputcc_logic.h"
#include "writer/writer.h"

namespace mertovan::cli {

namespace {

// The program's message boxes as lines: information on standard output (the
// success line with the count of converted messages), warnings on standard
// error, each with the file it concerns.
class PrintedMessages : public MessageService {
 public:
  PrintedMessages(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void SetFile(const std::string& file) {
    file_ = file;
    warned_ = false;
  }
  bool Warned() const { return warned_; }
  void ShowMessageAt(std::string_view text, MessageKind kind, int, int) override {
    if (kind == MessageKind::Information) {
      information_ = text;  // printed with what the conversion did
      return;
    }
    err_ << text << ": " << file_ << "\n";
    warned_ = true;
  }
  void Converted(const ConvertReport& report, Target target) {
    out_ << information_ << ": " << file_ << " " << ConvertedCountText(report) << "\n";
    const std::string flattened = FlattenedSongText(report);
    if (!flattened.empty()) err_ << "warning: " << file_ << ": " << flattened << "\n";
    if (target != Target::Xg) {
      err_ << LostSettings(report) << " settings could not be carried to " << TargetName(target)
           << " (see --report): " << file_ << "\n";
    }
  }

 private:
  std::ostream& out_;
  std::ostream& err_;
  std::string file_;
  std::string information_;
  bool warned_ = false;
};

}  // namespace

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const ReplaceWatch& watch) {
  // The desktop program's first-start settings: formal, unconvertible included.
  ConvertOptions options;
  std::string output;
  bool haveOutput = false;
  bool classicGiven = false;
  bool songGiven = false;
  bool targetGiven = false;
  std::string reportFile;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--formal" || a == "--plain") {
      options.layout = a == "--formal" ? Layout::Formal : Layout::Plain;
      classicGiven = true;
    } else if (a == "--song") {
      options.layout = Layout::Song;
      songGiven = true;
    } else if (a == "--include-unconvertible") {
      options.includeUnconvertible = true;
    } else if (a == "--drop-unconvertible") {
      options.includeUnconvertible = false;
    } else if (a == "--target" || a == "--report") {
      if (i + 1 >= args.size()) {
        err << "mertovan-cli convert: " << a << " needs a value\n";
        return 2;
      }
      const std::string& v = args[++i];
      if (a == "--report") {
        reportFile = v;
      } else if (v == "xg" || v == "gm" || v == "gs") {
        options.target = v == "gm" ? Target::Gm : v == "gs" ? Target::Gs : Target::Xg;
        targetGiven = true;
      } else {
        err << "mertovan-cli convert: unknown target '" << v << "' (xg, gm or gs)\n";
        return 2;
      }
    } else if (a == "-o" || a == "--output") {
      if (i + 1 >= args.size()) {
        err << "mertovan-cli convert: " << a << " needs a file name\n";
        return 2;
      }
      if (haveOutput) {
        err << "mertovan-cli convert: " << a << " given twice\n";
        return 2;
      }
      output = args[++i];
      haveOutput = true;
      if (output.empty()) {
        err << "mertovan-cli convert: " << a << " needs a file name\n";
        return 2;
      }
    } else if (auto status = TakeCommonArgument("convert", args, i, files, out, err)) {
      if (*status < 0) break;
      return *status;
    }
  }
  if (songGiven && classicGiven) {
    // --song names a layout of its own: it cannot be combined with another.
    err << "mertovan-cli convert: --song keeps the song and takes no --formal or --plain\n";
    return 2;
  }
  if ((targetGiven || !reportFile.empty()) && !songGiven) {
    // A target makes the whole song right for a synthesizer: only the song
    // layout has one.
    err << "mertovan-cli convert: --target and --report go with --song\n";
    return 2;
  }
  if (files.empty()) return NoFiles("convert", err);
  if (!reportFile.empty() && files.size() > 1) {
    err << "mertovan-cli convert: --report names the report of one FILE only (" << files.size() << " given)\n";
    return 2;
  }
  if (haveOutput && files.size() > 1) {
    err << "mertovan-cli convert: -o names the output of one FILE only (" << files.size()
        << " given)\n";
    return 2;
  }

  PrintedMessages messages(out, err);
  int status = 0;
  // The drum setup part map is not reset between files: as in one run of the
  // desktop program, a file without part mode messages keeps the map that the
  // files before it left.
  Session session;
  for (const std::string& path : files) {
    const std::optional<Song> song = LoadFile(path, session, err, Analysis::ForConverting);
    if (!song) {
      status = 1;
      continue;
    }
    if (song->sysEx.size() == 0) {
      err << "No data to convert: " << path << "\n";
      status = 1;
      continue;
    }
    const std::string target = haveOutput ? output : DefaultOutputName(path);
    messages.SetFile(target);
    try {
      if (const auto report = WriteConvertedFile(*song, target, options, messages, 0, 0, watch)) {
        messages.Converted(*report, options.target);
        if (!reportFile.empty()) {
          const std::string tsv = TargetReportTsv(*song, report->target);
          ReplaceFile(reportFile, std::span(reinterpret_cast<const uint8_t*>(tsv.data()), tsv.size()), "report");
        }
      }
      if (messages.Warned()) status = 1;
    } catch (const std::exception& e) {
      err << e.what() << "\n";
      status = 1;
    }
    out.flush();
  }
  return status;
}

}  // namespace mertovan::cli
