// One HTTP exchange with libcurl: a handle per connection object, every option
// set for each request, redirects and authentication left to the caller.
#include "platform/http_exchange.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>

#include "common/error.h"
#include "common/text.h"
#include "platform/cancel.h"
#include "platform/messages.h"
#include "platform/posix/http_messages.h"
#include "platform/system_error.h"

namespace zorvane {

namespace {

std::atomic<bool> gCurlStarted{false};

constexpr unsigned kCurlOldestVersion = 0x073D00;         // 7.61.0
constexpr unsigned kCurlProtocolNamesVersion = 0x075500;  // 7.85.0

// What the libcurl in the process can do, read once. The library works with
// libcurl from 7.61 on; a newer option is used only where it exists.
struct TCurlFeatures {
  unsigned VersionNum = 0;
  std::string Version;
  // CURLOPT_PROTOCOLS_STR and CURLOPT_REDIR_PROTOCOLS_STR came with 7.85; the
  // bitmask options before them exist since 7.19.4.
  bool ProtocolNames = false;
  std::string Failure;  // why no exchange can be made, if so
};

const TCurlFeatures& CurlFeatures() {
  static const TCurlFeatures features = [] {
    TCurlFeatures f;
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      f.Failure = msg::kCurlNotStarted;
      return f;
    }
    gCurlStarted = true;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (!info) {
      f.Failure = msg::kCurlNoVersion;
      return f;
    }
    f.VersionNum = info->version_num;
    f.Version = info->version ? info->version : "?";
    f.ProtocolNames = f.VersionNum >= kCurlProtocolNamesVersion;
    if (f.VersionNum < kCurlOldestVersion) {
      f.Failure = msg::CurlTooOld(f.Version);
    }
    return f;
  }();
  return features;
}

const TCurlFeatures& EnsureCurl() {
  const TCurlFeatures& f = CurlFeatures();
  if (!f.Failure.empty()) throw Error(f.Failure);
  return f;
}

// Sets an option of the exchange; an option libcurl refuses stops the
// exchange before anything is sent, so none runs with a setting missing.
template <typename T>
void SetOption(CURL* c, CURLoption option, T value, const char* name) {
  const CURLcode rc = curl_easy_setopt(c, option, value);
  if (rc != CURLE_OK) {
    throw Error(msg::CurlRefused(CurlFeatures().Version, name) + ": " + curl_easy_strerror(rc));
  }
}
#define ZV_SETOPT(c, option, value) SetOption(c, option, value, #option)

// Only http and https reach libcurl, first request and redirects alike.
void RestrictProtocols(CURL* c, const TCurlFeatures& f) {
  if (f.ProtocolNames) {
    ZV_SETOPT(c, CURLOPT_PROTOCOLS_STR, "http,https");
    ZV_SETOPT(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    return;
  }
  // The bitmask options, deprecated where the names exist, are the only way
  // on older libcurl.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const long allowed = CURLPROTO_HTTP | CURLPROTO_HTTPS;
  ZV_SETOPT(c, CURLOPT_PROTOCOLS, allowed);
  ZV_SETOPT(c, CURLOPT_REDIR_PROTOCOLS, allowed);
#pragma GCC diagnostic pop
}

struct TSlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// The headers to send, and libcurl's own that we do not want.
std::unique_ptr<curl_slist, TSlistDeleter> RequestHeaders(const THttpExchangeRequest& r) {
  std::unique_ptr<curl_slist, TSlistDeleter> list;
  auto append = [&](const std::string& line) {
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (!longer) throw Error(msg::kCannotStartHttp);
    list.release();
    list.reset(longer);
  };
  for (const auto& [name, value] : r.Headers) append(name + ": " + value);
  append("Accept:");  // curl's default, not ours
  append("Expect:");
  return list;
}

// The pinned addresses of the request's host as CURLOPT_RESOLVE takes them:
// "cam.local:80:10.0.0.5,[fe80::1]".
std::string ResolveEntry(const THttpExchangeRequest& r) {
  std::string entry = r.Host + ":" + std::to_string(r.Port) + ":";
  for (size_t i = 0; i < r.PinnedAddresses.size(); ++i) {
    const THostAddress& a = r.PinnedAddresses[i];
    if (i > 0) entry += ',';
    entry += a.IPv6 ? "[" + a.Text + "]" : a.Text;
  }
  return entry;
}

// What the callbacks fill while libcurl runs one request.
struct TTransfer {
  std::string* Body;
  size_t MaxBytes;
  THttpExchangeAnswer* Answer;
  bool TooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  if (t->Body->size() + n > t->MaxBytes) {
    t->TooLarge = true;
    return 0;  // aborts the transfer
  }
  try {
    t->Body->append(data, n);
  } catch (...) {
    return 0;  // out of memory: the transfer ends, no exception through libcurl
  }
  return n;
}

// The value of a header line "Name: value" when its name is name.
bool HeaderValue(std::string_view line, std::string_view name, std::string_view& value) {
  if (line.size() <= name.size() || line[name.size()] != ':' ||
      !SameAsciiText(line.substr(0, name.size()), name))
    return false;
  value = line.substr(name.size() + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  return true;
}

void ReadHeader(std::string_view line, TTransfer& t) {
  THttpExchangeAnswer& a = *t.Answer;
  std::string_view value;
  if (line.substr(0, 5) == "HTTP/") {
    // A new response begins (after an interim one, say).
    a.StatusLine = std::string(line);
    a.ContentType.clear();
    a.Challenges.clear();
    a.Location.clear();
    t.Body->clear();
  } else if (HeaderValue(line, "Content-Length", value)) {
    // One allocation for the whole body, within the limit.
    const unsigned long long length = std::strtoull(std::string(value).c_str(), nullptr, 10);
    if (length > 0 && length <= t.MaxBytes) t.Body->reserve(static_cast<size_t>(length));
  } else if (HeaderValue(line, "Content-Type", value)) {
    a.ContentType = std::string(value.substr(0, kMaxContentTypeBytes));
  } else if (HeaderValue(line, "WWW-Authenticate", value) && a.Challenges.size() < kMaxChallenges) {
    a.Challenges.emplace_back(value.substr(0, kMaxChallengeBytes));
  } else if (HeaderValue(line, "Location", value)) {
    a.Location = std::string(value);
  }
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  const size_t n = size * count;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  try {
    ReadHeader(line, *static_cast<TTransfer*>(user));
  } catch (...) {
    return 0;  // out of memory: the transfer ends, no exception through libcurl
  }
  return n;
}

// Which limit ended a transfer, by when it ended: libcurl gives them one
// code. The whole limit ends it at TimeoutMs; the speed limit not before
// MinSpeedSeconds have passed; the connect limit, shorter than both, earlier.
THttpFailureKind TimeoutOf(long elapsedMs, const THttpExchangeRequest& r) {
  constexpr long kSlackMs = 50;  // libcurl looks at its clocks this often, at least
  if (elapsedMs + kSlackMs >= r.TimeoutMs) return THttpFailureKind::TimedOut;
  if (r.MinSpeedSeconds > 0 && elapsedMs + kSlackMs >= r.MinSpeedSeconds * 1000)
    return THttpFailureKind::TooSlow;
  return THttpFailureKind::ConnectTimedOut;
}

// What the libcurl failures the session tells apart mean; any other code is
// Other, and a time-out is told by TimeoutOf.
struct TCurlFailure {
  CURLcode Code;
  THttpFailureKind Kind;
};
constexpr TCurlFailure kCurlFailures[] = {
    {CURLE_COULDNT_RESOLVE_HOST, THttpFailureKind::NameNotFound},
    {CURLE_COULDNT_CONNECT, THttpFailureKind::CannotConnect},
    {CURLE_SSL_CONNECT_ERROR, THttpFailureKind::Tls},
    {CURLE_SSL_CIPHER, THttpFailureKind::Tls},
    {CURLE_SSL_CERTPROBLEM, THttpFailureKind::Tls},
    {CURLE_PEER_FAILED_VERIFICATION, THttpFailureKind::Tls},
    {CURLE_GOT_NOTHING, THttpFailureKind::ConnectionLost},
    {CURLE_PARTIAL_FILE, THttpFailureKind::ConnectionLost},
    {CURLE_RECV_ERROR, THttpFailureKind::ConnectionLost},
    {CURLE_SEND_ERROR, THttpFailureKind::ConnectionLost},
    {CURLE_FILESIZE_EXCEEDED, THttpFailureKind::TooLarge},
};

THttpFailureKind FailureKindOf(CURLcode rc) {
  for (const TCurlFailure& f : kCurlFailures) {
    if (f.Code == rc) return f.Kind;
  }
  return THttpFailureKind::Other;
}

// The system's words for a failure: for a connection that could not be
// made, the socket's own error ("Connection refused"); else libcurl's text
// of this transfer, or of its code.
std::string SystemTextOf(CURL* c, CURLcode rc, THttpFailureKind kind, const char* errorText) {
  long osError = 0;
  if (kind == THttpFailureKind::CannotConnect &&
      curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &osError) == CURLE_OK && osError != 0)
    return SystemErrorText(static_cast<int>(osError));
  if (kind == THttpFailureKind::CannotConnect) return curl_easy_strerror(rc);
  return errorText[0] ? errorText : curl_easy_strerror(rc);
}

}  // namespace

void HttpLibraryCleanup() {
  if (gCurlStarted.exchange(false)) curl_global_cleanup();
}

struct THttpConnection::TImpl {
  CURL* Curl = nullptr;
  bool CookiesStarted = false;
  // The cancel source of the request running now, for the sockets it opens.
  std::shared_ptr<TCancelSource> Cancel;
  // Open connections and the cancel source each was opened under.
  std::map<int, std::shared_ptr<TCancelSource>> Sockets;

