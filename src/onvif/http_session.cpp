#include "onvif/http_session.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>

#include "common/error.h"
#include "common/log_writer.h"
#include "common/text.h"
#include "onvif/call_deadline.h"
#include "onvif/name_lookup.h"
#include "platform/crypto.h"

namespace zorvane {

namespace {

std::atomic<bool> gCurlStarted{false};

constexpr unsigned kCurlOldestVersion = 0x073D00;         // 7.61.0
constexpr unsigned kCurlProtocolNamesVersion = 0x075500;  // 7.85.0
constexpr int kMaxDigestRounds = 2;                       // a fresh challenge, then a stale nonce

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
      f.Failure = "The HTTP library (libcurl) could not be started";
      return f;
    }
    gCurlStarted = true;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (!info) {
      f.Failure = "The HTTP library (libcurl) does not tell its version";
      return f;
    }
    f.VersionNum = info->version_num;
    f.Version = info->version ? info->version : "?";
    f.ProtocolNames = f.VersionNum >= kCurlProtocolNamesVersion;
    if (f.VersionNum < kCurlOldestVersion) {
      f.Failure = "libcurl " + f.Version + " is too old; 7.61 or newer is needed";
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
    throw Error(std::string("libcurl ") + CurlFeatures().Version + " refused " + name + ": " +
                curl_easy_strerror(rc));
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

// Tells the log what an exchange did; a log that cannot be written does not stop it.
void LogInfo(const std::string& text) {
  TryWriteLog(text, TLogLevel::llInfo);
}

struct TSlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct TTransfer {
  std::string* Body;
  size_t MaxBytes;
  THttpAnswer* Answer;
  std::vector<std::string> Challenges;  // WWW-Authenticate values of the last response
  bool TooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  if (t->Body->size() + n > t->MaxBytes) {
    t->TooLarge = true;
    return 0;  // aborts the transfer
  }
  t->Body->append(data, n);
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

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::string_view value;
  if (line.substr(0, 5) == "HTTP/") {
    // A new response of the exchange begins.
    t->Answer->StatusLine = std::string(line);
    t->Answer->ContentType.clear();
    t->Challenges.clear();
    t->Body->clear();
  } else if (HeaderValue(line, "Content-Length", value)) {
    // One allocation for the whole body, within the limit.
    const unsigned long long length = std::strtoull(std::string(value).c_str(), nullptr, 10);
    if (length > 0 && length <= t->MaxBytes) t->Body->reserve(static_cast<size_t>(length));
  } else if (HeaderValue(line, "Content-Type", value)) {
    t->Answer->ContentType = std::string(value.substr(0, 200));
  } else if (HeaderValue(line, "WWW-Authenticate", value) && t->Challenges.size() < 16) {
    t->Challenges.emplace_back(value.substr(0, 4096));
  }
  return n;
}

// "Basic " and the Base64 of login:password, each character one byte
// (ISO-8859-1); a character beyond that range is sent as "?".
std::string BasicAuthorization(const std::string& login, const std::string& password) {
  const std::u16string text = ToUtf16(login + ":" + password);
  std::string latin1;
  latin1.reserve(text.size());
  for (char16_t c : text) latin1 += c < 0x100 ? static_cast<char>(c) : '?';
  return "Basic " + Base64Encode(latin1);
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string NewClientNonce() {
  unsigned char bytes[16];
  RandomBytes(bytes, sizeof bytes);
  return LowerHex(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

long MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

}  // namespace

std::string StatusText(const THttpAnswer& a) {
  const size_t first = a.StatusLine.find(' ');
  if (first == std::string::npos) return std::to_string(a.Status);
  std::string text = a.StatusLine.substr(first + 1);
  return text.empty() ? std::to_string(a.Status) : text;
}

void RequireHttpScheme(const std::string& url) {
  const size_t colon = url.find(':');
  const std::string scheme = colon == std::string::npos ? "" : url.substr(0, colon);
  if (SameAsciiText(scheme, "http") || SameAsciiText(scheme, "https")) return;
  if (scheme.empty() || scheme.size() > 32 || scheme.find_first_of("/?#@ ") != std::string::npos)
    throw Error("Invalid URL (no scheme): " + PrintableUrl(url));
  throw Error("Unsupported URL scheme \"" + scheme +
              "\" (only http and https): " + PrintableUrl(url));
}

TUrlParts SplitUrl(const std::string& url) {
  TUrlParts p;
  const size_t colon = url.find("://");
  if (colon == std::string::npos || colon == 0) throw Error("Invalid URL (no scheme): " + url);
  p.scheme = url.substr(0, colon);
  std::string rest = url.substr(colon + 3);
  if (const size_t hash = rest.find('#'); hash != std::string::npos) {
    p.fragment = rest.substr(hash + 1);
    rest.resize(hash);
  }
  if (const size_t q = rest.find('?'); q != std::string::npos) {
    p.query = rest.substr(q + 1);
    rest.resize(q);
  }
  const size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  const std::string fullPath = slash == std::string::npos ? "/" : rest.substr(slash);
  if (const size_t at = authority.rfind('@'); at != std::string::npos) {
    p.userInfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
  }
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) throw Error("Invalid URL (bad host): " + url);
    p.host = authority.substr(0, close + 1);
    if (close + 1 < authority.size() && authority[close + 1] == ':')
      p.port = authority.substr(close + 2);
  } else if (const size_t c = authority.rfind(':'); c != std::string::npos) {
    p.host = authority.substr(0, c);
    p.port = authority.substr(c + 1);
  } else {
    p.host = authority;
  }
  if (p.host.empty()) throw Error("Invalid URL (no host): " + url);
  const size_t last = fullPath.rfind('/');
  p.path = fullPath.substr(0, last + 1);
  p.document = fullPath.substr(last + 1);
  return p;
}

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The URL's parts, its port the scheme's own when none is written; false
// for a URL without scheme or host.
bool SplitAddress(const std::string& url, TUrlParts& parts) {
  try {
    parts = SplitUrl(url);
  } catch (const Error&) {
    return false;
  }
  parts.scheme = Lower(parts.scheme);
  if (parts.port.empty()) parts.port = parts.scheme == "https" ? "443" : "80";
  return true;
}

}  // namespace

std::string OriginOf(const std::string& url) {
  TUrlParts p;
  if (!SplitAddress(url, p)) return {};
  return p.scheme + "://" + Lower(p.host) + ":" + p.port;
}

std::string PrintableUrl(const std::string& url) {
  return MaskUrlCredentials(url);
}

void HttpGlobalCleanup() {
  WaitForNameLookups();
  if (gCurlStarted.exchange(false)) curl_global_cleanup();
}

struct THttpSession::TImpl {
  CURL* Curl = nullptr;
  std::string Login;
  std::string Password;
  std::vector<std::string> Origins;  // where the credentials may go
  bool HasChallenge = false;
  TDigestChallenge Challenge;
  std::string ChallengeOrigin;
  unsigned Nc = 0;
  bool DigestLogged = false;
  bool CookiesStarted = false;
  std::map<std::string, std::string> Resolved;  // "host:port" -> its addresses
  // Open connections and the cancel source each was opened under.
  std::map<int, std::shared_ptr<TCancelSource>> Sockets;

