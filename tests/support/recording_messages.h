// A message service that shows nothing and keeps every message it was given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/messages.h"

namespace mertovan::test {

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

}  // namespace mertovan::test
