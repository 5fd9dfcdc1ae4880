// The subcommands of mertovan-cli.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analyse.h"
#include "model/file_io.h"
#include "model/song.h"
#include "version.h"

namespace mertovan::cli {

using mertovan::kVersionText;

// Exit statuses: 0 all files done, 1 a file failed, 2 usage error. The files
// are taken in the order given, in one session, as successive loads in one
// run of the desktop program.
int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `watch` is told of the temporary file of each replacement (the program
// removes it when a signal ends it).
int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const ReplaceWatch& watch = {});

// Loads one file as the desktop program does (LoadSmfFile), analysed for
// what the command does with it. Prints "File not Found" or the read error on
// `err` and returns nothing when the file could not be read, and then also
// puts the message in `error` when given ("File not Found", or the read
// error's text); a reading that stopped early is kept, with a warning that
// says what goes on with it ("listing", "converting").
std::optional<Song> LoadFile(const std::string& path, Session& session, std::ostream& err, Analysis what,
                             std::string* error = nullptr);

void PrintUsage(std::ostream& out);

// The arguments every subcommand takes alike: --help, "--", unknown options
// and file names. Returns nothing when the argument was taken, -1 when the
// rest of the arguments were all files, or the exit status to end with.
std::optional<int> TakeCommonArgument(std::string_view command, const std::vector<std::string>& args,
                                      size_t& i, std::vector<std::string>& files, std::ostream& out,
                                      std::ostream& err);
int NoFiles(std::string_view command, std::ostream& err);

}  // namespace mertovan::cli
