#include "onvif/http_session.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <optional>

#include "common/error.h"
#include "common/text.h"
#include "log/log_writer.h"
#include "onvif/call_deadline.h"
#include "onvif/messages.h"
#include "onvif/name_lookup.h"
#include "platform/crypto.h"
#include "platform/http_exchange.h"

namespace zorvane {

namespace {

constexpr int kMaxDigestRounds = 2;  // a fresh challenge, then a stale nonce

// Tells the log what an exchange did; a log that cannot be written does not stop it.
void LogInfo(const std::string& text) {
  TryWriteLog(text, TLogLevel::llInfo);
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

// "host:port" of a URL as it was read, the port the scheme's own when none is written.
std::string HostAndPort(const TUrlParts& parts) {
  const bool secure = parts.scheme.size() == 5;  // "https": only http and https get here
  return parts.host + ":" + (parts.port.empty() ? (secure ? "443" : "80") : parts.port);
}

// What the request line asks for: the path and query, never the fragment.
std::string RequestTargetOf(const TUrlParts& parts) {
  std::string target = parts.path + parts.document;
  if (target.empty()) target = "/";
  if (!parts.query.empty()) target.append("?").append(parts.query);
  return target;
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string NewClientNonce() {
  unsigned char bytes[16];
  RandomBytes(bytes, sizeof bytes);
  return LowerHex(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

// "15", "1,5": seconds as a message gives them, to the tenth.
std::string SecondsText(long ms) {
  const long tenths = (ms + 50) / 100;
  std::string text = std::to_string(tenths / 10);
  if (tenths % 10 != 0) text += "," + std::to_string(tenths % 10);
  return text;
}

// "«10.0.0.5», порт 80": where an exchange was going.
std::string HostAndPortOf(const THttpExchangeRequest& one) {
  return msg::HostAndPort(one.Host, one.Port);
}

// ": Connection refused": the system's words, where it gave any.
std::string SystemWords(const THttpFailure& failure) {
  return failure.SystemText.empty() ? std::string() : ": " + failure.SystemText;
}

// The message of an exchange that ended without a whole answer, written here
// alone, the same whichever system's library ran it; the URL follows it.
// A time limit is named in the driver's own words, the call's deadline
// where it rather than the exchange's own limit ended it (deadlineBounds).
std::string FailureMessage(const THttpFailure& failure, const THttpRequest& request,
                           const THttpExchangeRequest& one, bool deadlineBounds) {
  switch (failure.Kind) {
    case THttpFailureKind::NameNotFound:
      return msg::NameNotResolved(one.Host);
    case THttpFailureKind::CannotConnect:
      return msg::CannotConnect(HostAndPortOf(one)) + SystemWords(failure);
    case THttpFailureKind::ConnectTimedOut:
      return msg::ConnectTimedOut(SecondsText(one.ConnectTimeoutMs), request.Step);
    case THttpFailureKind::TimedOut:
      if (deadlineBounds) return TCallDeadline::ExpiredMessage(request.Step);
      return msg::ExchangeTimedOut(SecondsText(request.TimeoutMs), request.Step);
    case THttpFailureKind::TooSlow:
      return msg::ExchangeTooSlow(one.MinBytesPerSecond, one.MinSpeedSeconds, request.Step);
    case THttpFailureKind::Tls:
      return msg::TlsFailed(HostAndPortOf(one)) + SystemWords(failure);
    case THttpFailureKind::ConnectionLost:
      return msg::ConnectionLost(HostAndPortOf(one), failure.ReceivedBytes) + SystemWords(failure);
    case THttpFailureKind::TooLarge:
      return msg::AnswerTooLarge(request.MaxBytes >> 20);
    case THttpFailureKind::None:
    case THttpFailureKind::Other:
      break;
  }
  return msg::ExchangeFailed(HostAndPortOf(one)) + SystemWords(failure);
}

// What the log keeps of an exchange that ran out of time: how far it got,
// and the system's own words.
std::string TimedOutLogLine(const THttpFailure& failure, const std::string& where) {
  std::string line = "exchange ended after " + std::to_string(failure.ElapsedMs) + " ms with " +
                     std::to_string(failure.ReceivedBytes) + " bytes received";
  if (!failure.SystemText.empty()) line += " (" + failure.SystemText + ")";
  return line + ": " + where;
}

bool IsTimeout(THttpFailureKind kind) {
  return kind == THttpFailureKind::ConnectTimedOut || kind == THttpFailureKind::TimedOut ||
         kind == THttpFailureKind::TooSlow;
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
    throw Error(std::string(msg::kUrlNoScheme) + ": " + PrintableUrl(url));
  throw Error(msg::UnsupportedScheme(scheme) + ": " + PrintableUrl(url));
}

namespace {

bool IsHexDigit(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// A host as RFC 3986 has it: an IP literal in brackets, or a name (or IPv4
// address) of letters, digits, "-._~" and percent-encoded bytes. Bytes beyond
// ASCII pass, as an internationalised name. Sub-delimiters, spaces, '@' and
// the like are refused: such a "host" is a misread URL, never a camera.
bool IsValidHostText(std::string_view host) {
  if (host.empty()) return false;
  if (host.front() == '[') {
    if (host.size() < 4 || host.back() != ']') return false;
    std::string_view inside = host.substr(1, host.size() - 2);
    if (const size_t zone = inside.find("%25"); zone != std::string_view::npos) {
      const std::string_view id = inside.substr(zone + 3);
      if (id.empty() || !std::all_of(id.begin(), id.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' ||
                   c == '_' || c == '~';
          }))
        return false;
      inside = inside.substr(0, zone);
    }
    return inside.find(':') != std::string_view::npos &&
           std::all_of(inside.begin(), inside.end(),
                       [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; });
  }
  for (size_t i = 0; i < host.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(host[i]);
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c >= 0x80) continue;
    if (c == '%' && i + 2 < host.size() && IsHexDigit(host[i + 1]) && IsHexDigit(host[i + 2])) {
      i += 2;
      continue;
    }
    return false;
  }
  return true;
}

int HexValue(char c) {
  return std::isdigit(static_cast<unsigned char>(c))
             ? c - '0'
             : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

// "%41" as "A"; a '%' not followed by two hex digits stays as it is.
std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) &&
        IsHexDigit(text[i + 2])) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A port: 1 to 65535 in decimal digits.
bool IsValidPort(std::string_view port) {
  if (port.empty() || port.size() > 5) return false;
  if (!std::all_of(port.begin(), port.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return false;
  const long value = std::stol(std::string(port));
  return value >= 1 && value <= 65535;
}

}  // namespace

bool IsValidUrlHost(std::string_view host) {
  return IsValidHostText(host);
}

TUrlParts SplitUrl(const std::string& url) {
  TUrlParts p;
  const size_t colon = url.find("://");
  if (colon == std::string::npos || colon == 0)
    throw Error(std::string(msg::kUrlNoScheme) + ": " + MaskUrlCredentials(url));
  p.scheme = url.substr(0, colon);
  // The authority ends at the first '/', '?' or '#' (RFC 3986, 3.2): a
  // password holding one of them must be percent-encoded.
  const std::string rest = url.substr(colon + 3);
  const size_t end = rest.find_first_of("/?#");
  std::string authority = rest.substr(0, end);
  std::string tail = end == std::string::npos ? "" : rest.substr(end);
  if (const size_t hash = tail.find('#'); hash != std::string::npos) {
    p.fragment = tail.substr(hash + 1);
    tail.resize(hash);
  }
  if (const size_t q = tail.find('?'); q != std::string::npos) {
    p.query = tail.substr(q + 1);
    tail.resize(q);
  }
  const std::string fullPath = tail.empty() ? "/" : tail;
  if (const size_t at = authority.rfind('@'); at != std::string::npos) {
    p.userInfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
  }
  bool hasPort = false;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos)
      throw Error(std::string(msg::kUrlBadHost) + ": " + MaskUrlCredentials(url));
    p.host = authority.substr(0, close + 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':')
        throw Error(std::string(msg::kUrlBadHost) + ": " + MaskUrlCredentials(url));
      hasPort = true;
      p.port = authority.substr(close + 2);
    }
  } else if (const size_t c = authority.rfind(':'); c != std::string::npos) {
    p.host = authority.substr(0, c);
    p.port = authority.substr(c + 1);
    hasPort = true;
  } else {
    p.host = authority;
  }
  if (p.host.empty()) throw Error(std::string(msg::kUrlNoHost) + ": " + MaskUrlCredentials(url));
  if (!IsValidHostText(p.host))
    throw Error(std::string(msg::kUrlBadHost) + ": " + MaskUrlCredentials(url));
  // A name written percent-encoded is the name itself ("%63am" is "cam"),
  // and must still be a name once decoded.
  if (p.host.find('%') != std::string::npos && p.host.front() != '[') {
    p.host = PercentDecoded(p.host);
    if (p.host.find('%') != std::string::npos || !IsValidHostText(p.host))
      throw Error(std::string(msg::kUrlBadHost) + ": " + MaskUrlCredentials(url));
  }
  if (hasPort && !IsValidPort(p.port))
    throw Error(std::string(msg::kUrlBadPort) + ": " + MaskUrlCredentials(url));
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

namespace {

// The values of query parameters that cameras take a password in
// ("...?user=admin&password=..."), masked; the query starts after from.
std::string WithQuerySecretsMasked(std::string url, size_t from) {
  const size_t query = url.find('?', from);
  if (query == std::string::npos) return url;
  const size_t fragment = std::min(url.find('#', query), url.size());
  std::string out = url.substr(0, query + 1);
  size_t at = query + 1;
  while (at <= fragment) {
    const size_t next = std::min(url.find('&', at), fragment);
    const std::string_view field = std::string_view(url).substr(at, next - at);
    const size_t equals = field.find('=');
    const std::string key = Lower(std::string(field.substr(0, equals)));
    if (equals != std::string_view::npos &&
        (key == "password" || key == "passwd" || key == "pwd" || key == "pass" || key == "psw"))
      out.append(field.substr(0, equals + 1)).append("********");
    else
      out.append(field);
    if (next < fragment) out += '&';
    at = next + 1;
  }
  return out.append(std::string_view(url).substr(fragment));
}

}  // namespace

std::string PrintableUrl(const std::string& url) {
  // Named by the host the URL leads to, as SplitUrl reads it. An '@' after
  // the host may end a password written without percent-encoding: what
  // stands before it is masked too. A URL that cannot be read is masked up
  // to its last '@'.
  const size_t mark = url.find("://");
  if (mark == std::string::npos) return MaskUrlCredentials(url);
  TUrlParts parts;
  try {
    parts = SplitUrl(url);
  } catch (const Error&) {
    return MaskUrlCredentials(url);
  }
  const size_t start = mark + 3;
  const size_t end = std::min(url.find_first_of("/?#", start), url.size());
  const std::string_view authority = std::string_view(url).substr(start, end - start);
  std::string out = url.substr(0, start);
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) out += "********@";
  out.append(authority.substr(at == std::string_view::npos ? 0 : at + 1));
  const std::string_view rest = std::string_view(url).substr(end);
  if (const size_t later = rest.rfind('@'); later != std::string_view::npos) {
    out.append(rest.substr(0, 1)).append("********");
    out.append(rest.substr(later));
  } else {
    out.append(rest);
  }
  return WithQuerySecretsMasked(std::move(out), start);
}

void HttpGlobalCleanup() {
  HttpLibraryCleanup();
}

namespace {

// The parts of a URI reference as written; a part that is absent differs
// from one that is empty ("http://cam" has no query, "http://cam?" an empty one).
struct TReference {
  std::optional<std::string_view> Scheme, Authority, Query, Fragment;
  std::string_view Path;
};

bool IsScheme(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

TReference SplitReference(std::string_view text) {
  TReference r;
  // A colon before any '/', '?' or '#' ends a scheme, when what stands before
  // it can be one; otherwise it belongs to the path.
  if (const size_t colon = text.find_first_of(":/?#");
      colon != std::string_view::npos && text[colon] == ':' && IsScheme(text.substr(0, colon))) {
    r.Scheme = text.substr(0, colon);
    text.remove_prefix(colon + 1);
  }
  if (text.substr(0, 2) == "//") {
    const size_t end = std::min(text.find_first_of("/?#", 2), text.size());
    r.Authority = text.substr(2, end - 2);
    text.remove_prefix(end);
  }
  if (const size_t hash = text.find('#'); hash != std::string_view::npos) {
    r.Fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  if (const size_t q = text.find('?'); q != std::string_view::npos) {
    r.Query = text.substr(q + 1);
    text = text.substr(0, q);
  }
  r.Path = text;
  return r;
}

// The path with its "." and ".." segments applied, as a browser does.
std::string RemoveDotSegments(std::string_view in) {
  std::string out;
  auto dropLastSegment = [&out] {
    const size_t slash = out.rfind('/');
    out.erase(slash == std::string::npos ? 0 : slash);
  };
  while (!in.empty()) {
    if (in.substr(0, 3) == "../") {
      in.remove_prefix(3);
    } else if (in.substr(0, 2) == "./") {
      in.remove_prefix(2);
    } else if (in.substr(0, 3) == "/./") {
      in.remove_prefix(2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.substr(0, 4) == "/../") {
      in.remove_prefix(3);
      dropLastSegment();
    } else if (in == "/..") {
      in = "/";
      dropLastSegment();
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      // The first segment, with the '/' before it, moves to the output.
      const size_t end = std::min(in.find('/', 1), in.size());
      out.append(in.substr(0, end));
      in.remove_prefix(end);
    }
  }
  return out;
}

// The path of a relative reference appended to the base's folder.
std::string MergePaths(const TReference& base, std::string_view path) {
  if (base.Authority && base.Path.empty()) return "/" + std::string(path);
  const size_t slash = base.Path.rfind('/');
  if (slash == std::string_view::npos) return std::string(path);
  return std::string(base.Path.substr(0, slash + 1)) + std::string(path);
}

// Spaces and bytes beyond ASCII percent-encoded, as HTTP libraries send
// them; everything else as written.
std::string EncodeUnsafeBytes(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b == ' ' || b >= 0x80) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string ResolveLocation(const std::string& url, std::string_view location) {
  const std::string trimmed = TrimControl(location);
  if (trimmed.empty() || HasControlCharacter(trimmed)) return {};
  const std::string encoded = EncodeUnsafeBytes(trimmed);
  const TReference base = SplitReference(url);
  const TReference ref = SplitReference(encoded);

  // The target's parts: the reference's own where it has them, the base's
  // where it stops short.
  std::optional<std::string_view> scheme = base.Scheme, authority = base.Authority,
                                  query = ref.Query;
  std::string path;
  if (ref.Scheme) {
    scheme = ref.Scheme;
    authority = ref.Authority;
    path = RemoveDotSegments(ref.Path);
  } else if (ref.Authority) {
    authority = ref.Authority;
    path = RemoveDotSegments(ref.Path);
  } else if (ref.Path.empty()) {
    path = std::string(base.Path);
    if (!ref.Query) query = base.Query;
  } else if (ref.Path.front() == '/') {
    path = RemoveDotSegments(ref.Path);
  } else {
    path = RemoveDotSegments(MergePaths(base, ref.Path));
  }

  std::string target;
  if (scheme) target.append(*scheme).append(":");
  if (authority) target.append("//").append(*authority);
  target += path;
  if (query) target.append("?").append(*query);
  if (ref.Fragment) target.append("#").append(*ref.Fragment);
  return target;
}

struct THttpSession::TImpl {
  THttpConnection Connection;
  std::string Login;
  std::string Password;
  std::vector<std::string> Origins;  // where the credentials may go
  bool HasChallenge = false;
  TDigestChallenge Challenge;
  std::string ChallengeOrigin;
  unsigned Nc = 0;
  bool DigestLogged = false;
  std::vector<std::string> BasicOrigins;                      // asked for Basic, and only for Basic
  std::map<std::string, std::vector<THostAddress>> Resolved;  // "host:port" -> its addresses

  // An allowed origin, or an address one of them resolved to (same scheme
  // and port): a camera set up by name hands out addresses with its IP.
  bool IsCameraOrigin(const std::string& origin) const;
  // The host's addresses, looked up within timeoutMs once per host and port;
  // none for a host that is an address.
  THostLookup AddressesOf(const TUrlParts& parts, long timeoutMs);
};

bool THttpSession::TImpl::IsCameraOrigin(const std::string& origin) const {
  if (origin.empty()) return false;
  if (std::find(Origins.begin(), Origins.end(), origin) != Origins.end()) return true;
  TUrlParts asked;
  if (!SplitAddress(origin, asked)) return false;
  const std::string address = Lower(asked.host);
  for (const std::string& allowed : Origins) {
    TUrlParts a;
    if (!SplitAddress(allowed, a) || a.scheme != asked.scheme || a.port != asked.port) continue;
    const auto known = Resolved.find(a.host + ":" + a.port);
    if (known == Resolved.end()) continue;
    for (const THostAddress& resolved : known->second) {
      // As a URL writes it: an IPv6 address in brackets.
      if (Lower(resolved.IPv6 ? "[" + resolved.Text + "]" : resolved.Text) == address) return true;
    }
  }
  return false;
}

THostLookup THttpSession::TImpl::AddressesOf(const TUrlParts& parts, long timeoutMs) {
  const std::string port =
      parts.port.empty() ? (Lower(parts.scheme) == "https" ? "443" : "80") : parts.port;
  const std::string key = Lower(parts.host) + ":" + port;
  if (const auto known = Resolved.find(key); known != Resolved.end())
    return {TLookupOutcome::Found, known->second};
  THostLookup found = ResolveWithin(parts.host, timeoutMs);
  if (!found.Addresses.empty()) Resolved.emplace(key, found.Addresses);
  return found;
}

THttpSession::THttpSession() : F(std::make_unique<TImpl>()) {}
THttpSession::~THttpSession() = default;
THttpSession::THttpSession(THttpSession&&) noexcept = default;
THttpSession& THttpSession::operator=(THttpSession&&) noexcept = default;

void THttpSession::SetCredentials(const std::string& login, const std::string& password) {
  if (login != F->Login || password != F->Password) {
    F->HasChallenge = false;
    F->BasicOrigins.clear();
  }
  F->Login = login;
  F->Password = password;
}

void THttpSession::AllowCredentialsFor(const std::string& url) {
  const std::string origin = OriginOf(url);
  if (origin.empty()) return;
  if (std::find(F->Origins.begin(), F->Origins.end(), origin) == F->Origins.end())
    F->Origins.push_back(origin);
}

bool THttpSession::MaySendCredentialsTo(const std::string& url) const {
  return F->IsCameraOrigin(OriginOf(url));
}

bool THttpSession::ResolvedTo(const std::string& host, const std::string& address) const {
  const std::string name = Lower(host) + ":";
  const std::string wanted = Lower(address);
  for (const auto& [key, addresses] : F->Resolved) {
    // The key is "host:port": the port's colon is the last one.
    if (key.size() <= name.size() || key.compare(0, name.size(), name) != 0 ||
        key.rfind(':') != name.size() - 1)
      continue;
    for (const THostAddress& resolved : addresses) {
      if (Lower(resolved.IPv6 ? "[" + resolved.Text + "]" : resolved.Text) == wanted) return true;
    }
  }
  return false;
}

void THttpSession::Reset() {
  F->Connection.Close();
  F->Origins.clear();
  F->HasChallenge = false;
  F->BasicOrigins.clear();
  F->DigestLogged = false;
  F->Resolved.clear();
}

THttpAnswer THttpSession::Exchange(const THttpRequest& request, std::string& body) {
  RequireHttpScheme(request.Url);
  F->Connection.Open();
  const THttpCapabilities can = THttpConnection::Capabilities();

  // The credentials of the exchange: the session's, for the camera's
  // origins; or those written in the URL itself, for its own origin only.
  std::string login = F->Login;
  std::string password = F->Password;
  std::string urlOrigin;
  if (const TUrlParts first = SplitUrl(request.Url); !first.userInfo.empty()) {
    const size_t colon = first.userInfo.find(':');
    login = PercentDecoded(std::string_view(first.userInfo).substr(0, colon));
    password = colon == std::string::npos
                   ? std::string()
                   : PercentDecoded(std::string_view(first.userInfo).substr(colon + 1));
    urlOrigin = OriginOf(request.Url);
  }
  // A line break in the login would add headers of its own.
  if (HasControlCharacter(login)) throw Error(msg::kLoginHasControlCharacters);
  const auto maySendTo = [&](const std::string& origin) {
    if (login.empty()) return false;
    return urlOrigin.empty() ? F->IsCameraOrigin(origin) : origin == urlOrigin;
  };

  const auto start = std::chrono::steady_clock::now();
  std::string url = request.Url;
  bool post = request.Post;
  int hops = 0;
  int digestRounds = 0;
  bool challengeOfThisExchange = false;
  bool basicOfThisExchange = false;
  for (;;) {
    // A URL whose authority is no host and port is refused here, before any lookup.
    const TUrlParts parts = SplitUrl(url);
    const std::string origin = OriginOf(url);
    const bool maySend = maySendTo(origin);
    // A body that carries the camera's credentials (a SOAP envelope with its
    // token) goes only where the credentials may go.
    if (post && request.SecretBody && !maySend && !F->Login.empty()) {
      throw Error(msg::CredentialsNotSentElsewhere(HostAndPort(parts), hops > 0) + ": " +
                  PrintableUrl(url));
    }
    const std::string target = RequestTargetOf(parts);

    // No credentials before the camera asks for them; then the scheme it
    // asked for (Digest before Basic), reused until it refuses it.
    std::string authorization;
    const bool sendDigest = maySend && F->HasChallenge && F->ChallengeOrigin == origin;
    const bool sendBasic =
        maySend && !sendDigest &&
        std::find(F->BasicOrigins.begin(), F->BasicOrigins.end(), origin) != F->BasicOrigins.end();
    if (sendDigest) {
      authorization =
          DigestAuthorization(F->Challenge, login, password, post ? "POST" : "GET", target,
                              post ? request.Body : std::string_view(), ++F->Nc, NewClientNonce());
    } else if (sendBasic) {
      authorization = BasicAuthorization(login, password);
    }

    THttpExchangeRequest one;
    one.Secure = Lower(parts.scheme) == "https";
    one.Host = parts.host;
    one.Port = static_cast<unsigned short>(
        std::stoi(parts.port.empty() ? (one.Secure ? "443" : "80") : parts.port));
    one.Target = target;
    one.Url = Lower(parts.scheme) + "://" + one.Host + ":" + std::to_string(one.Port) + target;
    one.Method = post ? THttpMethod::Post : THttpMethod::Get;
    one.Headers.emplace_back("Content-Type", request.ContentType);
    if (!authorization.empty()) one.Headers.emplace_back("Authorization", authorization);
    if (post) one.Body = request.Body;
    // Cookies live as long as one exchange: kept between its hops, dropped before the next.
    one.KeepCookies = hops > 0 || digestRounds > 0 || basicOfThisExchange;
    // Where the exchange cannot be cancelled from another thread, a
    // cancelled call stops once it returns, at the next check.
    if (can.CancelsFromAnotherThread) one.Cancel = TCallCancel::Current();

    // The name, looked up within the connect limit and the call's deadline.
    const long lookupCap =
        std::min(kConnectTimeoutMs, std::max(1L, request.TimeoutMs - MillisecondsSince(start)));
    const bool deadlineBoundsLookup = TCallDeadline::Bounds(lookupCap - 1);
    const long lookupMs = TCallDeadline::RemainingMs(lookupCap, request.Step);
    THostLookup lookup;
    try {
      lookup = F->AddressesOf(parts, lookupMs);
    } catch (const Error& e) {
      throw Error(std::string(e.what()) + ": " + PrintableUrl(url));
    }
    if (lookup.Outcome == TLookupOutcome::TimedOut) {
      LogInfo("Resolving " + parts.host + " timed out after " + std::to_string(lookupMs) +
              " milliseconds");
      const std::string message =
          deadlineBoundsLookup ? TCallDeadline::ExpiredMessage(request.Step)
                               : msg::NameLookupTimedOut(SecondsText(lookupMs), request.Step);
      throw Error(message + ": " + PrintableUrl(url));
    }
    if (lookup.Outcome == TLookupOutcome::NotFound) {
      THttpFailure notFound;
      notFound.Kind = THttpFailureKind::NameNotFound;
      throw Error(FailureMessage(notFound, request, one, false) + ": " + PrintableUrl(url));
    }
    // The addresses are still looked up where the exchange takes none: the
    // lookup keeps its own time limit, and tells which addresses are the camera's.
    if (can.PinsAddresses) one.PinnedAddresses = std::move(lookup.Addresses);
    // What is left of the exchange's own limit, within the call's deadline.
    const long left = std::max(1L, request.TimeoutMs - MillisecondsSince(start));
    one.TimeoutMs = TCallDeadline::RemainingMs(left, request.Step);
    one.ConnectTimeoutMs = std::min(kConnectTimeoutMs, one.TimeoutMs);
    one.MaxBodyBytes = request.MaxBytes;
    one.MinBytesPerSecond = kLowSpeedLimitBytes;
    one.MinSpeedSeconds = kLowSpeedTimeSeconds;
    const bool deadlineBounds = TCallDeadline::Bounds(left - 1);

    const THttpExchangeAnswer got = F->Connection.Exchange(one, body);
    if (got.Failure.Kind != THttpFailureKind::None) {
      TCallCancel::ThrowIfCancelled();
      const std::string where = PrintableUrl(url);
      if (IsTimeout(got.Failure.Kind)) LogInfo(TimedOutLogLine(got.Failure, where));
      throw Error(FailureMessage(got.Failure, request, one, deadlineBounds) + ": " + where);
    }
    THttpAnswer answer;
    answer.Status = got.Status;
    answer.StatusLine = got.StatusLine;
    answer.ContentType = got.ContentType;
    answer.Url = url;

    if (answer.Status == 401) {
      TDigestChallenge challenge;
      answer.DigestChallenge = ParseDigestChallenge(got.Challenges, challenge);
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
        F->BasicOrigins.erase(std::remove(F->BasicOrigins.begin(), F->BasicOrigins.end(), origin),
                              F->BasicOrigins.end());
        if (!F->DigestLogged) {
          F->DigestLogged = true;
          LogInfo("camera asked for HTTP Digest (" + challenge.Algorithm +
                  "); request answered with it");
        }
        continue;
      }
      // Basic only to a camera that offers nothing stronger, once per exchange.
      if (!answer.DigestChallenge && maySend && !sendBasic && !basicOfThisExchange &&
          OffersBasic(got.Challenges)) {
        F->BasicOrigins.push_back(origin);
        basicOfThisExchange = true;
        LogInfo("camera asked for HTTP Basic; request answered with it");
        continue;
      }
      if (sendDigest) F->HasChallenge = false;  // refused: the next request starts afresh
      answer.CredentialsWithheld = !login.empty() && !maySend;
      return answer;
    }
    if (IsRedirect(answer.Status)) {
      // A redirect without a usable Location is the answer itself.
      std::string next = ResolveLocation(url, got.Location);
      if (!next.empty()) {
        if (++hops > kMaxRedirects) {
          throw Error(msg::TooManyRedirects(kMaxRedirects) + ": " + PrintableUrl(request.Url));
        }
        RequireHttpScheme(next);
        // 301 and 302 repeat the POST, as 307 and 308 do; 303 turns it into a GET.
        if (answer.Status == 303) post = false;
        url = std::move(next);
        digestRounds = 0;
        challengeOfThisExchange = false;
        basicOfThisExchange = false;
        continue;
      }
    }
    return answer;
  }
}

}  // namespace zorvane
