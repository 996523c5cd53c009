#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "board/Link.h"
#include "board/Register.h"
#include "board/Selections.h"
#include "port/Port.h"

namespace vx {

// What one refresh shows: the flag byte, the caption of each flag display ("1" or "0") and
// the byte's decimal text.
struct FlagReading {
  std::uint8_t flagByte = 0;
  std::array<std::string_view, 6> captions{"0", "0", "0", "0", "0", "0"};
  std::string decimal;

  bool flag(int i) const { return ((flagByte >> i) & 1) != 0; }
};

// The board's front panel: the one object through which every face drives the board. Each
// selection takes the list index (-1: nothing selected) or the Standby box's value, sets its bits
// as the selection table says, and runs a full refresh.
class FrontPanel {
 public:
  explicit FrontPanel(Port& port) : port_(port), link_(port, ControlWord_, AuxWord_) {}
  FrontPanel(const FrontPanel&) = delete;
  FrontPanel& operator=(const FrontPanel&) = delete;

  // Sets the selection's bits for a list index or box value, then refreshes. A list index
  // outside the list changes no bit; the refresh still runs.
  FlagReading select(SelectionId id, int value);
  // The choice the register images hold for a selection: its field's value.
  int selected(SelectionId id);
  // Both register images to zero, then a refresh.
  FlagReading reset();

  FlagReading cboir_Click(int listIndex) { return select(SelectionId::Range, listIndex); }
  FlagReading cboFSEL_Click(int listIndex) { return select(SelectionId::Force, listIndex); }
  FlagReading cboComp_Click(int listIndex) { return select(SelectionId::Comparator, listIndex); }
  FlagReading cboMIO_Click(int listIndex) { return select(SelectionId::Measure, listIndex); }
  FlagReading cboAC_Click(int listIndex) { return select(SelectionId::Capacitor, listIndex); }
  FlagReading chkStandby_Click(int boxValue) { return select(SelectionId::Standby, boxValue); }

  // The refresh cycle: send the control word, step the auxiliary lines, read the flags back,
  // then flush the port: the board goes idle.
  FlagReading cmdRead_Click();
  // Sends what the port holds back: a session's command is done.
  void flush() { port_.flush(); }

  // When the port went away (a USB adapter pulled out: PortGoneError), the next refresh first
  // calls reclaim, which claims the port again and brings the lines to idle; the refresh then
  // sends both register images, so the board returns to this panel's state.
  void onReconnect(std::function<void()> reclaim) { reclaim_ = std::move(reclaim); }
  // Whether the port went away and has not been claimed again since, and why.
  bool disconnected() const { return lost_.has_value(); }
  const std::optional<std::string>& lost() const { return lost_; }

  // Each listener is called after every refresh, whichever face asked for it, so that the other
  // faces can show it; in the order they were added. onRefresh gives the key that forgets it. A
  // listener adds or forgets none while it runs.
  using RefreshListener = std::function<void(const FlagReading&)>;
  std::size_t onRefresh(RefreshListener listener) {
    listeners_.emplace_back(++lastKey_, std::move(listener));
    return lastKey_;
  }
  void forgetRefresh(std::size_t key) {
    std::erase_if(listeners_, [key](const auto& entry) { return entry.first == key; });
  }

  Register& ControlWord() { return ControlWord_; }
  Register& AuxWord() { return AuxWord_; }
  Register& image(BoardRegister r) { return r == BoardRegister::AuxWord ? AuxWord_ : ControlWord_; }

 private:
  Port& port_;
  Register ControlWord_;
  Register AuxWord_;
  Link link_;
  std::vector<std::pair<std::size_t, RefreshListener>> listeners_;
  std::size_t lastKey_ = 0;
  std::function<void()> reclaim_;
  std::optional<std::string> lost_;
};

}  // namespace vx
