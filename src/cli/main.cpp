// mertovan-cli: the listing and the conversion of the desktop program, for
// scripts and the command line.
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "model/file_io.h"

namespace {

// The temporary file of the replacement under way, for the signal handler.
// Written only while the ending signals are held off (model/file_io.h), so the
// handler never sees half a path.
char gPendingPath[PATH_MAX];
volatile sig_atomic_t gPendingSet = 0;

void TempFileCreated(const char* path) {
  if (std::strlen(path) >= sizeof gPendingPath) return;  // such a path cannot be created anyway
  std::memcpy(gPendingPath, path, std::strlen(path) + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gPendingSet = 1;
}

void TempFileGone() {
  gPendingSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Ctrl+C, a kill or a closed terminal while a file is being replaced: the
// half-written temporary file goes, the earlier file stays, and the program
// then ends by the signal as it would have without this handler.
extern "C" void EndOnSignal(int sig) {
  if (gPendingSet) ::unlink(gPendingPath);
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
  mertovan::ReplaceWatch watch{TempFileCreated, TempFileGone, nullptr};
  if (std::getenv("MERTOVAN_CLI_TEST_HOLD_TEMP")) watch.complete = HoldTempFile;
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
  if (command == "convert") return RunConvert(args, std::cout, std::cerr, watch);
  std::cerr << "mertovan-cli: unknown command '" << command << "'\n\n";
  PrintUsage(std::cerr);
  return 2;
}
