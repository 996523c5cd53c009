#pragma once

#include <ostream>

#include "startup/Messages.h"

namespace vx {

// Messages as lines on a stream: "TITLE: TEXT", then the details indented below. A carriage
// return inside the text starts a new, indented line.
class StreamMessages : public Messages {
 public:
  explicit StreamMessages(std::ostream& out) : out_(out) {}
  void show(const Message& message) override;

 private:
  std::ostream& out_;
};

}  // namespace vx
