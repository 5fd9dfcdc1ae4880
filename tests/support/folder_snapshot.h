// What a folder holds, to show that an operation created, changed or removed
// nothing but the file it was meant to: every entry's name, type, size,
// modification time and a hash of its contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace mertovan::test {

struct EntryState {
  std::filesystem::file_type type{};
  uintmax_t size = 0;
  std::filesystem::file_time_type mtime{};
  uint64_t hash = 0;
  bool operator==(const EntryState&) const = default;
};

using FolderSnapshot = std::map<std::string, EntryState>;

inline uint64_t HashFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      h = (h ^ uint8_t(buf[i])) * 1099511628211ull;
    }
  }
  return h;
}

// Symbolic links are recorded, not followed.
inline FolderSnapshot TakeSnapshot(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  FolderSnapshot snap;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& p = it->path();
    EntryState s;
    s.type = it->symlink_status().type();
    if (s.type == fs::file_type::regular) {
      s.size = fs::file_size(p);
      s.mtime = fs::last_write_time(p);
      s.hash = HashFile(p);
    } else if (s.type == fs::file_type::symlink) {
      s.hash = std::hash<std::string>{}(fs::read_symlink(p).string());
    }
    snap[p.lexically_relative(folder).string()] = s;
  }
  return snap;
}

// Names whose entries differ between two snapshots (added, removed, changed).
inline std::vector<std::string> Differences(const FolderSnapshot& before, const FolderSnapshot& after) {
  std::vector<std::string> out;
  for (const auto& [name, state] : before) {
    auto it = after.find(name);
    if (it == after.end()) out.push_back("removed " + name);
    else if (!(it->second == state)) out.push_back("changed " + name);
  }
  for (const auto& [name, state] : after) {
    if (!before.count(name)) out.push_back("added " + name);
  }
  return out;
}

}  // namespace mertovan::test
