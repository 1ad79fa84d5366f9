#include "onvif/soap_transport.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "common/error.h"
#include "common/text.h"
#include "onvif/messages.h"
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

namespace {

bool IsDefaultPort(const std::string& scheme, const std::string& port) {
  return (SameAsciiText(scheme, "http") && port == "80") ||
         (SameAsciiText(scheme, "https") && port == "443");
}

}  // namespace

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
  if (bytes.size() != digest.size()) throw Error(msg::kNoSha1);
  std::memcpy(digest.data(), bytes.data(), digest.size());
  return digest;
}

std::string FormatCreated(std::chrono::system_clock::time_point utc) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(utc);
  const auto day = floor<days>(ms);
  const year_month_day date(day);
  const hh_mm_ss time(ms - day);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
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

namespace {

// Our time moved by clockOffset. Summed in milliseconds, after the offset is
// bounded, so neither the sum nor the conversion back can overflow.
std::chrono::system_clock::time_point CameraNow(std::chrono::milliseconds clockOffset) {
  using namespace std::chrono;
  constexpr milliseconds first = sys_days{year{kFirstCameraYear} / January / 1}.time_since_epoch();
  constexpr milliseconds end = sys_days{year{kLastCameraYear + 1} / January / 1}.time_since_epoch();
  static_assert(end < duration_cast<milliseconds>(system_clock::duration::max()));
  const milliseconds now = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
  if (clockOffset > end - first || clockOffset < first - end || now + clockOffset < first ||
      now + clockOffset >= end) {
    throw Error(msg::CameraClockOutOfRange(duration_cast<seconds>(clockOffset).count(),
                                           kFirstCameraYear, kLastCameraYear));
  }
  return system_clock::time_point(duration_cast<system_clock::duration>(now + clockOffset));
}

}  // namespace

void BuildUsernameToken(const std::string& /*Login*/, const std::string& Password,
                        std::string& Digest, std::string& Nonce, std::string& Created,
                        std::chrono::milliseconds clockOffset) {
  unsigned char nonce[20];
  RandomBytes(nonce, sizeof nonce);
  const std::string_view nonceBytes(reinterpret_cast<const char*>(nonce), sizeof nonce);
  Nonce = Base64Encode(nonceBytes);
  Created = FormatCreated(CameraNow(clockOffset));
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

std::string SoapActionName(std::string_view envelope) {
  size_t i = envelope.find("Body>");
  if (i == std::string_view::npos) return "SOAP";
  i = envelope.find('<', i);
  if (i == std::string_view::npos) return "SOAP";
  size_t end = envelope.find_first_of(" />", i + 1);
  if (end == std::string_view::npos) end = envelope.size();
  std::string_view name = envelope.substr(i + 1, end - i - 1);
  if (const size_t colon = name.find(':'); colon != std::string_view::npos)
    name.remove_prefix(colon + 1);
  return name.empty() ? "SOAP" : std::string(name.substr(0, 64));
}

TSoapAnswer PostSoap(THttpSession& session, const std::string& URL, const std::string& Envelope,
                     const std::string& ContentType) {
  THttpRequest request;
  request.Url = URL;
  request.Post = true;
  request.Body = Envelope;
  request.ContentType = ContentType;
  request.Step = SoapActionName(Envelope);
  // An envelope with a token goes only where the password may go.
  request.SecretBody = Envelope.find("UsernameToken>") != std::string::npos;
  TSoapAnswer result;
  const THttpAnswer answer = session.Exchange(request, result.Body);
  result.Status = answer.Status;
  result.StatusText = StatusText(answer);
  return result;
}

TSoapAnswer PostSoap(const std::string& URL, const std::string& Envelope,
                     const TSoapOptions& options) {
  THttpSession session;
  session.SetCredentials(options.Login, options.Password);
  session.AllowCredentialsFor(URL);
  return PostSoap(session, URL, Envelope, options.ContentType);
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
  THttpSession session;
  session.SetCredentials(Login, Password);
  session.AllowCredentialsFor(URL);
  GetSnapshot(session, URL, image);
}

THttpAnswer GetSnapshot(THttpSession& session, const std::string& URL, std::string& image) {
  THttpRequest request;
  request.Url = URL;
  request.TimeoutMs = kSnapshotTimeoutMs;
  request.MaxBytes = kMaxSnapshotBytes;
  request.Step = msg::kStepSnapshot;
  const THttpAnswer answer = session.Exchange(request, image);
  if (answer.Status < 200 || answer.Status > 299) {
    image.clear();
    std::string message = "HTTP " + StatusText(answer) + ": " + PrintableUrl(answer.Url);
    if (answer.CredentialsWithheld) {
      message += msg::kCredentialsOnlyToCamera;
    }
    throw Error(message);
  }
  return answer;
}

}  // namespace zorvane