  ~TImpl() { Close(); }
  void Close() {
    if (Curl) curl_easy_cleanup(Curl);
    Curl = nullptr;
    CookiesStarted = false;
  }
  bool MaySend(const std::string& origin) const {
    return !Login.empty() && std::find(Origins.begin(), Origins.end(), origin) != Origins.end();
  }
  // Connections are opened here, so that a cancel source current on the
  // exchanging thread can shut them.
  static curl_socket_t OpenSocket(void* self, curlsocktype, curl_sockaddr* a);
  static int CloseSocket(void* self, curl_socket_t socket);
  CURLcode PerformOne(const TCurlFeatures& features, const THttpRequest& r, const std::string& url,
                      bool post, bool firstHop, const std::string& authorization,
                      const std::string& resolve, long timeoutMs, TTransfer& transfer,
                      char* errorText);
  // "host:port:addresses" for libcurl, the name looked up within timeoutMs
  // (once per connection); empty for a host that is an address.
  std::string Resolve(const std::string& url, long timeoutMs);
};

std::string THttpSession::TImpl::Resolve(const std::string& url, long timeoutMs) {
  TUrlParts p;
  if (!SplitAddress(url, p)) return {};
  const std::string key = p.host + ":" + p.port;
  if (const auto known = Resolved.find(key); known != Resolved.end()) return known->second;
  const std::string addresses = ResolveWithin(p.host, timeoutMs);
  if (addresses.empty()) return {};
  return Resolved[key] = key + ":" + addresses;
}

curl_socket_t THttpSession::TImpl::OpenSocket(void* self, curlsocktype, curl_sockaddr* a) {
  const std::shared_ptr<TCancelSource>& source = TCallCancel::Current();
  if (source && source->Cancelled()) return CURL_SOCKET_BAD;
  const int s = socket(a->family, a->socktype | SOCK_CLOEXEC, a->protocol);
  if (s < 0 || !source) return s < 0 ? CURL_SOCKET_BAD : s;
  try {
    // Noted first, so that the socket is never registered without the note
    // that takes it out again.
    auto& sockets = static_cast<TImpl*>(self)->Sockets;
    sockets[s] = source;
    if (source->Register(s)) return s;
    sockets.erase(s);
  } catch (...) {
    // Out of memory: no connection rather than an exception through libcurl.
    static_cast<TImpl*>(self)->Sockets.erase(s);
  }
  close(s);
  return CURL_SOCKET_BAD;
}

int THttpSession::TImpl::CloseSocket(void* self, curl_socket_t socket) {
  auto& sockets = static_cast<TImpl*>(self)->Sockets;
  if (const auto found = sockets.find(socket); found != sockets.end()) {
    found->second->Unregister(socket);
    sockets.erase(found);
  }
  return close(socket);
}

CURLcode THttpSession::TImpl::PerformOne(const TCurlFeatures& features, const THttpRequest& r,
                                         const std::string& url, bool post, bool firstHop,
                                         const std::string& authorization,
                                         const std::string& resolve, long timeoutMs,
                                         TTransfer& transfer, char* errorText) {
  CURL* c = Curl;
  // Every option an exchange uses is set for each request; the open
  // connection and the cookies stay. (curl_easy_reset is not used: it would
  // drop the cookie engine's file list without freeing it.)
  curl_slist* list = nullptr;
  list = curl_slist_append(list, ("Content-Type: " + r.ContentType).c_str());
  list = curl_slist_append(list, "Accept:");  // curl's default, not ours
  list = curl_slist_append(list, "Expect:");
  if (!authorization.empty())
    list = curl_slist_append(list, ("Authorization: " + authorization).c_str());
  std::unique_ptr<curl_slist, TSlistDeleter> headers(list);
  if (!list) throw Error("Cannot start an HTTP exchange");
  std::unique_ptr<curl_slist, TSlistDeleter> pinned(
      resolve.empty() ? nullptr : curl_slist_append(nullptr, resolve.c_str()));

  ZV_SETOPT(c, CURLOPT_URL, url.c_str());
  ZV_SETOPT(c, CURLOPT_ERRORBUFFER, errorText);
  ZV_SETOPT(c, CURLOPT_NOSIGNAL, 1L);
  ZV_SETOPT(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  RestrictProtocols(c, features);
  // Cameras are reached directly, never through a proxy from the environment.
  ZV_SETOPT(c, CURLOPT_NOPROXY, "*");
  ZV_SETOPT(c, CURLOPT_HTTPHEADER, headers.get());
  // The name was looked up already, within the time it had.
  ZV_SETOPT(c, CURLOPT_RESOLVE, pinned.get());
  // Redirects are followed by the session, hop by hop.
  ZV_SETOPT(c, CURLOPT_FOLLOWLOCATION, 0L);
  // Cookies live as long as one exchange: kept between its hops, dropped before the next.
  // The engine, once started, stays on across resets: it is started once per
  // handle (each start leaves libcurl a file name to keep).
  if (!CookiesStarted) {
    ZV_SETOPT(c, CURLOPT_COOKIEFILE, "");
    CookiesStarted = true;
  }
  if (firstHop) ZV_SETOPT(c, CURLOPT_COOKIELIST, "ALL");
  ZV_SETOPT(c, CURLOPT_CONNECTTIMEOUT_MS, std::min(kConnectTimeoutMs, timeoutMs));
  ZV_SETOPT(c, CURLOPT_TIMEOUT_MS, timeoutMs);
  ZV_SETOPT(c, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimitBytes);
  ZV_SETOPT(c, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSeconds);
  ZV_SETOPT(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(r.MaxBytes));
  // Cameras ship self-signed certificates: TLS 1.2 or newer, no certificate check.
  ZV_SETOPT(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  ZV_SETOPT(c, CURLOPT_SSL_VERIFYPEER, 0L);
  ZV_SETOPT(c, CURLOPT_SSL_VERIFYHOST, 0L);
  ZV_SETOPT(c, CURLOPT_WRITEFUNCTION, &OnBody);
  ZV_SETOPT(c, CURLOPT_WRITEDATA, &transfer);
  ZV_SETOPT(c, CURLOPT_HEADERFUNCTION, &OnHeader);
  ZV_SETOPT(c, CURLOPT_HEADERDATA, &transfer);
  if (post) {
    ZV_SETOPT(c, CURLOPT_POST, 1L);
    ZV_SETOPT(c, CURLOPT_POSTFIELDS, r.Body.data());
    ZV_SETOPT(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.Body.size()));
  } else {
    ZV_SETOPT(c, CURLOPT_HTTPGET, 1L);  // a POST before on this handle ends here
  }
  const CURLcode rc = curl_easy_perform(c);
  // Nothing of this request stays pointed at once it is over.
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(c, CURLOPT_RESOLVE, nullptr);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, nullptr);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, nullptr);
  return rc;
}

