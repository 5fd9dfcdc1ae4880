#include <ostream>
#include <string_view>

#include "cli/commands.h"
#include "model/events.h"
#include "model/worker.h"
#include "writer/outputcc_logic.h"
#include "writer/writer.h"

namespace mertovan::cli {

namespace {

// The program's message boxes as lines: information on standard output,
// warnings on standard error, each with the file it concerns.
class PrintedMessages : public MessageService {
 public:
  PrintedMessages(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void SetFile(const std::string& file) {
    file_ = file;
    warned_ = false;
  }
  bool Warned() const { return warned_; }
  void ShowMessageAt(std::string_view text, MessageKind kind, int, int) override {
    std::ostream& to = kind == MessageKind::Warning ? err_ : out_;
    to << text << ": " << file_ << "\n";
    if (kind == MessageKind::Warning) warned_ = true;
  }

 private:
  std::ostream& out_;
  std::ostream& err_;
  std::string file_;
  bool warned_ = false;
};

}  // namespace

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // The desktop program's first-start settings.
  ConvertOptions options;
  options.formalOutput = 1;
  options.includeUnconvertible = 1;
  std::string output;
  bool haveOutput = false;
  bool layoutGiven = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--formal") {
      options.formalOutput = 1;
      layoutGiven = true;
    } else if (a == "--plain") {
      options.formalOutput = 0;
      layoutGiven = true;
    } else if (a == "--song") {
      options.songMode = 1;
    } else if (a == "--include-unconvertible") {
      options.includeUnconvertible = 1;
    } else if (a == "--drop-unconvertible") {
      options.includeUnconvertible = 0;
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
  if (options.songMode && layoutGiven) {
    err << "mertovan-cli convert: --song keeps the song and takes no --formal or --plain\n";
    return 2;
  }
  if (files.empty()) return NoFiles("convert", err);
  if (haveOutput && files.size() > 1) {
    err << "mertovan-cli convert: -o names the output of one FILE only (" << files.size()
        << " given)\n";
    return 2;
  }

  PrintedMessages messages(out, err);
  int status = 0;
  for (const std::string& path : files) {
    // The song layout goes on with the thread that analysed the file.
    if (options.songMode) LookOutForNextTask();
    // The drum setup part map is not reset between files: as in one run of
    // the desktop program, a file without part mode messages keeps the map
    // that the files before it left.
    if (!LoadFile(path, err, Analysis::ForConverting)) {
      status = 1;
      continue;
    }
    if (gSysEx.size() == 0) {
      err << "No data to convert: " << path << "\n";
      status = 1;
      continue;
    }
    const std::string target = haveOutput ? output : DefaultOutputName(path);
    messages.SetFile(target);
    try {
      WriteConvertedFile(target, options, messages, 0, 0);
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
