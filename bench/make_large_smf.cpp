// Writes the large synthetic XG song that scripts/bench times the programs on:
// 200 000 SysEx messages in 16 tracks, each followed by notes in running
// status, about 5 MB.
//   make_large_smf OUT.mid [NOTES_PER_SYSEX]
#include <cstdio>
#include <cstdlib>

#include "support/synthetic_song.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s OUT.mid [NOTES_PER_SYSEX]\n", argv[0]);
    return 2;
  }
  // Without a count, the same file as the in-process benchmarks use.
  const std::vector<uint8_t> file = argc == 3 ? mertovan::test::MakeSyntheticXgFile(16, 200000, std::atoi(argv[2]))
                                              : mertovan::test::MakeSyntheticXgFile();
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size() || std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::printf("%s: %zu bytes\n", argv[1], file.size());
  return 0;
}
