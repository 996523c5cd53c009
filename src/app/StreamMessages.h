#pragma once

#include <ostream>
#include <string>

#include "startup/Messages.h"

namespace vx {

// Messages as lines on a stream: "TITLE: TEXT", then the details indented below. A carriage
// return inside the text starts a new, indented line. Details that repeat the previous
// message's are not written again.
class StreamMessages : public Messages {
 public:
  explicit StreamMessages(std::ostream& out) : out_(out) {}
  void show(const Message& message) override;

 private:
  std::ostream& out_;
  std::string lastDetails_;
};

}  // namespace vx
