// The subcommands of mertovan-cli.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analyse.h"
#include "version.h"

namespace mertovan::cli {

using mertovan::kVersionText;

// Exit statuses: 0 all files done, 1 a file failed, 2 usage error.
int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Loads one file as the desktop program does (LoadSmfFile), analysed for
// what the command does with it. Prints "File not Found" or the read error on
// `err` and returns false when the file could not be read, and then also puts
// the message in `error` when given ("File not Found", or the read error's
// text); a reading that stopped early is kept, with a warning that says what
// goes on with it ("listing", "converting").
bool LoadFile(const std::string& path, std::ostream& err, Analysis what, std::string* error = nullptr);

void PrintUsage(std::ostream& out);

// The arguments every subcommand takes alike: --help, "--", unknown options
// and file names. Returns nothing when the argument was taken, -1 when the
// rest of the arguments were all files, or the exit status to end with.
std::optional<int> TakeCommonArgument(std::string_view command, const std::vector<std::string>& args,
                                      size_t& i, std::vector<std::string>& files, std::ostream& out,
                                      std::ostream& err);
int NoFiles(std::string_view command, std::ostream& err);

}  // namespace mertovan::cli
