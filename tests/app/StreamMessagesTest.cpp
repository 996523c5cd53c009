#include "app/StreamMessages.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vx {
namespace {

TEST(StreamMessages, WritesTitleAndTextAndBreaksAtTheCarriageReturn) {
  std::ostringstream out;
  StreamMessages messages(out);
  messages.show(
      {"Windows Version:Failed\rPort Address:0x378", "Show Status", MessageIcon::Information, ""});
  EXPECT_EQ(out.str(), "Show Status: Windows Version:Failed\n             Port Address:0x378\n");
}

TEST(StreamMessages, IndentsTheDetailsUnderTheText) {
  std::ostringstream out;
  StreamMessages messages(out);
  messages.show({"claim parallel port failed", "VX3340", MessageIcon::None,
                 "Permission denied.\nAdd yourself to the lp group."});
  EXPECT_EQ(out.str(),
            "VX3340: claim parallel port failed\n"
            "        Permission denied.\n"
            "        Add yourself to the lp group.\n");
}

TEST(StreamMessages, WritesTheSameReasonOnlyOnceInARow) {
  std::ostringstream out;
  StreamMessages messages(out);
  messages.show({"first", "A", MessageIcon::None, "no port"});
  messages.show({"second", "B", MessageIcon::Exclamation, "no port"});
  messages.show({"third", "C", MessageIcon::None, ""});
  messages.show({"fourth", "D", MessageIcon::None, "no port"});
  EXPECT_EQ(out.str(), "A: first\n   no port\nB: second\nC: third\nD: fourth\n   no port\n");
}

}  // namespace
}  // namespace vx