  ~TImpl() { Close(); }
  void Close() {
    if (Curl) curl_easy_cleanup(Curl);
    Curl = nullptr;
    CookiesStarted = false;
  }
  void Open();
  // Connections are opened here, so that the request's cancel source can shut them.
  static curl_socket_t OpenSocket(void* self, curlsocktype, curl_sockaddr* a);
  static int CloseSocket(void* self, curl_socket_t socket);
  CURLcode Perform(const TCurlFeatures& features, const THttpExchangeRequest& r,
                   TTransfer& transfer, char* errorText);
};

void THttpConnection::TImpl::Open() {
  EnsureCurl();
  if (Curl) return;
  if (!(Curl = curl_easy_init())) throw Error(msg::kCannotStartHttp);
  try {
    // The closing side first: no socket is opened here that is not closed here.
    ZV_SETOPT(Curl, CURLOPT_CLOSESOCKETDATA, this);
    ZV_SETOPT(Curl, CURLOPT_CLOSESOCKETFUNCTION, &TImpl::CloseSocket);
    ZV_SETOPT(Curl, CURLOPT_OPENSOCKETDATA, this);
    ZV_SETOPT(Curl, CURLOPT_OPENSOCKETFUNCTION, &TImpl::OpenSocket);
  } catch (...) {
    Close();
    throw;
  }
}

curl_socket_t THttpConnection::TImpl::OpenSocket(void* self, curlsocktype, curl_sockaddr* a) {
  auto* impl = static_cast<TImpl*>(self);
  const std::shared_ptr<TCancelSource>& source = impl->Cancel;
  if (source && source->Cancelled()) return CURL_SOCKET_BAD;
  const int s = socket(a->family, a->socktype | SOCK_CLOEXEC, a->protocol);
  if (s < 0 || !source) return s < 0 ? CURL_SOCKET_BAD : s;
  try {
    // Noted first, so that the socket is never registered without the note
    // that takes it out again.
    impl->Sockets[s] = source;
    if (source->Register(s)) return s;
    impl->Sockets.erase(s);
  } catch (...) {
    // Out of memory: no connection rather than an exception through libcurl.
    impl->Sockets.erase(s);
  }
  close(s);
  return CURL_SOCKET_BAD;
}

int THttpConnection::TImpl::CloseSocket(void* self, curl_socket_t socket) {
  auto& sockets = static_cast<TImpl*>(self)->Sockets;
  if (const auto found = sockets.find(socket); found != sockets.end()) {
    found->second->Unregister(socket);
    sockets.erase(found);
  }
  return close(socket);
}

CURLcode THttpConnection::TImpl::Perform(const TCurlFeatures& features,
                                         const THttpExchangeRequest& r, TTransfer& transfer,
                                         char* errorText) {
  CURL* c = Curl;
  // Every option an exchange uses is set for each request; the open
  // connection and the cookies stay. (curl_easy_reset is not used: it would
  // drop the cookie engine's file list without freeing it.)
  const auto headers = RequestHeaders(r);
  std::unique_ptr<curl_slist, TSlistDeleter> pinned;
  if (!r.PinnedAddresses.empty()) {
    pinned.reset(curl_slist_append(nullptr, ResolveEntry(r).c_str()));
    if (!pinned) throw Error(msg::kCannotStartHttp);
  }

  ZV_SETOPT(c, CURLOPT_URL, r.Url.c_str());
  ZV_SETOPT(c, CURLOPT_ERRORBUFFER, errorText);
  ZV_SETOPT(c, CURLOPT_NOSIGNAL, 1L);
  ZV_SETOPT(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  RestrictProtocols(c, features);
  // Cameras are reached directly, never through a proxy from the environment.
  ZV_SETOPT(c, CURLOPT_NOPROXY, "*");
  ZV_SETOPT(c, CURLOPT_HTTPHEADER, headers.get());
  // The name was looked up already, within the time it had.
  ZV_SETOPT(c, CURLOPT_RESOLVE, pinned.get());
  // Redirects are the caller's to follow.
  ZV_SETOPT(c, CURLOPT_FOLLOWLOCATION, 0L);
  // The engine, once started, stays on: it is started once per handle (each
  // start leaves libcurl a file name to keep), and its cookies are dropped
  // when the caller asks.
  if (!CookiesStarted) {
    ZV_SETOPT(c, CURLOPT_COOKIEFILE, "");
    CookiesStarted = true;
  }
  if (!r.KeepCookies) ZV_SETOPT(c, CURLOPT_COOKIELIST, "ALL");
  ZV_SETOPT(c, CURLOPT_CONNECTTIMEOUT_MS, r.ConnectTimeoutMs);
  ZV_SETOPT(c, CURLOPT_TIMEOUT_MS, r.TimeoutMs);
  ZV_SETOPT(c, CURLOPT_LOW_SPEED_LIMIT, r.MinBytesPerSecond);
  ZV_SETOPT(c, CURLOPT_LOW_SPEED_TIME, r.MinSpeedSeconds);
  ZV_SETOPT(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(r.MaxBodyBytes));
  // Cameras ship self-signed certificates: TLS 1.2 or newer, no certificate check.
  ZV_SETOPT(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  ZV_SETOPT(c, CURLOPT_SSL_VERIFYPEER, 0L);
  ZV_SETOPT(c, CURLOPT_SSL_VERIFYHOST, 0L);
  ZV_SETOPT(c, CURLOPT_WRITEFUNCTION, &OnBody);
  ZV_SETOPT(c, CURLOPT_WRITEDATA, &transfer);
  ZV_SETOPT(c, CURLOPT_HEADERFUNCTION, &OnHeader);
  ZV_SETOPT(c, CURLOPT_HEADERDATA, &transfer);
  if (r.Method == THttpMethod::Post) {
    ZV_SETOPT(c, CURLOPT_POST, 1L);
    ZV_SETOPT(c, CURLOPT_POSTFIELDS, r.Body.data());
    ZV_SETOPT(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.Body.size()));
  } else {
    ZV_SETOPT(c, CURLOPT_HTTPGET, 1L);  // a POST before on this handle ends here
  }
  Cancel = r.Cancel;
  const CURLcode rc = curl_easy_perform(c);
  Cancel.reset();
  // Nothing of this request stays pointed at once it is over.
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(c, CURLOPT_RESOLVE, nullptr);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, nullptr);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, nullptr);
  return rc;
}

