#include "app/StreamMessages.h"

#include <string>

namespace vx {

void StreamMessages::show(const Message& message) {
  const std::string indent(message.title.size() + 2, ' ');
  out_ << message.title << ": ";
  for (char c : message.text) {
    if (c == '\r')
      out_ << '\n' << indent;
    else
      out_ << c;
  }
  out_ << '\n';
  if (!message.details.empty() && message.details != lastDetails_) {
    out_ << indent;
    for (char c : message.details) {
      out_ << c;
      if (c == '\n') out_ << indent;
    }
    out_ << '\n';
  }
  lastDetails_ = message.details;
  out_.flush();
}

}  // namespace vx
