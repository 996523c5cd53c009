#pragma once

#include <string>

namespace vx {

enum class MessageIcon { None, Exclamation, Information, Critical };

// A modal message with an OK button. Details carry the reason and remedy where the program
// knows them; the text itself stays as the user has always seen it.
struct Message {
  std::string text;
  std::string title;
  MessageIcon icon = MessageIcon::None;
  std::string details;

  bool operator==(const Message&) const = default;
};

// Shows modal messages: message boxes in the window, stderr in the command-line tool.
class Messages {
 public:
  virtual ~Messages() = default;
  // Returns when the user has acknowledged the message.
  virtual void show(const Message& message) = 0;
};

}  // namespace vx
