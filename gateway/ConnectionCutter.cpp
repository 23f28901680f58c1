#include "gateway/ConnectionCutter.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <memory>

namespace karv::gateway {
namespace {
int portOf(const sockaddr_storage& a) {
  if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
  if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
  return -1;
}

bool isConnection(int fd, int localPort, int remotePort) {
  sockaddr_storage local{}, peer{};
  socklen_t localLen = sizeof local, peerLen = sizeof peer;
  return ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) == 0 &&
         ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0 && portOf(local) == localPort &&
         portOf(peer) == remotePort;
}

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};
}  // namespace

bool cutConnection(int localPort, int remotePort) {
  // The HTTP library does not hand its sockets to handlers; the process's
  // descriptor table does.
  std::unique_ptr<DIR, DirCloser> fds(::opendir("/proc/self/fd"));
  if (!fds) return false;
  while (const dirent* entry = ::readdir(fds.get())) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;
    if (isConnection(static_cast<int>(fd), localPort, remotePort))
      return ::shutdown(static_cast<int>(fd), SHUT_RDWR) == 0;
  }
  return false;
}

}  // namespace karv::gateway
