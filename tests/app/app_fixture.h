// What the window tests share: recording fakes for the message boxes and the
// file dialogs, a fresh start-up folder per test, small Standard MIDI Files
// built in memory, and the main window under test.
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
#include "support/recording_midi_port.h"
#include "model/events.h"
#include "writer/messages.h"

namespace mertovan::testing {

// A component of a window by its name in the form (its object name).
template <class T>
T* Find(const QObject* parent, const char* name) {
  T* found = parent->findChild<T*>(QString::fromLatin1(name));
  if (!found) throw std::logic_error(std::string("no component named ") + name);
  return found;
}

struct ShownMessage {
  std::string text;
  MessageKind kind;
  int x;
  int y;
};

class RecordingMessages : public MessageService {
 public:
  void ShowMessageAt(std::string_view text, MessageKind kind, int x, int y) override {
    shown.push_back({std::string(text), kind, x, y});
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const ShownMessage& m : shown) out.push_back(m.text);
    return out;
  }
  std::vector<ShownMessage> shown;
};

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

// Builds Standard MIDI Files the way a sequencer writes them.
class SmfBuilder {
 public:
  SmfBuilder& SysEx(uint32_t delta, std::vector<uint8_t> bodyAfterF0) {
    Delta(delta);
    track_.push_back(0xF0);
    track_.push_back(uint8_t(bodyAfterF0.size()));
    track_.insert(track_.end(), bodyAfterF0.begin(), bodyAfterF0.end());
    return *this;
  }
  SmfBuilder& FourFour(uint32_t delta) {
    Delta(delta);
    track_.insert(track_.end(), {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
    return *this;
  }
  SmfBuilder& Note(uint32_t delta, uint8_t key) {
    Delta(delta);
    track_.insert(track_.end(), {0x90, key, 100});
    return *this;
  }
  // An XG parameter change for part `part` (0-based), address 08 part al.
  SmfBuilder& PartParameter(uint32_t delta, uint8_t part, uint8_t al, uint8_t value) {
    return SysEx(delta, {0x43, 0x10, 0x4C, 0x08, part, al, value, 0xF7});
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> track = track_;
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                                'M', 'T', 'r', 'k'};
    const uint32_t n = uint32_t(track.size());
    out.insert(out.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    out.insert(out.end(), track.begin(), track.end());
    return out;
  }

 private:
  void Delta(uint32_t d) {
    uint8_t buf[5];
    int n = 0;
    buf[n++] = d & 0x7F;
    while ((d >>= 7) != 0) buf[n++] = uint8_t(0x80 | (d & 0x7F));
    while (n > 0) track_.push_back(buf[--n]);
  }
  std::vector<uint8_t> track_;
};

// Three converted part settings around one message without an equivalent
// (XG System On), so both text colours appear.
std::vector<uint8_t> SmallSongBytes();

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
std::vector<std::string> ReadLines(const std::filesystem::path& path);

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
  std::filesystem::path dir_;
  QString previousDir_;
};

}  // namespace mertovan::testing
