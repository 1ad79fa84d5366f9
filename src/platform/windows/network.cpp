#include "platform/network.h"

// clang-format off
// winsock2.h before windows.h, and before iphlpapi.h, which needs its types.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <mswsock.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <climits>
#include <mutex>

#include "common/error.h"
#include "platform/messages.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

namespace {

constexpr DWORD kHostNameChars = 256;           // a DNS name has at most 255
constexpr ULONG kAdapterListBytes = 16 * 1024;  // enough for most machines at once
constexpr int kAdapterListAttempts = 4;         // the list may grow between the calls

// Winsock counts the starts of its users. This one starts it once and never
// stops it: stopping is not allowed while the loader unloads the add-in, and
// the count left behind costs nothing. A failed start is tried again next time.
TNetError StartWinsock() {
  static std::mutex lock;
  static bool started = false;
  std::lock_guard<std::mutex> guard(lock);
  if (started) return 0;
  WSADATA data;
  if (const int error = WSAStartup(MAKEWORD(2, 2), &data)) return error;
  started = true;
  return 0;
}

SOCKET Native(TSocketHandle handle) {
  return static_cast<SOCKET>(handle);
}

// The system's text for an error code with the code beside it, which tells
// apart Winsock errors whose words are alike; the code alone where the
// system has no words for it.
std::string ErrorText(TNetError error) {
  const std::string code = std::to_string(error);
  const std::string text = WindowsErrorText(static_cast<unsigned long>(error));
  return text == msg::ErrorCodeOnly(error) ? text : text + " (" + code + ")";
}

bool ToInAddr(const std::string& text, IN_ADDR& address) {
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool ToSockAddr(const std::string& text, uint16_t port, sockaddr_in& address) {
  address = sockaddr_in{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  return ToInAddr(text, address.sin_addr);
}

std::string ToText(const IN_ADDR& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// 0, or Winsock's error of the call that answered result.
TNetError ErrorOf(int result) {
  return result == SOCKET_ERROR ? WSAGetLastError() : 0;
}

}  // namespace

void ThrowNetError(const std::string& what, TNetError error) {
  throw Error(what + ": " + ErrorText(error));
}

bool IsIPv4Address(const std::string& text) {
  IN_ADDR address;
  return ToInAddr(text, address);
}

bool IsIPv6Address(const std::string& text) {
  IN6_ADDR address;
  return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

TNetError HostName(std::string& name) {
  // The name gethostname gives, but in UTF-16 rather than the ANSI code page.
  wchar_t text[kHostNameChars] = {};
  DWORD length = kHostNameChars;
  if (!GetComputerNameExW(ComputerNameDnsHostname, text, &length))
    return static_cast<TNetError>(GetLastError());
  name = Narrow(std::wstring_view(text, length));
  return 0;
}

std::vector<THostAddress> LookupHost(const std::string& name, TAddressFamily family) {
  if (StartWinsock() != 0) return {};
  ADDRINFOW hints{};
  hints.ai_family = family == TAddressFamily::IPv4 ? AF_INET : AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  if (GetAddrInfoW(Wide(name).c_str(), nullptr, &hints, &found) != 0) return {};
  std::vector<THostAddress> addresses;
  for (const ADDRINFOW* a = found; a; a = a->ai_next) {
    char text[NI_MAXHOST] = {};
    if (getnameinfo(a->ai_addr, static_cast<socklen_t>(a->ai_addrlen), text, sizeof text, nullptr,
                    0, NI_NUMERICHOST) != 0)
      continue;
    addresses.push_back({text, a->ai_family == AF_INET6});
  }
  FreeAddrInfoW(found);
  return addresses;
}

TNetError ListLocalIPv4Addresses(std::vector<std::string>& addresses) {
  constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                           GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
  // Whole ULONGLONGs: the records want 8-byte alignment.
  std::vector<ULONGLONG> buffer;
  ULONG size = kAdapterListBytes;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int i = 0; i < kAdapterListAttempts && result == ERROR_BUFFER_OVERFLOW; ++i) {
    buffer.resize(size / sizeof(ULONGLONG) + 1);
    result = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  addresses.clear();
  if (result == ERROR_NO_DATA) return 0;
  if (result != NO_ERROR) return static_cast<TNetError>(result);
  for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
    if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || a->OperStatus != IfOperStatusUp) continue;
    for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
      const sockaddr* address = u->Address.lpSockaddr;
      if (address && address->sa_family == AF_INET)
        addresses.push_back(ToText(reinterpret_cast<const sockaddr_in*>(address)->sin_addr));
    }
  }
  return 0;
}

void ShutdownSocket(TSocketHandle socket) {
  shutdown(Native(socket), SD_BOTH);
  // Shutting alone leaves a receive or a poll already waiting in another
  // thread to wait on; cancelling the socket's I/O ends them now.
  CancelIoEx(reinterpret_cast<HANDLE>(Native(socket)), nullptr);
}

// ---- the UDP socket ---------------------------------------------------------------

TNetError TUdpSocket::Open() {
  Close();
  if (const TNetError error = StartWinsock()) return error;
  // socket()'s own flags, and no inheritance.
  SOCKET s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL) {
    // Windows 7 without its service pack lacks the flag: the handle is made
    // uninheritable afterwards.
    s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s != INVALID_SOCKET)
      SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  }
  if (s == INVALID_SOCKET) return WSAGetLastError();
  FHandle = static_cast<TSocketHandle>(s);
  const BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
  // Else an ICMP "port unreachable" for an earlier datagram fails the next
  // receive, which would tell nothing about the datagram waiting.
  BOOL report = FALSE;
  DWORD unused = 0;
  WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &unused, nullptr, nullptr);
  return 0;
}

