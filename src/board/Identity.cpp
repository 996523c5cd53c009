#include "board/Identity.h"

#include "Version.h"

namespace vx {

Identity instrumentIdentity() {
  return {"VX3340 evaluation board", "vx3340ctl", "0", kVersionText};
}

}  // namespace vx
