#pragma once

#include <ostream>
#include <string>

#include "port/LineRecorder.h"

namespace vx {

// Draws the port's lines as a Value Change Dump (IEEE 1364) for logic-analyser viewers: one scope
// named after the port holds the recorder's lines. The header is written at the first access,
// when the port's base address is known; every access is written through to the stream at once,
// so a killed program leaves a file a viewer opens.
class VcdWriter : public LineListener {
 public:
  // program: "NAME VERSION" for $version; date: the text of $date. Listens to lines from here on.
  VcdWriter(LineRecorder& lines, std::ostream& out, std::string program, std::string date);
  // A file with no access at all still gets its header.
  ~VcdWriter() override;
  VcdWriter(const VcdWriter&) = delete;
  VcdWriter& operator=(const VcdWriter&) = delete;

  void onAccess(const LineAccess& access) override;

 private:
  void writeHeader();

  LineRecorder& lines_;
  std::ostream& out_;
  std::string program_;
  std::string date_;
  bool headerWritten_ = false;
  LineLevels shown_{};
};

}  // namespace vx
