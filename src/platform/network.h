// Sockets, name lookups and the host's interfaces: the few network operations
// the camera search and the name lookups need, over BSD sockets on Linux and
// Winsock on Windows (started on first use). Addresses cross this interface as
// numeric text; failures as the system's error code, which the caller turns
// into its own message with ThrowNetError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane {

// A socket as the system names it: a descriptor on Linux, a SOCKET on Windows.
// Both fit, and an int descriptor converts to it as it is.
using TSocketHandle = std::intptr_t;
inline constexpr TSocketHandle kNoSocket = -1;

// The system's code of a failed network call: errno on Linux, a Windows
// system error code (Winsock's among them) on Windows. 0 is success.
using TNetError = int;

// Throws Error("<what>: <the system's text for error>").
[[noreturn]] void ThrowNetError(const std::string& what, TNetError error);

bool IsIPv4Address(const std::string& text);  // dotted form, "10.0.0.5"
bool IsIPv6Address(const std::string& text);  // without brackets, "fe80::1"

// This machine's host name.
[[nodiscard]] TNetError HostName(std::string& name);

enum class TAddressFamily { IPv4, Any };

struct THostAddress {
  std::string Text;  // numeric, an IPv6 one without brackets
  bool IPv6 = false;
};

// The addresses of a host name as the system's resolver gives them, repeats
// included; empty when the name is unknown or cannot be looked up. Blocks for
// as long as the resolver takes.
std::vector<THostAddress> LookupHost(const std::string& name, TAddressFamily family);

// The host's IPv4 unicast addresses in dotted form, in the order the network
// stack lists its interfaces; loopback interfaces are left out, and on
// Windows the interfaces that are not up.
[[nodiscard]] TNetError ListLocalIPv4Addresses(std::vector<std::string>& addresses);

// Shuts both directions of a connection, so that a transfer blocked on it in
// another thread ends now; the socket itself stays open for its owner to close.
void ShutdownSocket(TSocketHandle socket);

struct TDatagram {
  size_t Length = 0;       // bytes placed in the buffer
  bool Truncated = false;  // the datagram was longer than the buffer; the rest is lost
  std::string Sender;      // the sender's IPv4 address
};

// A UDP socket over IPv4, closed with the object. Child processes do not
// inherit it.
class TUdpSocket {
 public:
  TUdpSocket() = default;
  TUdpSocket(const TUdpSocket&) = delete;
  TUdpSocket& operator=(const TUdpSocket&) = delete;
  ~TUdpSocket() { Close(); }

  // A new socket that may send broadcasts, in place of any open one.
  [[nodiscard]] TNetError Open();
  // To a local address ("0.0.0.0": every one) and port (0: one the system picks).
  [[nodiscard]] TNetError Bind(const std::string& address, uint16_t port);
  // Multicast datagrams leave through the interface that has this address;
  // binding alone does not choose it.
  [[nodiscard]] TNetError SetMulticastInterface(const std::string& address);
  // One datagram, sent whole or not at all.
  [[nodiscard]] TNetError SendTo(std::string_view bytes, const std::string& address, uint16_t port);
  // Whether a datagram (or an error to collect) is waiting, after at most
  // timeoutMs; false also when the wait itself fails or is interrupted.
  bool WaitReadable(int timeoutMs);
  // The next datagram, waiting for one unless WaitReadable said it is there;
  // nothing when the receiving fails.
  std::optional<TDatagram> ReceiveFrom(void* buffer, size_t size);
  void Close();

  bool IsOpen() const { return FHandle != kNoSocket; }
  TSocketHandle Handle() const { return FHandle; }

 private:
  TSocketHandle FHandle = kNoSocket;
};

}  // namespace zorvane
