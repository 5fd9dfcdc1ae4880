#include "analysis/load.h"

#include <atomic>
#include <exception>
#include <functional>
#include <new>
#include <thread>

#include "analysis/analyse.h"
#include "model/events.h"
#include "model/position.h"
#include "model/smf_reader.h"
#include "model/worker.h"

namespace mertovan {

namespace {

// Files from this size are analysed on a second thread while they are read.
// Below it, starting the thread would cost more than it saves.
constexpr size_t kAnalyseWhileReadingFrom = 256 * 1024;

// Reads the image and analyses each record as soon as the reader has
// completed it, on a second thread; the positions are worked out on this
// one once the reading has ended, while the analysis finishes. Returns the
// reader's result; throws what the reader or the analysis throws, once the
// analysis thread has ended. The list must have room for every record the
// image can hold, so that it never moves while the analysis reads it.
int32_t ReadWhileAnalysing(const std::shared_ptr<const std::vector<uint8_t>>& image, const std::string& fileName,
                           Analysis what) {
  AnalysisPass pass(what);
  ReadProgress progress;
  std::atomic<bool> readingEnded{false};
  // Taken before the reading begins: with the room reserved, neither moves.
  Tsys* const records = gSysEx.events.data();
  const MessageStore store = gSysEx.Store();
  std::exception_ptr analysisFailure;
  auto analyseAsRead = [&] {
    try {
      size_t done = 0;
      for (;;) {
        // The end flag is read before the count: a count read after it is final.
        const bool ended = readingEnded.load(std::memory_order_acquire);
        const size_t ready = progress.records.load(std::memory_order_acquire);
        for (; done < ready; ++done) pass.Take(store, records[done], done);
        if (ended) break;
        if (done == ready) std::this_thread::yield();
      }
    } catch (...) {
      analysisFailure = std::current_exception();
    }
  };
  BackgroundTask analysis;
  if (!analysis.Start(analyseAsRead)) {
    // No thread to be had: read first, then analyse.
    const int32_t result = ReadSmfImage(image, fileName);
    AnalyseEvents(what);
    return result;
  }
  int32_t result;
  try {
    result = ReadSmfImage(image, fileName, &progress);
    readingEnded.store(true, std::memory_order_release);
    if (pass.Positions()) ComputePositions();
  } catch (...) {
    readingEnded.store(true, std::memory_order_release);
    analysis.Wait();
    throw;
  }
  analysis.Wait();
  if (analysisFailure) std::rethrow_exception(analysisFailure);
  pass.AssignDrumParts(gSysEx);
  return result;
}

// Clears the tables, reads the image and analyses what was read.
LoadResult Load(const std::string& fileName, Analysis what,
                const std::function<std::shared_ptr<const std::vector<uint8_t>>()>& image) {
  ClearEventTables();
  LoadResult result;
  try {
    const std::shared_ptr<const std::vector<uint8_t>> file = image();
    bool whileReading = file && file->size() >= kAnalyseWhileReadingFrom;
    if (whileReading) {
      try {
        gSysEx.events.reserve(MostRecords(file->size()));
        gSysEx.bytes.reserve(MostStoredBytes(file->size()));
      } catch (const std::bad_alloc&) {
        whileReading = false;  // the room is only virtual memory, but it may be refused
      }
    }
    int32_t read;
    if (whileReading) {
      read = ReadWhileAnalysing(file, fileName, what);
    } else {
      read = ReadSmfImage(file, fileName);
      AnalyseEvents(what);
    }
    result.status = read == 0 ? LoadStatus::Whole : LoadStatus::StoppedEarly;
  } catch (const IoError& e) {
    result.error = e.what();
  } catch (const std::bad_alloc&) {
    result.error = "Not enough memory to read the file: " + fileName;
  }
  if (result.status == LoadStatus::Failed) {
    // What the reader stored before the error belongs to no file the user
    // can see: the listing and the conversion never work on part of a file.
    ClearEventTables();
  }
  return result;
}

}  // namespace

LoadResult LoadSmfFile(const std::string& fileName, Analysis what) {
  return Load(fileName, what, [&] { return ReadSmfFileImage(fileName); });
}

LoadResult LoadSmfImage(std::shared_ptr<const std::vector<uint8_t>> image, const std::string& fileName,
                        Analysis what) {
  return Load(fileName, what, [&] { return image; });
}

LoadResult LoadSmfBytes(std::span<const uint8_t> file, const std::string& fileName, Analysis what) {
  return Load(fileName, what, [&] { return std::make_shared<const std::vector<uint8_t>>(file.begin(), file.end()); });
}

}  // namespace mertovan
