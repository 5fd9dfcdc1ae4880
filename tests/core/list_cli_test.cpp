#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/cli_runner.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace {

using mertovan::test::CliRun;

// In the source folder, where the example is found by its relative name.
CliRun Cli(const std::string& args) { return mertovan::test::RunCli(MERTOVAN_SOURCE_DIR, args); }

std::string Slurp(const std::string& path) { return mertovan::test::ReadText(path); }

const char* kExample = "examples/xg_song_setup.mid";

TEST(ListCli, TsvListingOfTheExample) {
  const CliRun r = Cli(std::string("list --format tsv ") + kExample);
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string header, first, second;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(header, "Bar\tMeter\tTick\tCh\tEvent\tValue\tSystemExclusiveMessage");
  EXPECT_EQ(first, "1\t1\t0\t-\tGM System On\t -\tF0 7E 7F 09 01 F7 ");
  EXPECT_EQ(second, "1\t1\t240\t-\tXG System on\t0\tF0 43 10 4C 00 00 7E 00 F7 ");
  size_t rows = 0;
  for (char c : r.out) rows += c == '\n';
  EXPECT_EQ(rows, 1u + 21u);

  const CliRun cc = Cli(std::string("list --view cc --format tsv ") + kExample);
  EXPECT_NE(cc.out.find("\tControlChange\n"), std::string::npos);
  EXPECT_NE(cc.out.find("1\t3\t20\t1\tVolume\t100\tcc7  ,100\n"), std::string::npos);
  EXPECT_NE(cc.out.find("\tcc99 ,1    : cc98 ,8    : cc6  ,80 \n"), std::string::npos);
}

TEST(ListCli, JsonHasOneObjectPerFile) {
  const CliRun r = Cli(std::string("list --format json ") + kExample + " " + kExample);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  ASSERT_EQ(doc.size(), 2u);
  EXPECT_EQ(doc[0]["file"], kExample);
  const auto& events = doc[0]["events"];
  ASSERT_EQ(events.size(), 21u);
  EXPECT_EQ(events[0]["bytes"], "F0 7E 7F 09 01 F7");
  EXPECT_TRUE(events[0]["channel"].is_null());
  EXPECT_EQ(events[7]["cc"], nlohmann::json::parse("[[7,100]]"));
  EXPECT_EQ(events[7]["channel"], 0);
  EXPECT_EQ(events[7]["eventName"], "Volume");
}

TEST(ListCli, ErrorsAndUsage) {
  const CliRun missing = Cli(std::string("list --format tsv no-such-file.mid ") + kExample);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("File not Found"), std::string::npos);
  EXPECT_NE(missing.out.find("GM System On"), std::string::npos);  // the other file is still listed

  EXPECT_EQ(Cli("list").status, 2);
  EXPECT_EQ(Cli("list --view xx examples/xg_song_setup.mid").status, 2);
  EXPECT_EQ(Cli("list --bogus examples/xg_song_setup.mid").status, 2);
  EXPECT_EQ(Cli("frobnicate").status, 2);
  const CliRun version = Cli("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Mertovan v0.6\n");
  EXPECT_EQ(Cli("--help").status, 0);
}

TEST(ListCli, ReadErrorsAndEarlyStops) {
  const mertovan::test::ScratchDir dir;
  const std::string cut = dir.File("cut.mid");
  const std::string text = dir.File("text.mid");
  {
    const std::string whole = Slurp(std::string(MERTOVAN_SOURCE_DIR) + "/" + kExample);
    std::ofstream(cut, std::ios::binary) << whole.substr(0, 100);
    std::ofstream(text, std::ios::binary) << "This is not a MIDI file at all.\n";
  }
  const CliRun r = Cli("list --format tsv " + cut);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("end of file"), std::string::npos);
  EXPECT_EQ(r.out, "");  // nothing of a file that could not be read is listed

  const CliRun t = Cli("list --format tsv " + text);
  EXPECT_EQ(t.status, 0);
  EXPECT_NE(t.err.find("warning"), std::string::npos);
  EXPECT_EQ(t.out, "Bar\tMeter\tTick\tCh\tEvent\tValue\tSystemExclusiveMessage\n");
}

}  // namespace
