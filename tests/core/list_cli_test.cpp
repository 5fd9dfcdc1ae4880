#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
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
  EXPECT_TRUE(events[0]["part"].is_null());
  EXPECT_EQ(events[7]["part"], 1);  // as the Ch column shows it
  EXPECT_EQ(events[7]["eventName"], "Volume");
  // Every event has a meaning, empty where the value says it all.
  for (const auto& e : events) EXPECT_TRUE(e["meaning"].is_string()) << e;
  EXPECT_EQ(events[2]["meaning"], "Hall 1");
  EXPECT_EQ(events[7]["meaning"], "");

  // A file that could not be read is named with its error, between the others.
  const CliRun bad = Cli(std::string("list --format json no-such-file.mid ") + kExample);
  EXPECT_EQ(bad.status, 1);
  const auto withError = nlohmann::json::parse(bad.out);
  ASSERT_EQ(withError.size(), 2u);
  EXPECT_EQ(withError[0], nlohmann::json::parse(R"({"file": "no-such-file.mid", "error": "File not Found", "events": []})"));
  EXPECT_EQ(withError[1], doc[0]);
  EXPECT_EQ(Cli("list --format json no-such-file.mid").out, "[\n  {\n    \"error\": \"File not Found\",\n"
                                                            "    \"events\": [],\n    \"file\": \"no-such-file.mid\"\n  }\n]\n");
}

// The default listing: numbers right-aligned under their headers, texts
// left-aligned, the value's meaning last; every cell as the TSV and JSON
// listings give it.
TEST(ListCli, TextListingColumnsLineUp) {
  const CliRun text = Cli(std::string("list ") + kExample);
  const CliRun tsv = Cli(std::string("list --format tsv ") + kExample);
  const auto json = nlohmann::json::parse(Cli(std::string("list --format json ") + kExample).out);
  ASSERT_EQ(text.status, 0) << text.err;
  std::istringstream textLines(text.out), tsvLines(tsv.out);
  std::string line, header;
  std::getline(textLines, line);
  EXPECT_EQ(line, std::string(kExample) + ": 21 SysEx messages");
  std::getline(textLines, header);
  std::getline(tsvLines, line);  // the TSV header
  // What the value means comes before the bytes, which can be long.
  const char* names[] = {"Bar", "Meter", "Tick", "Ch", "Event", "Value", "Meaning", "SystemExclusiveMessage"};
  size_t at[8];  // where each header name starts
  for (size_t c = 0; c < 8; ++c) {
    at[c] = header.find(names[c]);
    ASSERT_NE(at[c], std::string::npos) << names[c];
    if (c > 0) {
      EXPECT_GT(at[c], at[c - 1]);
    }
  }
  size_t row = 0;
  for (; std::getline(textLines, line); ++row) {
    SCOPED_TRACE(line);
    EXPECT_NE(line.back(), ' ');
    line.append(64, ' ');  // the blanks a line's last cell loses at its end
    ASSERT_TRUE(std::getline(tsvLines, header));
    std::vector<std::string> cells;
    std::istringstream split(header);
    for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), 7u);
    cells.insert(cells.begin() + 6, json[0]["events"][row]["meaning"].get<std::string>());
    for (size_t c = 0; c < 8; ++c) {
      if (c < 4) {  // ends where its header ends
        const size_t end = at[c] + std::strlen(names[c]);
        ASSERT_GE(end, cells[c].size());
        EXPECT_EQ(line.substr(end - cells[c].size(), cells[c].size()), cells[c]) << names[c];
        EXPECT_EQ(line[end], ' ') << names[c];
      } else if (!cells[c].empty()) {  // starts where its header starts
        EXPECT_EQ(line.substr(at[c], cells[c].size()), cells[c]) << names[c];
        EXPECT_EQ(line.substr(at[c] - 2, 2), "  ") << names[c];
      }
    }
  }
  EXPECT_EQ(row, 21u);
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
  // Output cut short by the file size limit is a failure, not a success.
  const mertovan::test::ScratchDir dir;
  const std::string cmd = std::string("cd ") + MERTOVAN_SOURCE_DIR + " && ulimit -f 1 && exec " + MERTOVAN_CLI +
                          " list --format json " + kExample + " >" + dir.File("out") + " 2>" + dir.File("err");
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(Slurp(dir.File("err")).find("cannot write the listing"), std::string::npos);
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
  EXPECT_EQ(t.status, 1);
  EXPECT_EQ(t.err, text + " is not a Standard MIDI File\n");
  EXPECT_EQ(t.out, "");
}

}  // namespace
