// What the window tests share: a scripted fake for the file dialogs, a fresh
// start-up folder per test, and the main window under test; the message
// recorder, the file builder and file helpers come from the test support.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/qt_services.h"
#include "model/file_io.h"
#include "model/messages.h"
#include "model/song.h"
#include "support/files.h"
#include "support/recording_messages.h"
#include "support/recording_midi_port.h"
#include "support/scratch_dir.h"
#include "support/smf_builder.h"

namespace mertovan::testing {

// A component of a window by its name in the form (its object name).
template <class T>
T* Find(const QObject* parent, const char* name) {
  T* found = parent->findChild<T*>(QString::fromLatin1(name));
  if (!found) throw std::logic_error(std::string("no component named ") + name);
  return found;
}

using test::RecordingMessages;
using test::ShownMessage;
using test::SmfBuilder;

// Answers each dialog with the next scripted name (a null text, or no
// script left: the user cancels) and keeps every request it was given.
class ScriptedDialogs : public FileDialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget*, const FileDialogRequest& request) override {
    openRequests.push_back(request);
    return Next();
  }
  std::optional<QString> GetSaveFileName(QWidget*, const FileDialogRequest& request) override {
    saveRequests.push_back(request);
    return Next();
  }
  void Answer(const QString& name) { answers.append(name); }

  QStringList answers;
  std::vector<FileDialogRequest> openRequests;
  std::vector<FileDialogRequest> saveRequests;

 private:
  std::optional<QString> Next() {
    if (answers.isEmpty()) return std::nullopt;
    const QString a = answers.takeFirst();
    if (a.isNull()) return std::nullopt;
    return a;
  }
};

// Three converted part settings around one message without an equivalent
// (XG System On), so both text colours appear.
std::vector<uint8_t> SmallSongBytes();

inline void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  test::WriteAll(path, bytes);
}
using test::ReadLines;
inline std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) { return test::ReadAll(path); }

// Each test starts in an empty folder of its own, which is the start-up
// directory of the window it creates.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the main window (its start-up runs) and shows it.
  Tmain_form& Start();
  // The same, playing to `port` instead of the recording port.
  Tmain_form& Start(MidiPort& port);
  // Closes the window as the user would, which saves the settings.
  void CloseWindow();
  // Loads `path` through "Load SMF(&L)".
  void Load(const std::filesystem::path& path);
  // Components of the window under test.
  template <class T>
  T* Component(const char* name) const {
    return Find<T>(window.get(), name);
  }
  QTableView* Grid() const { return Component<QTableView>("sysGrid"); }
  QAction* Action(const char* name) const { return Component<QAction>(name); }
  // Makes data row `row` the current one, as a click on it would.
  void SelectRow(int row);
  std::filesystem::path Dir() const { return dir_; }
  QString Cell(int row, int column) const;
  QString Header(int column) const;
  int DataRows() const;
  std::pair<int, int> ExpectedMessagePoint() const;
  // Sizes the window by its outer frame, as the settings and the layout count.
  void ResizeOuter(int width, int height);

  RecordingMessages messages;
  ScriptedDialogs dialogs;
  RecordingMidiPort midi;
  std::unique_ptr<Tmain_form> window;

 private:
  std::optional<test::ScratchDir> scratch_;
  std::filesystem::path dir_;
  QString previousDir_;
};

}  // namespace mertovan::testing
