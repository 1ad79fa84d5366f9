#include "onvif/http_digest.h"

#include <cstdio>

#include "common/text.h"

namespace zorvane {

namespace {

bool IsTokenChar(char c) {
  return c > ' ' && c < 127 && c != ',' && c != '=' && c != '"' && c != ';';
}

void SkipBlanksAndCommas(std::string_view text, size_t& i) {
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
}

std::string_view ReadToken(std::string_view text, size_t& i) {
  const size_t start = i;
  while (i < text.size() && IsTokenChar(text[i])) ++i;
  return text.substr(start, i - start);
}

// A quoted string (backslash escapes one character) or a token.
std::string ReadValue(std::string_view text, size_t& i) {
  if (i < text.size() && text[i] == '"') {
    std::string value;
    for (++i; i < text.size() && text[i] != '"'; ++i) {
      if (text[i] == '\\' && i + 1 < text.size()) ++i;
      value += text[i];
    }
    if (i < text.size()) ++i;
    return value;
  }
  return std::string(ReadToken(text, i));
}

struct TScheme {
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Params;
};

// The challenges of one header value: "Digest a=1, b="2", Basic realm=x".
std::vector<TScheme> ReadChallenges(std::string_view text) {
  std::vector<TScheme> schemes;
  size_t i = 0;
  while (i < text.size()) {
    SkipBlanksAndCommas(text, i);
    const size_t before = i;
    const std::string_view token = ReadToken(text, i);
    if (token.empty()) {
      if (i == before) ++i;  // a stray character: step over it
      continue;
    }
    size_t j = i;
    while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
    if (j < text.size() && text[j] == '=' && !schemes.empty()) {
      // name=value of the current challenge
      i = j + 1;
      while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
      schemes.back().Params.emplace_back(std::string(token), ReadValue(text, i));
    } else {
      schemes.push_back({std::string(token), {}});
    }
  }
  return schemes;
}

bool ReadDigest(const TScheme& scheme, TDigestChallenge& c) {
  if (!SameAsciiText(scheme.Name, "Digest")) return false;
  bool hasNonce = false;
  std::string qop;
  for (const auto& [name, value] : scheme.Params) {
    // Values go back in our Authorization header: no line breaks from a camera.
    if (HasControlCharacter(value)) return false;
    if (SameAsciiText(name, "realm"))
      c.Realm = value;
    else if (SameAsciiText(name, "nonce"))
      c.Nonce = value, hasNonce = true;
    else if (SameAsciiText(name, "opaque"))
      c.Opaque = value, c.HasOpaque = true;
    else if (SameAsciiText(name, "algorithm"))
      c.Algorithm = value;
    else if (SameAsciiText(name, "qop"))
      qop = value;
    else if (SameAsciiText(name, "stale"))
      c.Stale = SameAsciiText(value, "true");
  }
  if (!hasNonce) return false;
  std::string_view algorithm = c.Algorithm;
  if (algorithm.size() > 5 && SameAsciiText(algorithm.substr(algorithm.size() - 5), "-sess")) {
    c.Session = true;
    algorithm.remove_suffix(5);
  }
  if (SameAsciiText(algorithm, "MD5"))
    c.Hash = THashAlgorithm::Md5;
  else if (SameAsciiText(algorithm, "SHA-256"))
    c.Hash = THashAlgorithm::Sha256;
  else
    return false;  // SHA-512-256 and others: not ours to answer
  // qop is a list; "auth" is preferred, "auth-int" taken when it is the only one.
  bool auth = false, authInt = false;
  for (size_t i = 0; i < qop.size();) {
    size_t end = qop.find(',', i);
    if (end == std::string::npos) end = qop.size();
    std::string_view item = std::string_view(qop).substr(i, end - i);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (SameAsciiText(item, "auth")) auth = true;
    if (SameAsciiText(item, "auth-int")) authInt = true;
    i = end + 1;
  }
  c.Qop = auth ? "auth" : authInt ? "auth-int" : "";
  if (!qop.empty() && c.Qop.empty()) return false;
  return true;
}

// A quoted string; control characters are left out, so a value can never
// end the header line.
std::string Quoted(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (static_cast<unsigned char>(c) < ' ' || c == 127) continue;
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

bool ParseDigestChallenge(const std::vector<std::string>& headerValues,
                          TDigestChallenge& challenge) {
  bool found = false;
  for (const std::string& value : headerValues) {
    for (const TScheme& scheme : ReadChallenges(value)) {
      TDigestChallenge c;
      if (!ReadDigest(scheme, c)) continue;
      // The stronger hash wins; between equals, the first offered.
      if (!found ||
          (c.Hash == THashAlgorithm::Sha256 && challenge.Hash != THashAlgorithm::Sha256)) {
        challenge = c;
        found = true;
      }
    }
  }
  return found;
}

bool OffersBasic(const std::vector<std::string>& headerValues) {
  for (const std::string& value : headerValues) {
    for (const TScheme& scheme : ReadChallenges(value))
      if (SameAsciiText(scheme.Name, "Basic")) return true;
  }
  return false;
}

std::string DigestAuthorization(const TDigestChallenge& c, std::string_view login,
                                std::string_view password, std::string_view method,
                                std::string_view uri, std::string_view body, unsigned nc,
                                std::string_view cnonce) {
  auto H = [&](std::string_view text) { return LowerHex(HashBytes(c.Hash, text)); };
  auto join = [](std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) {
      if (!out.empty()) out += ':';
      out.append(p);
    }
    return out;
  };
  char count[16];
  std::snprintf(count, sizeof count, "%08x", nc);
  std::string ha1 = H(join({login, c.Realm, password}));
  if (c.Session) ha1 = H(join({ha1, c.Nonce, cnonce}));
  const std::string ha2 =
      c.Qop == "auth-int" ? H(join({method, uri, H(body)})) : H(join({method, uri}));
  const std::string response = c.Qop.empty() ? H(join({ha1, c.Nonce, ha2}))
                                             : H(join({ha1, c.Nonce, count, cnonce, c.Qop, ha2}));
  std::string out = "Digest username=" + Quoted(login) + ", realm=" + Quoted(c.Realm) +
                    ", nonce=" + Quoted(c.Nonce) + ", uri=" + Quoted(uri) +
                    ", algorithm=" + c.Algorithm + ", response=\"" + response + "\"";
  if (!c.Qop.empty()) {
    out += ", qop=" + c.Qop + ", nc=" + count + ", cnonce=" + Quoted(cnonce);
  }
  if (c.HasOpaque) out += ", opaque=" + Quoted(c.Opaque);
  return out;
}

std::string RequestTarget(std::string_view url) {
  const size_t scheme = url.find("://");
  const size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const size_t path = url.find_first_of("/?#", start);
  if (path == std::string_view::npos || url[path] == '#') return "/";
  std::string_view target = url.substr(path);
  if (const size_t hash = target.find('#'); hash != std::string_view::npos)
    target = target.substr(0, hash);
  return target[0] == '?' ? "/" + std::string(target) : std::string(target);
}

}  // namespace zorvane
