#include "analysis/load.h"

#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "model/file_io.h"
#include "model/smf_reader.h"

namespace mertovan {

namespace {

using Image = std::shared_ptr<const std::vector<uint8_t>>;

// Reads the image that `image` gives and analyses what was read.
Song Load(const std::string& fileName, Session& session, Analysis what, const std::function<Image()>& image) {
  Song song;
  try {
    ReadSmf(image(), fileName, song);
    AnalyseEvents(song, session, what);
    return song;
  } catch (const IoError& e) {
    song = Song{};
    song.error = e.what();
  } catch (const std::bad_alloc&) {
    song = Song{};
    song.error = "Not enough memory to read the file: " + fileName;
  }
  // What the reader stored before the error belongs to no file the user can
  // see: the listing and the conversion never work on part of a file.
  song.status = LoadStatus::Failed;
  return song;
}

}  // namespace

Song LoadSmfFile(const std::string& fileName, Session& session, Analysis what) {
  return Load(fileName, session, what, [&] { return ReadSmfFileImage(fileName); });
}

Song LoadSmfBytes(std::span<const uint8_t> file, const std::string& fileName, Session& session, Analysis what) {
  return Load(fileName, session, what,
              [&] { return std::make_shared<const std::vector<uint8_t>>(file.begin(), file.end()); });
}

}  // namespace mertovan
