// mertovan-cli: the listing and the conversion of the desktop program, for
// scripts and the command line.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "model/file_io.h"

namespace {

// Ctrl+C, a kill or a closed terminal while a file is being replaced: the
// half-written temporary file goes, the earlier file stays, and the program
// then ends by the signal as it would have without this handler.
extern "C" void EndOnSignal(int sig) {
  mertovan::RemovePendingTempFile();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void InstallSignalHandlers() {
  // Beyond the file size limit a write fails with an error like a full disk,
  // which is reported and cleaned up, instead of killing the program.
  ::signal(SIGXFSZ, SIG_IGN);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = EndOnSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction old {};
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

// For the tests of the above: with MERTOVAN_CLI_TEST_HOLD_TEMP set, a
// replacement stops once its temporary file is complete, says so on standard
// error and waits (at most a minute) so that a signal can reach it there.
extern "C" void HoldTempFile(const char* path) {
  std::cerr << "holding " << path << std::endl;
  for (int i = 0; i < 600; ++i) ::usleep(100000);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mertovan::cli;
  std::ios::sync_with_stdio(false);
  InstallSignalHandlers();
  if (std::getenv("MERTOVAN_CLI_TEST_HOLD_TEMP")) mertovan::SetTempFileHook(HoldTempFile);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(std::cerr);
    return 2;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(std::cout);
    return 0;
  }
  if (command == "--version") {
    std::cout << kVersionText << "\n";
    return 0;
  }
  if (command == "list") return RunList(args, std::cout, std::cerr);
  if (command == "convert") return RunConvert(args, std::cout, std::cerr);
  std::cerr << "mertovan-cli: unknown command '" << command << "'\n\n";
  PrintUsage(std::cerr);
  return 2;
}
