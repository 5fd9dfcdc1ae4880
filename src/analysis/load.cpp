#include "analysis/load.h"

#include <new>

#include "analysis/conversion.h"
#include "model/events.h"
#include "model/smf_reader.h"

namespace mertovan {

namespace {

template <typename Read>
LoadResult Load(const std::string& fileName, Analysis what, Read read) {
  ClearEventTables();
  LoadResult result;
  try {
    result.status = read() == 0 ? LoadStatus::Whole : LoadStatus::StoppedEarly;
  } catch (const IoError& e) {
    result.error = e.what();
  } catch (const std::bad_alloc&) {
    result.error = "Not enough memory to read the file: " + fileName;
  }
  if (result.status == LoadStatus::Failed) {
    // What the reader stored before the error belongs to no file the user
    // can see: the listing and the conversion never work on part of a file.
    ClearEventTables();
    return result;
  }
  AnalyseEvents(what);
  return result;
}

}  // namespace

LoadResult LoadSmfFile(const std::string& fileName, Analysis what) {
  return Load(fileName, what, [&] { return ReadSmf(fileName); });
}

LoadResult LoadSmfImage(std::shared_ptr<const std::vector<uint8_t>> image, const std::string& fileName,
                        Analysis what) {
  return Load(fileName, what, [&] { return ReadSmfImage(std::move(image), fileName); });
}

LoadResult LoadSmfBytes(std::span<const uint8_t> file, const std::string& fileName, Analysis what) {
  return Load(fileName, what, [&] { return ReadSmfBytes(file, fileName); });
}

}  // namespace mertovan