THttpCapabilities THttpConnection::Capabilities() {
  // The session's addresses go in as CURLOPT_RESOLVE; the sockets are opened
  // here and registered with the request's cancel source.
  return {.PinsAddresses = true, .CancelsFromAnotherThread = true};
}

THttpConnection::THttpConnection() : F(std::make_unique<TImpl>()) {}
THttpConnection::~THttpConnection() = default;
THttpConnection::THttpConnection(THttpConnection&&) noexcept = default;
THttpConnection& THttpConnection::operator=(THttpConnection&&) noexcept = default;

void THttpConnection::Open() {
  F->Open();
}

void THttpConnection::Close() {
  F->Close();
}

THttpExchangeAnswer THttpConnection::Exchange(const THttpExchangeRequest& request,
                                              std::string& body) {
  F->Open();
  THttpExchangeAnswer answer;
  TTransfer transfer{&body, request.MaxBodyBytes, &answer};
  body.clear();
  char errorText[CURL_ERROR_SIZE] = {};
  const auto start = std::chrono::steady_clock::now();
  const CURLcode rc = F->Perform(CurlFeatures(), request, transfer, errorText);
  if (rc == CURLE_OK) {
    curl_easy_getinfo(F->Curl, CURLINFO_RESPONSE_CODE, &answer.Status);
    return answer;
  }
  THttpFailure& failure = answer.Failure;
  failure.ElapsedMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - start)
                                            .count());
  failure.ReceivedBytes = body.size();
  failure.Kind = transfer.TooLarge                ? THttpFailureKind::TooLarge
                 : rc == CURLE_OPERATION_TIMEDOUT ? TimeoutOf(failure.ElapsedMs, request)
                                                  : FailureKindOf(rc);
  failure.SystemText = SystemTextOf(F->Curl, rc, failure.Kind, errorText);
  return answer;
}

}  // namespace zorvane
