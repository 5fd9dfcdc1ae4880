// mertovan-cli run as a whole process, the way a user's shell runs it: in a
// given folder, each argument quoted, standard output and error captured
// apart, and the real exit status (128 + N when signal N ended it).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/files.h"
#include "support/scratch_dir.h"

namespace mertovan::test {

struct CliRun {
  int status;
  std::string out, err;
};

// `text` in single quotes for the shell, its own quotes escaped.
inline std::string ShellQuoted(std::string_view text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The words of `line`, split at spaces: for argument lists written inline.
inline std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < line.size()) {
    const size_t end = std::min(line.find(' ', at), line.size());
    if (end > at) words.emplace_back(line.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// Runs `program` with `args` in `folder`. A sanitizer report also ends the
// program with a failing status, so its text on standard error fails the
// test; a program still running after two minutes is ended (status 124).
inline CliRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder) {
  const ScratchDir capture;
  const std::string out = capture.File("stdout"), err = capture.File("stderr");
  std::string cmd = "cd " + ShellQuoted(folder.string()) + " && exec timeout 120 " + ShellQuoted(program);
  for (const std::string& a : args) cmd += " " + ShellQuoted(a);
  cmd += " >" + ShellQuoted(out) + " 2>" + ShellQuoted(err) + " </dev/null";
  const int raw = std::system(cmd.c_str());
  CliRun r{-1, ReadText(out), ReadText(err)};
  if (raw == -1) {
    ADD_FAILURE() << "could not start a shell for: " << cmd;
  } else if (WIFEXITED(raw)) {
    r.status = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    r.status = 128 + WTERMSIG(raw);
  }
  EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
  return r;
}

#ifdef MERTOVAN_CLI
inline CliRun RunCli(const std::filesystem::path& folder, const std::vector<std::string>& args) {
  return RunProgram(MERTOVAN_CLI, args, folder);
}
// Arguments without spaces, written as one line.
inline CliRun RunCli(const std::filesystem::path& folder, std::string_view words) {
  return RunCli(folder, Words(words));
}
#endif

}  // namespace mertovan::test
