// The program's message boxes, as a service: the desktop program shows real
// boxes, the command-line companion prints, the tests record.
#pragma once

#include <string_view>

namespace mertovan {

enum class MessageKind { Warning, Information };

class MessageService {
 public:
  virtual ~MessageService() = default;
  // Shows `text` with one "OK" button, top-left corner at screen point (x, y);
  // returns when the user has dismissed it.
  virtual void ShowMessageAt(std::string_view text, MessageKind kind, int x, int y) = 0;
};

}  // namespace mertovan