THttpSession::THttpSession() : F(std::make_unique<TImpl>()) {}
THttpSession::~THttpSession() = default;
THttpSession::THttpSession(THttpSession&&) noexcept = default;
THttpSession& THttpSession::operator=(THttpSession&&) noexcept = default;

void THttpSession::SetCredentials(const std::string& login, const std::string& password) {
  if (login != F->Login || password != F->Password) F->HasChallenge = false;
  F->Login = login;
  F->Password = password;
}

void THttpSession::AllowCredentialsFor(const std::string& url) {
  const std::string origin = OriginOf(url);
  if (origin.empty()) return;
  if (std::find(F->Origins.begin(), F->Origins.end(), origin) == F->Origins.end())
    F->Origins.push_back(origin);
}

void THttpSession::Reset() {
  F->Close();
  F->Origins.clear();
  F->HasChallenge = false;
  F->DigestLogged = false;
  F->Resolved.clear();
}

THttpAnswer THttpSession::Exchange(const THttpRequest& request, std::string& body) {
  RequireHttpScheme(request.Url);
  const TCurlFeatures& features = EnsureCurl();
  // A line break in the login would add headers of its own.
  if (HasControlCharacter(F->Login)) throw Error("Логин камеры содержит управляющие символы");
  if (!F->Curl) {
    if (!(F->Curl = curl_easy_init())) throw Error("Cannot start an HTTP exchange");
    try {
      // The closing side first: no socket is opened here that is not closed here.
      ZV_SETOPT(F->Curl, CURLOPT_CLOSESOCKETDATA, F.get());
      ZV_SETOPT(F->Curl, CURLOPT_CLOSESOCKETFUNCTION, &TImpl::CloseSocket);
      ZV_SETOPT(F->Curl, CURLOPT_OPENSOCKETDATA, F.get());
      ZV_SETOPT(F->Curl, CURLOPT_OPENSOCKETFUNCTION, &TImpl::OpenSocket);
    } catch (...) {
      F->Close();
      throw;
    }
  }

  const auto start = std::chrono::steady_clock::now();
  std::string url = request.Url;
  bool post = request.Post;
  int hops = 0;
  int digestRounds = 0;
  bool challengeOfThisExchange = false;
  for (;;) {
    const std::string origin = OriginOf(url);
    const bool maySend = F->MaySend(origin);
    std::string authorization;
    const bool sendDigest = maySend && F->HasChallenge && F->ChallengeOrigin == origin;
    if (sendDigest) {
      authorization = DigestAuthorization(
          F->Challenge, F->Login, F->Password, post ? "POST" : "GET", RequestTarget(url),
          post ? request.Body : std::string_view(), ++F->Nc, NewClientNonce());
    } else if (maySend && request.BasicFirst) {
      authorization = BasicAuthorization(F->Login, F->Password);
    }

    // The name, looked up within the connect limit and the call's deadline.
    const long lookupMs = TCallDeadline::RemainingMs(
        std::min(kConnectTimeoutMs, std::max(1L, request.TimeoutMs - MillisecondsSince(start))),
        request.Step);
    std::string resolve;
    try {
      resolve = F->Resolve(url, lookupMs);
    } catch (const Error& e) {
      throw Error(std::string(e.what()) + ": " + PrintableUrl(url));
    }
    // What is left of the exchange's own limit, within the call's deadline.
    const long left = std::max(1L, request.TimeoutMs - MillisecondsSince(start));
    const long timeoutMs = TCallDeadline::RemainingMs(left, request.Step);
    const bool deadlineBounds = TCallDeadline::Bounds(left - 1);

    THttpAnswer answer;
    TTransfer transfer{&body, request.MaxBytes, &answer, {}};
    body.clear();
    char errorText[CURL_ERROR_SIZE] = {};
    const CURLcode rc = F->PerformOne(features, request, url, post, hops == 0 && digestRounds == 0,
                                      authorization, resolve, timeoutMs, transfer, errorText);
    if (rc != CURLE_OK) TCallCancel::ThrowIfCancelled();
    const std::string where = PrintableUrl(url);
    if (transfer.TooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
      throw Error("The camera's answer is larger than " + std::to_string(request.MaxBytes >> 20) +
                  " MiB: " + where);
    }
    if (rc == CURLE_OPERATION_TIMEDOUT && deadlineBounds) {
      throw Error(TCallDeadline::ExpiredMessage(request.Step) + ": " + where);
    }
    if (rc != CURLE_OK) {
      throw Error(std::string(errorText[0] ? errorText : curl_easy_strerror(rc)) + ": " + where);
    }
    curl_easy_getinfo(F->Curl, CURLINFO_RESPONSE_CODE, &answer.Status);
    answer.Url = url;

    if (answer.Status == 401) {
      TDigestChallenge challenge;
      answer.DigestChallenge = ParseDigestChallenge(transfer.Challenges, challenge);
      // Answered at once with the full body: the first challenge of the
      // exchange, a remembered one the camera no longer takes, or a stale nonce.
      const bool answerIt = answer.DigestChallenge && maySend && digestRounds < kMaxDigestRounds &&
                            (!sendDigest || !challengeOfThisExchange || challenge.Stale);
      if (answerIt) {
        F->Challenge = challenge;
        F->HasChallenge = true;
        F->ChallengeOrigin = origin;
        F->Nc = 0;
        ++digestRounds;
        challengeOfThisExchange = true;
        if (!F->DigestLogged) {
          F->DigestLogged = true;
          LogInfo("camera asked for HTTP Digest (" + challenge.Algorithm +
                  "); request answered with it");
        }
        continue;
      }
      if (sendDigest) F->HasChallenge = false;  // refused: the next request starts afresh
      answer.CredentialsWithheld = !F->Login.empty() && !maySend;
      return answer;
    }
    if (IsRedirect(answer.Status)) {
      char* next = nullptr;
      if (curl_easy_getinfo(F->Curl, CURLINFO_REDIRECT_URL, &next) == CURLE_OK && next && *next) {
        if (++hops > kMaxRedirects) {
          throw Error("Too many redirects (more than " + std::to_string(kMaxRedirects) +
                      "): " + PrintableUrl(request.Url));
        }
        std::string target = next;
        RequireHttpScheme(target);
        // 301 and 302 repeat the POST, as 307 and 308 do; 303 turns it into a GET.
        if (answer.Status == 303) post = false;
        url = std::move(target);
        digestRounds = 0;
        challengeOfThisExchange = false;
        continue;
      }
    }
    return answer;
  }
}

}  // namespace zorvane
