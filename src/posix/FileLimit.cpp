// The open-file limit: a session with many clients needs a descriptor for each, and the soft
// limit (often 1,024) may be raised by the process itself up to the hard one.
#include <sys/resource.h>

#include "app/Platform.h"

namespace vx {

void raiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);  // where it is refused, the limit stays as it was
}

}  // namespace vx
