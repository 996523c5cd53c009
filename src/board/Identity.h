#pragma once

// What the instrument says about itself: SCPI's *IDN?, the web panel's identification document
// and the announcements' TXT records all read it.

#include <string>

namespace vx {

struct Identity {
  std::string manufacturer;
  std::string model;
  std::string serialNumber;
  std::string firmware;
};

Identity instrumentIdentity();

}  // namespace vx
