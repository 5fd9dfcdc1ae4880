// mertovan-cli: the listing and the conversion of the desktop program, for
// scripts and the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"

int main(int argc, char** argv) {
  using namespace mertovan::cli;
  std::ios::sync_with_stdio(false);
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
