#include "app/ProcessHardening.h"

#include <sys/prctl.h>

namespace karv::app {
bool disableCoreDumps() { return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0; }
}  // namespace karv::app
