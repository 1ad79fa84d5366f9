#include "onvif/soap_transport.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "common/error.h"
#include "common/text.h"
#include "onvif/namespaces.h"
#include "xml/xml_document.h"

namespace zorvane {

std::string ExpandNamespaces(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 512);
  size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    if (text[i] == '{') {
      for (const TNamespaceToken& t : kNamespaceTokens) {
        if (text.substr(i, t.Token.size()) == t.Token) {
          out += t.Identifier;
          i += t.Token.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

namespace {

// The header block; the prefix s is declared where it is used, so strict
// XML readers accept the envelope.
constexpr char kSecurityHeader[] =
    "<Security xmlns=\"{WSSE}\" xmlns:s=\"{SOAP12}\" s:mustUnderstand=\"1\"> <UsernameToken> "
    "<Username>%s</Username> <Password Type=\"{WSSE-DIGEST}\">%s</Password> <Nonce "
    "EncodingType=\"{WSSE-BASE64}\">%s</Nonce> <Created xmlns=\"{WSU}\">%s</Created> "
    "</UsernameToken> </Security> </soap:Header>";

}  // namespace

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

bool IsDefaultPort(const std::string& scheme, const std::string& port) {
  return (SameAsciiText(scheme, "http") && port == "80") ||
         (SameAsciiText(scheme, "https") && port == "443");
}

// The URL as it may appear in a message: without user name and password.
std::string Printable(const std::string& url) {
  const size_t colon = url.find("://");
  if (colon == std::string::npos) return url;
  const size_t start = colon + 3;
  const size_t end = url.find_first_of("/?#", start);
  const size_t at = url.rfind('@', end == std::string::npos ? url.size() : end);
  if (at == std::string::npos || at < start) return url;
  return url.substr(0, start) + url.substr(at + 1);
}

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

struct TCurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct TSlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct TExchange {
  std::string url;
  std::string contentType = kSoap11ContentType;
  bool post = false;
  std::string_view body;
  long timeoutMs = kSoapExchangeTimeoutMs;
  size_t maxBytes = kMaxSoapAnswerBytes;
  std::string basicAuthorization;  // the header value, when Basic is sent
  bool digest = false;
  std::string login, password;
};

struct TAnswer {
  explicit TAnswer(std::string& bodyBuffer) : body(bodyBuffer) { body.clear(); }
  long status = 0;
  std::string statusLine;
  std::string& body;  // the caller's buffer: its capacity is reused
  bool digestChallenge = false;
};

struct TTransfer {
  TAnswer* answer;
  size_t maxBytes;
  bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  if (t->answer->body.size() + n > t->maxBytes) {
    t->tooLarge = true;
    return 0;  // aborts the transfer
  }
  t->answer->body.append(data, n);
  return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    // A new response of the exchange begins.
    t->answer->statusLine = std::string(line);
    t->answer->digestChallenge = false;
    t->answer->body.clear();
  } else if (line.size() > 15 && SameAsciiText(line.substr(0, 15), "Content-Length:")) {
    // One allocation for the whole body, within the limit.
    const unsigned long long length =
        std::strtoull(std::string(line.substr(15)).c_str(), nullptr, 10);
    if (length > 0 && length <= t->maxBytes) t->answer->body.reserve(static_cast<size_t>(length));
  } else if (line.size() > 17 && SameAsciiText(line.substr(0, 17), "WWW-Authenticate:")) {
    std::string_view value = line.substr(17);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    if (value.size() >= 6 && SameAsciiText(value.substr(0, 6), "Digest"))
      t->answer->digestChallenge = true;
  }
  return n;
}

// The reason phrase of a status line "HTTP/1.1 401 Unauthorized".
std::string StatusText(const TAnswer& a) {
  const size_t first = a.statusLine.find(' ');
  if (first == std::string::npos) return std::to_string(a.status);
  std::string text = a.statusLine.substr(first + 1);
  return text.empty() ? std::to_string(a.status) : text;
}

// Cameras are reached over http and https only; any other address (a file,
// gopher, dict, ldap …), whether the user or a camera named it, is refused
// before libcurl sees it.
void RequireHttpScheme(const std::string& url) {
  const size_t colon = url.find(':');
  const std::string scheme = colon == std::string::npos ? "" : url.substr(0, colon);
  if (SameAsciiText(scheme, "http") || SameAsciiText(scheme, "https")) return;
  if (scheme.empty() || scheme.size() > 32 || scheme.find_first_of("/?#") != std::string::npos)
    throw Error("Invalid URL (no scheme): " + Printable(url));
  throw Error("Unsupported URL scheme \"" + scheme + "\" (only http and https): " + Printable(url));
}

// One exchange; the final body goes into body.
TAnswer Perform(const TExchange& x, std::string& body) {
  RequireHttpScheme(x.url);
  const TCurlFeatures& features = EnsureCurl();
  std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
  if (!curl) throw Error("Cannot start an HTTP exchange");
  CURL* c = curl.get();
  TAnswer answer(body);
  TTransfer transfer{&answer, x.maxBytes};
  char errorText[CURL_ERROR_SIZE] = {};

  curl_slist* list = nullptr;
  list = curl_slist_append(list, ("Content-Type: " + x.contentType).c_str());
  list = curl_slist_append(list, "Accept:");  // curl's default, not ours
  list = curl_slist_append(list, "Expect:");
  if (!x.basicAuthorization.empty()) {
    list = curl_slist_append(list, ("Authorization: " + x.basicAuthorization).c_str());
  }
  std::unique_ptr<curl_slist, TSlistDeleter> headers(list);

  ZV_SETOPT(c, CURLOPT_URL, x.url.c_str());
  ZV_SETOPT(c, CURLOPT_ERRORBUFFER, errorText);
  ZV_SETOPT(c, CURLOPT_NOSIGNAL, 1L);
  ZV_SETOPT(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  ZV_SETOPT(c, CURLOPT_FORBID_REUSE, 1L);
  ZV_SETOPT(c, CURLOPT_FRESH_CONNECT, 1L);
  RestrictProtocols(c, features);
  // Cameras are reached directly, never through a proxy from the environment.
  ZV_SETOPT(c, CURLOPT_NOPROXY, "*");
  ZV_SETOPT(c, CURLOPT_HTTPHEADER, headers.get());
  ZV_SETOPT(c, CURLOPT_FOLLOWLOCATION, 1L);
  ZV_SETOPT(c, CURLOPT_MAXREDIRS, kMaxRedirects);
  // 301 and 302 repeat the POST; 303 turns it into a GET without body.
  ZV_SETOPT(c, CURLOPT_POSTREDIR,
                   static_cast<long>(CURL_REDIR_POST_301 | CURL_REDIR_POST_302));
  ZV_SETOPT(c, CURLOPT_COOKIEFILE, "");  // cookies live as long as this handle
  ZV_SETOPT(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  ZV_SETOPT(c, CURLOPT_TIMEOUT_MS, x.timeoutMs);
  ZV_SETOPT(c, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimitBytes);
  ZV_SETOPT(c, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSeconds);
  ZV_SETOPT(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(x.maxBytes));
  // Cameras ship self-signed certificates: TLS 1.2 or newer, no certificate check.
  ZV_SETOPT(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  ZV_SETOPT(c, CURLOPT_SSL_VERIFYPEER, 0L);
  ZV_SETOPT(c, CURLOPT_SSL_VERIFYHOST, 0L);
  ZV_SETOPT(c, CURLOPT_WRITEFUNCTION, &OnBody);
  ZV_SETOPT(c, CURLOPT_WRITEDATA, &transfer);
  ZV_SETOPT(c, CURLOPT_HEADERFUNCTION, &OnHeader);
  ZV_SETOPT(c, CURLOPT_HEADERDATA, &transfer);
  if (x.post) {
    ZV_SETOPT(c, CURLOPT_POST, 1L);
    ZV_SETOPT(c, CURLOPT_POSTFIELDS, x.body.data());
    ZV_SETOPT(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(x.body.size()));
  }
  if (x.digest) {
    ZV_SETOPT(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
    ZV_SETOPT(c, CURLOPT_USERNAME, x.login.c_str());
    ZV_SETOPT(c, CURLOPT_PASSWORD, x.password.c_str());
  }

  const CURLcode rc = curl_easy_perform(c);
  const std::string where = Printable(x.url);
  if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
    throw Error("The camera's answer is larger than " + std::to_string(x.maxBytes >> 20) +
                " MiB: " + where);
  }
  if (rc == CURLE_TOO_MANY_REDIRECTS) {
    throw Error("Too many redirects (more than " + std::to_string(kMaxRedirects) + "): " + where);
  }
  if (rc != CURLE_OK) {
    throw Error(std::string(errorText[0] ? errorText : curl_easy_strerror(rc)) + ": " + where);
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
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

}  // namespace

void HttpGlobalCleanup() {
  if (gCurlStarted.exchange(false)) curl_global_cleanup();
}

std::string BuildServiceURL(const std::string& XAddrs, TOnvifService Service) {
  const TUrlParts p = SplitUrl(XAddrs);
  std::string url = p.scheme + "://" + p.host;
  if (!p.port.empty() && !IsDefaultPort(p.scheme, p.port)) url += ":" + p.port;
  url += p.path + (Service == TOnvifService::osDevice ? "device_service" : "media");
  if (!p.query.empty()) url += "?" + p.query;
  return url;
}

std::array<uint8_t, 20> SHA1Bytes(std::string_view Data) {
  const std::string bytes = HashBytes(THashAlgorithm::Sha1, Data);
  std::array<uint8_t, 20> digest{};
  if (bytes.size() != digest.size()) throw Error("SHA-1 is not available");
  std::memcpy(digest.data(), bytes.data(), digest.size());
  return digest;
}

std::string FormatCreated(std::chrono::system_clock::time_point utc) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(utc.time_since_epoch()).count();
  const time_t seconds = static_cast<time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
  const int millis = static_cast<int>(((ms % 1000) + 1000) % 1000);
  struct tm t {};
  gmtime_r(&seconds, &t);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis);
  return text;
}

std::string PasswordDigest(std::string_view nonceBytes, std::string_view created,
                           std::string_view password) {
  std::string input;
  input.reserve(nonceBytes.size() + created.size() + password.size());
  input.append(nonceBytes).append(created).append(password);
  const auto digest = SHA1Bytes(input);
  return Base64Encode(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

void BuildUsernameToken(const std::string& /*Login*/, const std::string& Password,
                        std::string& Digest, std::string& Nonce, std::string& Created,
                        std::chrono::milliseconds clockOffset) {
  unsigned char nonce[20];
  RandomBytes(nonce, sizeof nonce);
  const std::string_view nonceBytes(reinterpret_cast<const char*>(nonce), sizeof nonce);
  Nonce = Base64Encode(nonceBytes);
  Created = FormatCreated(std::chrono::system_clock::now() + clockOffset);
  Digest = PasswordDigest(nonceBytes, Created, Password);
}

std::string BuildSecurityHeader(const std::string& Login, const std::string& Password,
                                std::chrono::milliseconds clockOffset) {
  std::string digest, nonce, created;
  BuildUsernameToken(Login, Password, digest, nonce, created, clockOffset);
  static const std::string kTemplate = ExpandNamespaces(kSecurityHeader);
  // The login goes in escaped: "&" or "<" in a user name must not break the envelope.
  const std::string values[] = {TXmlDocument::Escape(Login), digest, nonce, created};
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < kTemplate.size(); ++i) {
    if (kTemplate.compare(i, 2, "%s") == 0 && next < 4) {
      out += values[next++];
      ++i;
    } else {
      out += kTemplate[i];
    }
  }
  return out;
}

TSoapAnswer PostSoap(const std::string& URL, const std::string& Envelope,
                     const TSoapOptions& options) {
  TExchange x;
  x.url = URL;
  x.post = true;
  x.body = Envelope;
  x.contentType = options.ContentType;
  if (options.Digest) {
    x.digest = true;
    x.login = options.Login;
    x.password = options.Password;
  }
  if (options.Deadline != std::chrono::steady_clock::time_point{}) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          options.Deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) throw Error("No time left for the exchange: " + Printable(URL));
    if (left < x.timeoutMs) x.timeoutMs = static_cast<long>(left);
  }
  TSoapAnswer result;
  const TAnswer answer = Perform(x, result.Body);
  result.Status = answer.status;
  result.StatusText = StatusText(answer);
  result.DigestChallenge = answer.digestChallenge;
  return result;
}

std::string PostSoapRequest(const std::string& URL, const std::string& Envelope) {
  return PostSoap(URL, Envelope).Body;
}

void HttpPost(const std::string& URL, TStream& Source, TStream& Response) {
  std::string body;
  char buf[4096];
  for (size_t n; (n = Source.Read(buf, sizeof buf)) > 0;) body.append(buf, n);
  const std::string answer = PostSoapRequest(URL, body);
  Response.Write(answer.data(), answer.size());
}

void HttpGet(const std::string& URL, const std::string& Login, const std::string& Password,
             TStream& Target) {
  const std::string body = HttpGetBytes(URL, Login, Password);
  Target.Write(body.data(), body.size());
}

std::string HttpGetBytes(const std::string& URL, const std::string& Login,
                         const std::string& Password) {
  std::string image;
  HttpGetBytes(URL, Login, Password, image);
  return image;
}

void HttpGetBytes(const std::string& URL, const std::string& Login, const std::string& Password,
                  std::string& image) {
  TExchange x;
  x.url = URL;
  x.timeoutMs = kSnapshotTimeoutMs;
  x.maxBytes = kMaxSnapshotBytes;
  if (!Login.empty()) x.basicAuthorization = BasicAuthorization(Login, Password);
  TAnswer answer = Perform(x, image);
  if (answer.status == 401 && answer.digestChallenge && !Login.empty()) {
    // The camera wants Digest: once more, answering its challenge.
    x.basicAuthorization.clear();
    x.digest = true;
    x.login = Login;
    x.password = Password;
    const TAnswer again = Perform(x, image);
    answer.status = again.status;
    answer.statusLine = again.statusLine;
  }
  if (answer.status < 200 || answer.status > 299) {
    image.clear();
    throw Error("HTTP " + StatusText(answer) + ": " + Printable(URL));
  }
}

}  // namespace zorvane
