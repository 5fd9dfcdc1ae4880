// libFuzzer target: arbitrary text as the settings file's contents.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/shell/settings.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "settings property failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mertovan;
  const std::string text(reinterpret_cast<const char*>(data), size);
  SettingsRecord record;
  // Fields start out of range so that a field the parser forgets to set shows.
  record.viewMode = ViewMode(7);
  record.formalOutput = 7;
  record.includeUnconvertible = 7;
  bool rejected = false;
  try {
    ParseSettingsText(text, record, 77);
  } catch (const SettingsError& e) {
    rejected = true;
    // The whole message survives as a C string, whatever the line held.
    if (std::string(e.what()).find("は整数ではありません") == std::string::npos) Fail("message cut short");
  }
  // Whatever the text, the three flags come out normalised.
  if (record.viewMode != ViewMode::Cc && record.viewMode != ViewMode::SysEx) Fail("view mode not normalised");
  if (record.formalOutput > 1) Fail("formal output flag not normalised");
  if (record.includeUnconvertible > 1) Fail("include flag not normalised");
  // A rejected file leaves creation values from the bad line on, so at the
  // very least the last line's field has its creation value.
  if (rejected && record.formalOutput != CreationSettings(77).formalOutput) {
    Fail("formal output flag not reset after a bad line");
  }
  return 0;
}
