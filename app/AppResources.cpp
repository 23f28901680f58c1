#include "app/AppResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initKarvResources() { Q_INIT_RESOURCE(karv); }

namespace karv::app {

void registerAppResources() {
  static const bool registered = (initKarvResources(), true);
  (void)registered;
}

}  // namespace karv::app
