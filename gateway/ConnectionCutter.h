#pragma once

namespace karv::gateway {

// Ends a client's TCP connection at once, so the client gets no response at
// all (the "no answer" fault). The connection is the socket whose local and
// peer ports are the given ones. False when no such socket was found.
[[nodiscard]] bool cutConnection(int localPort, int remotePort);

}  // namespace karv::gateway
