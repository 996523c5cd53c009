#pragma once

namespace vx {

enum class PortMenuItem { Lpt1, Lpt2, Prn };

// The Printer Port menu's three items, whose enabled state start-up sets.
class PortMenu {
 public:
  virtual ~PortMenu() = default;
  virtual void setEnabled(PortMenuItem item, bool enabled) = 0;
};

// The menu as plain flags, for programs without a window.
struct PortMenuFlags : PortMenu {
  bool lpt1 = true;
  bool lpt2 = true;
  bool prn = true;

  void setEnabled(PortMenuItem item, bool enabled) override {
    switch (item) {
      case PortMenuItem::Lpt1:
        lpt1 = enabled;
        break;
      case PortMenuItem::Lpt2:
        lpt2 = enabled;
        break;
      case PortMenuItem::Prn:
        prn = enabled;
        break;
    }
  }
};

}  // namespace vx
