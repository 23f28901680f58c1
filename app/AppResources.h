#pragma once

namespace karv::app {
// Registers the resources compiled into this library (the user agreement).
// A static library's resources are not registered by themselves; safe to
// call more than once.
void registerAppResources();
}  // namespace karv::app