TNetError TUdpSocket::Bind(const std::string& address, uint16_t port) {
  sockaddr_in local;
  if (!ToSockAddr(address, port, local)) return WSAEINVAL;
  return ErrorOf(bind(Native(FHandle), reinterpret_cast<const sockaddr*>(&local), sizeof local));
}

TNetError TUdpSocket::SetMulticastInterface(const std::string& address) {
  IN_ADDR local;
  if (!ToInAddr(address, local)) return WSAEINVAL;
  return ErrorOf(setsockopt(Native(FHandle), IPPROTO_IP, IP_MULTICAST_IF,
                            reinterpret_cast<const char*>(&local), sizeof local));
}

TNetError TUdpSocket::SendTo(std::string_view bytes, const std::string& address, uint16_t port) {
  sockaddr_in target;
  if (!ToSockAddr(address, port, target)) return WSAEINVAL;
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return WSAEMSGSIZE;
  return ErrorOf(sendto(Native(FHandle), bytes.data(), static_cast<int>(bytes.size()), 0,
                        reinterpret_cast<const sockaddr*>(&target), sizeof target));
}

bool TUdpSocket::WaitReadable(int timeoutMs) {
  WSAPOLLFD p{};
  p.fd = Native(FHandle);
  p.events = POLLRDNORM;
  return WSAPoll(&p, 1, timeoutMs) > 0;
}

std::optional<TDatagram> TUdpSocket::ReceiveFrom(void* buffer, size_t size) {
  const int capacity = static_cast<int>(std::min<size_t>(size, INT_MAX));
  sockaddr_in from{};
  int fromSize = sizeof from;
  const int n = recvfrom(Native(FHandle), static_cast<char*>(buffer), capacity, 0,
                         reinterpret_cast<sockaddr*>(&from), &fromSize);
  TDatagram datagram;
  if (n == SOCKET_ERROR) {
    // A longer datagram fills the buffer and fails the call.
    if (WSAGetLastError() != WSAEMSGSIZE) return std::nullopt;
    datagram.Truncated = true;
    datagram.Length = static_cast<size_t>(capacity);
  } else {
    datagram.Length = static_cast<size_t>(n);
  }
  if (from.sin_family == AF_INET) datagram.Sender = ToText(from.sin_addr);
  return datagram;
}

void TUdpSocket::Close() {
  if (FHandle == kNoSocket) return;
  closesocket(Native(FHandle));
  FHandle = kNoSocket;
}

}  // namespace zorvane
