#include "platform/network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "common/error.h"
#include "platform/system_error.h"

namespace zorvane {

namespace {

constexpr size_t kHostNameBytes = 100;

bool ToInAddr(const std::string& text, in_addr& address) {
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool ToSockAddr(const std::string& text, uint16_t port, sockaddr_in& address) {
  address = sockaddr_in{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  return ToInAddr(text, address.sin_addr);
}

std::string ToText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// 0, or the errno of the call that answered result.
TNetError ErrorOf(int result) {
  return result < 0 ? errno : 0;
}

}  // namespace

void ThrowNetError(const std::string& what, TNetError error) {
  ThrowSystemError(what, error);
}

bool IsIPv4Address(const std::string& text) {
  in_addr address;
  return ToInAddr(text, address);
}

bool IsIPv6Address(const std::string& text) {
  in6_addr address;
  return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

TNetError HostName(std::string& name) {
  char text[kHostNameBytes + 1] = {};
  if (gethostname(text, kHostNameBytes) != 0) return errno;
  name = text;
  return 0;
}

std::vector<THostAddress> LookupHost(const std::string& name, TAddressFamily family) {
  addrinfo hints{};
  hints.ai_family = family == TAddressFamily::IPv4 ? AF_INET : AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return {};
  std::vector<THostAddress> addresses;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    if (getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
      continue;
    addresses.push_back({text, a->ai_family == AF_INET6});
  }
  freeaddrinfo(found);
  return addresses;
}

TNetError ListLocalIPv4Addresses(std::vector<std::string>& addresses) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return errno;
  addresses.clear();
  for (const ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK))
      continue;
    addresses.push_back(ToText(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr));
  }
  freeifaddrs(list);
  return 0;
}

void ShutdownSocket(TSocketHandle socket) {
  shutdown(static_cast<int>(socket), SHUT_RDWR);
}

// ---- the UDP socket ---------------------------------------------------------------

TNetError TUdpSocket::Open() {
  Close();
  const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return errno;
  FHandle = s;
  const int on = 1;
  setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  return 0;
}

TNetError TUdpSocket::Bind(const std::string& address, uint16_t port) {
  sockaddr_in local;
  if (!ToSockAddr(address, port, local)) return EINVAL;
  return ErrorOf(
      bind(static_cast<int>(FHandle), reinterpret_cast<const sockaddr*>(&local), sizeof local));
}

TNetError TUdpSocket::SetMulticastInterface(const std::string& address) {
  in_addr local;
  if (!ToInAddr(address, local)) return EINVAL;
  return ErrorOf(
      setsockopt(static_cast<int>(FHandle), IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local));
}

TNetError TUdpSocket::SendTo(std::string_view bytes, const std::string& address, uint16_t port) {
  sockaddr_in target;
  if (!ToSockAddr(address, port, target)) return EINVAL;
  const ssize_t sent = sendto(static_cast<int>(FHandle), bytes.data(), bytes.size(), 0,
                              reinterpret_cast<const sockaddr*>(&target), sizeof target);
  return sent < 0 ? errno : 0;
}

bool TUdpSocket::WaitReadable(int timeoutMs) {
  pollfd p{static_cast<int>(FHandle), POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0;
}

std::optional<TDatagram> TUdpSocket::ReceiveFrom(void* buffer, size_t size) {
  sockaddr_in from{};
  socklen_t fromSize = sizeof from;
  // MSG_TRUNC answers the datagram's whole length, so a longer one is known.
  const ssize_t n = recvfrom(static_cast<int>(FHandle), buffer, size, MSG_TRUNC,
                             reinterpret_cast<sockaddr*>(&from), &fromSize);
  if (n < 0) return std::nullopt;
  TDatagram datagram;
  datagram.Truncated = static_cast<size_t>(n) > size;
  datagram.Length = datagram.Truncated ? size : static_cast<size_t>(n);
  if (from.sin_family == AF_INET) datagram.Sender = ToText(from.sin_addr);
  return datagram;
}

void TUdpSocket::Close() {
  if (FHandle == kNoSocket) return;
  close(static_cast<int>(FHandle));
  FHandle = kNoSocket;
}

}  // namespace zorvane
