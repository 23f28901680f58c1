#pragma once

namespace karv {
// Loads OpenSSL's "default" and "legacy" providers once per process (the
// legacy one reads older .pfx files with RC2-40 certificate bags) and logs
// whether the legacy provider is available. Safe to call any number of times.
bool loadOpenSslProviders();
}  // namespace karv
