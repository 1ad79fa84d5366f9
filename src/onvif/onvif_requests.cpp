#include "onvif/onvif_requests.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/error.h"
#include "onvif/messages.h"
#include "onvif/namespaces.h"
#include "onvif/soap_transport.h"
#include "xml/xml_document.h"

namespace zorvane {

namespace {

constexpr TXmlNodeType ntElement = TXmlNodeType::ntElement;

struct TEnvelope {
  const char* Prefix;
  const char* Suffix;
};

constexpr TEnvelope kGetDeviceInformation = {
    "<?xml version=\"1.0\"?> <soap:Envelope xmlns:soap=\"{SOAP12}\" xmlns:wsdl=\"{ONVIF-DEVICE}\"> "
    "<soap:Header>",
    "<soap:Body> <wsdl:GetDeviceInformation/> </soap:Body> </soap:Envelope>"};
constexpr TEnvelope kGetProfiles = {
    "<?xml version=\"1.0\"?> <soap:Envelope xmlns:soap=\"{SOAP12}\" xmlns:wsdl=\"{ONVIF-MEDIA}\">"
    "<soap:Header>",
    "<soap:Body xmlns:xsd=\"{XSD}\" xmlns:xsi=\"{XSI}\"> <GetProfiles xmlns=\"{ONVIF-MEDIA}\" /> "
    "</soap:Body> </soap:Envelope>"};
constexpr TEnvelope kGetSnapshotUri = {
    "<?xml version=\"1.0\"?> <soap:Envelope xmlns:soap=\"{SOAP12}\" xmlns:wsdl=\"{ONVIF-MEDIA}\"> "
    "<soap:Header>",
    "<soap:Body> <wsdl:GetSnapshotUri> <wsdl:ProfileToken>%s</wsdl:ProfileToken> "
    "</wsdl:GetSnapshotUri> </soap:Body> </soap:Envelope>"};
constexpr TEnvelope kGetStreamUri = {
    "<?xml version=\"1.0\"?> <soap:Envelope xmlns:soap=\"{SOAP12}\" xmlns:wsdl=\"{ONVIF-MEDIA}\" "
    "xmlns:tt=\"{ONVIF-SCHEMA}\"> <soap:Header>",
    "<soap:Body> <wsdl:GetStreamUri> <wsdl:StreamSetup> <tt:Stream>RTP-Unicast</tt:Stream> "
    "<tt:Transport> <tt:Protocol>RTSP</tt:Protocol> </tt:Transport> </wsdl:StreamSetup> "
    "<wsdl:ProfileToken>%s</wsdl:ProfileToken> </wsdl:GetStreamUri> </soap:Body> </soap:Envelope>"};

// The Media2 questions.
constexpr const char* kMedia2Prefix =
    "<?xml version=\"1.0\"?> <soap:Envelope xmlns:soap=\"{SOAP12}\" xmlns:tr2=\"{ONVIF-MEDIA2}\"> "
    "<soap:Header>";
constexpr TEnvelope kGetProfiles2 = {
    kMedia2Prefix,
    "<soap:Body> <tr2:GetProfiles> <tr2:Type>All</tr2:Type> </tr2:GetProfiles> </soap:Body> "
    "</soap:Envelope>"};
constexpr TEnvelope kGetSnapshotUri2 = {
    kMedia2Prefix,
    "<soap:Body> <tr2:GetSnapshotUri> <tr2:ProfileToken>%s</tr2:ProfileToken> "
    "</tr2:GetSnapshotUri> </soap:Body> </soap:Envelope>"};
constexpr TEnvelope kGetStreamUri2 = {
    kMedia2Prefix,
    "<soap:Body> <tr2:GetStreamUri> <tr2:Protocol>RTSP</tr2:Protocol> "
    "<tr2:ProfileToken>%s</tr2:ProfileToken> </tr2:GetStreamUri> </soap:Body> </soap:Envelope>"};

constexpr TEnvelope kGetSystemDateAndTime = {
    kGetDeviceInformation.Prefix,
    "<soap:Body> <wsdl:GetSystemDateAndTime/> </soap:Body> </soap:Envelope>"};
constexpr TEnvelope kGetCapabilities = {
    kGetDeviceInformation.Prefix,
    "<soap:Body> <wsdl:GetCapabilities> <wsdl:Category>Media</wsdl:Category> "
    "</wsdl:GetCapabilities> "
    "</soap:Body> </soap:Envelope>"};
constexpr TEnvelope kGetServices = {
    kGetDeviceInformation.Prefix,
    "<soap:Body> <wsdl:GetServices> <wsdl:IncludeCapability>false</wsdl:IncludeCapability> "
    "</wsdl:GetServices> </soap:Body> </soap:Envelope>"};

std::string BuildEnvelope(const TEnvelope& e, const std::string& Login, const std::string& Password,
                          TClockOffset clockOffset, const std::string& suffixValue = {}) {
  std::string suffix = ExpandNamespaces(e.Suffix);
  if (const size_t at = suffix.find("%s"); at != std::string::npos) {
    suffix.replace(at, 2, TXmlDocument::Escape(suffixValue));
  }
  std::string prefix = ExpandNamespaces(e.Prefix);
  if (Login.empty()) {
    // No login, no token and no header: an empty token helps no camera, and
    // one without WS-Security refuses the header it must understand.
    prefix.resize(prefix.rfind("<soap:Header>"));
    return prefix + suffix;
  }
  return prefix + BuildSecurityHeader(Login, Password, clockOffset) + suffix;
}

// The answer's document element, or null.
TXmlNode* Load(TXmlDocument& doc, std::string_view answer) {
  LoadAnswer(doc, answer);
  return doc.DocumentElement();
}

// Follows child elements by name from node; null when one is missing.
TXmlNode* Path(TXmlNode* node, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (!node) return nullptr;
    node = node->Find(name, {ntElement});
  }
  return node;
}

// Reading of one record from its element: fields by child name or attribute.
class TReader {
 public:
  explicit TReader(const TXmlNode* node) : FNode(node) {}
  bool Present() const { return FNode != nullptr; }
  TReader Child(std::string_view name) const {
    return TReader(FNode ? FNode->Find(name, {ntElement}) : nullptr);
  }
  // Each reads into field only when the source is present; tells whether it was.
  bool Text(std::string_view name, std::string& field) const {
    const TXmlNode* child = FNode ? FNode->Find(name, {ntElement}) : nullptr;
    if (child) field = child->Text;
    return child != nullptr;
  }
  bool Int(std::string_view name, int32_t& field) const {
    std::string text;
    if (!Text(name, text)) return false;
    field = XmlToInt(text);
    return true;
  }
  bool Bool(std::string_view name, bool& field) const {
    std::string text;
    if (!Text(name, text)) return false;
    field = XmlToBool(text);
    return true;
  }
  bool Double(std::string_view name, double& field) const {
    std::string text;
    if (!Text(name, text)) return false;
    field = XmlToDouble(text);
    return true;
  }
  void Attr(std::string_view name, std::string& field) const {
    if (FNode && FNode->HasAttribute(name)) field = FNode->GetAttr(name);
  }
  int32_t AttrInt(std::string_view name) const { return XmlToInt(FNode->GetAttr(name)); }
  const TXmlNode* Node() const { return FNode; }

 private:
  const TXmlNode* FNode;
};

void ReadMulticast(const TReader& r, TMulticastConfiguration& m) {
  if (!r.Present()) return;
  const TReader address = r.Child("Address");
  address.Text("Type", m.Address.Type_);
  address.Text("IPv4Address", m.Address.IPv4Address);
  int32_t port = 0;
  if (r.Int("Port", port)) m.Port = static_cast<uint16_t>(port & 0xFFFF);
  r.Int("TTL", m.TTL);
  r.Bool("AutoStart", m.AutoStart);
}

void ReadVideoSource(const TReader& r, TVideoSourceConfiguration& c) {
  r.Attr("token", c.token);
  r.Text("Name", c.Name);
  r.Int("UseCount", c.UseCount);
  r.Text("SourceToken", c.SourceToken);
  if (const TReader bounds = r.Child("Bounds"); bounds.Present()) {
    c.Bounds = {bounds.AttrInt("x"), bounds.AttrInt("y"), bounds.AttrInt("width"),
                bounds.AttrInt("height")};
  }
}

void ReadVideoEncoder(const TReader& r, TVideoEncoderConfiguration& c) {
  r.Attr("token", c.token);
  r.Text("Name", c.Name);
  r.Int("UseCount", c.UseCount);
  r.Text("Encoding", c.Encoding);
  const TReader resolution = r.Child("Resolution");
  resolution.Int("Width", c.Resolution.width);
  resolution.Int("Height", c.Resolution.height);
  r.Double("Quality", c.Quality);
  const TReader rate = r.Child("RateControl");
  rate.Int("FrameRateLimit", c.RateControl.FrameRateLimit);
  rate.Int("EncodingInterval", c.RateControl.EncodingInterval);
  rate.Int("BitrateLimit", c.RateControl.BitrateLimit);
  const TReader h264 = r.Child("H264");
  h264.Int("GovLength", c.H264.GovLength);
  h264.Text("H264Profile", c.H264.H264Profile);
  ReadMulticast(r.Child("Multicast"), c.Multicast);
  r.Text("SessionTimeout", c.SessionTimeout);
}

void ReadVideoAnalytics(const TReader& r, TVideoAnalyticsConfiguration& c) {
  r.Attr("token", c.token);
  r.Text("Name", c.Name);
  r.Int("UseCount", c.UseCount);
  if (const TReader engine = r.Child("AnalyticsEngineConfiguration"); engine.Present()) {
    const TXmlNodeList& modules = engine.Node()->ChildNodes;
    for (size_t i = 0; i < modules.Count(); ++i) {
      const TXmlNode& module = modules.Get(i);
      if (module.NodeType != ntElement) continue;
      TAnalyticsModule m;
      m.Type_ = module.GetAttr("Type");
      m.Name = module.GetAttr("Name");
      c.AnalyticsEngineConfiguration.push_back(std::move(m));
    }
  }
}

void ReadAudioEncoder(const TReader& r, TAudioEncoderConfiguration& c) {
  r.Attr("token", c.token);
  r.Text("Name", c.Name);
  r.Int("UseCount", c.UseCount);
  r.Text("Encoding", c.Encoding);
  r.Int("Bitrate", c.Bitrate);
  r.Int("SampleRate", c.SampleRate);
  ReadMulticast(r.Child("Multicast"), c.Multicast);
  r.Text("SessionTimeout", c.SessionTimeout);
}

void ReadPTZ(const TReader& r, TPTZConfiguration& c) {
  r.Attr("token", c.token);
  r.Text("Name", c.Name);
  r.Int("UseCount", c.UseCount);
  r.Text("NodeToken", c.NodeToken);
  r.Text("DefaultContinuousPanTiltVelocitySpace", c.DefaultContinuousPanTiltVelocitySpace);
  r.Text("DefaultContinuousZoomVelocitySpace", c.DefaultContinuousZoomVelocitySpace);
  r.Text("DefaultPTZTimeout", c.DefaultPTZTimeout);
}

void ReadAudioOutput(const TReader& r, TAudioOutputConfiguration& c) {
  r.Attr("token", c.token);
  r.Text("Name", c.Name);
  r.Int("UseCount", c.UseCount);
  r.Text("OutputToken", c.OutputToken);
  r.Text("SendPrimacy", c.SendPrimacy);
  r.Int("OutputLevel", c.OutputLevel);
}

void ReadAudioDecoder(const TReader& r, TAudioDecoderConfiguration& c) {
  r.Attr("token", c.token);
  r.Text("Name", c.Name);
  r.Int("UseCount", c.UseCount);
}

void ReadExtension(const TReader& r, TProfileExtension& e) {
  if (const TReader out = r.Child("AudioOutputConfiguration"); out.Present()) {
    ReadAudioOutput(out, e.AudioOutputConfiguration);
  }
  if (const TReader dec = r.Child("AudioDecoderConfiguration"); dec.Present()) {
    ReadAudioDecoder(dec, e.AudioDecoderConfiguration);
  }
}

// A Media2 rate, a float ("25.0"), as the whole number the record keeps;
// beyond the range of one it is the nearest end.
int32_t RoundedInt(double value) {
  constexpr double kLow = std::numeric_limits<int32_t>::min();
  constexpr double kHigh = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::lround(std::clamp(value, kLow, kHigh)));
}

// A Media2 video encoder: the H.264 settings are attributes (GovLength,
// Profile), the frame rate a float.
void ReadVideoEncoder2(const TReader& r, TVideoEncoderConfiguration& c) {
  r.Attr("token", c.token);
  r.Text("Name", c.Name);
  r.Int("UseCount", c.UseCount);
  r.Text("Encoding", c.Encoding);
  const TReader resolution = r.Child("Resolution");
  resolution.Int("Width", c.Resolution.width);
  resolution.Int("Height", c.Resolution.height);
  r.Double("Quality", c.Quality);
  const TReader rate = r.Child("RateControl");
  if (double frames = 0; rate.Double("FrameRateLimit", frames)) {
    c.RateControl.FrameRateLimit = RoundedInt(frames);
  }
  rate.Int("BitrateLimit", c.RateControl.BitrateLimit);
  std::string gov;
  r.Attr("GovLength", gov);
  if (!gov.empty()) c.H264.GovLength = XmlToInt(gov);
  r.Attr("Profile", c.H264.H264Profile);
  ReadMulticast(r.Child("Multicast"), c.Multicast);
}

// A Media2 profile's configurations, into the records of the older profile.
void ReadConfigurations2(const TReader& r, TProfile& p) {
  if (const TReader s = r.Child("VideoSource"); s.Present()) {
    ReadVideoSource(s, p.VideoSourceConfiguration);
  }
  if (const TReader s = r.Child("VideoEncoder"); s.Present()) {
    ReadVideoEncoder2(s, p.VideoEncoderConfiguration);
  }
  if (const TReader s = r.Child("Analytics"); s.Present()) {
    ReadVideoAnalytics(s, p.VideoAnalyticsConfiguration);
  }
  if (const TReader s = r.Child("AudioEncoder"); s.Present()) {
    ReadAudioEncoder(s, p.AudioEncoderConfiguration);
  }
  if (const TReader s = r.Child("PTZ"); s.Present()) ReadPTZ(s, p.PTZConfiguration);
  if (const TReader s = r.Child("AudioOutput"); s.Present()) {
    ReadAudioOutput(s, p.Extension.AudioOutputConfiguration);
  }
  if (const TReader s = r.Child("AudioDecoder"); s.Present()) {
    ReadAudioDecoder(s, p.Extension.AudioDecoderConfiguration);
  }
}

TProfile ReadProfile(const TXmlNode& node) {
  TProfile p;
  const TReader r(&node);
  if (const std::string fixed = node.GetAttr("fixed"); !fixed.empty()) p.fixed = XmlToBool(fixed);
  p.token = node.GetAttr("token");
  r.Text("Name", p.Name);
  // A Media2 profile: its configurations in one element, named without "Configuration".
  if (const TReader c = r.Child("Configurations"); c.Present()) {
    ReadConfigurations2(c, p);
    return p;
  }
  if (const TReader s = r.Child("VideoSourceConfiguration"); s.Present()) {
    ReadVideoSource(s, p.VideoSourceConfiguration);
  }
  if (const TReader s = r.Child("VideoEncoderConfiguration"); s.Present()) {
    ReadVideoEncoder(s, p.VideoEncoderConfiguration);
  }
  if (const TReader s = r.Child("VideoAnalyticsConfiguration"); s.Present()) {
    ReadVideoAnalytics(s, p.VideoAnalyticsConfiguration);
  }
  if (const TReader s = r.Child("AudioEncoderConfiguration"); s.Present()) {
    ReadAudioEncoder(s, p.AudioEncoderConfiguration);
  }
  if (const TReader s = r.Child("PTZConfiguration"); s.Present()) ReadPTZ(s, p.PTZConfiguration);
  if (const TReader s = r.Child("Extension"); s.Present()) ReadExtension(s, p.Extension);
  return p;
}

// The text without surrounding blanks (cameras pretty-print values).
std::string_view Trimmed(std::string_view text) {
  const size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  const size_t e = text.find_last_not_of(" \t\r\n");
  return text.substr(b, e - b + 1);
}

bool IsDecimalNumber(std::string_view t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  bool digits = false;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, digits = true;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, digits = true;
  }
  if (!digits) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    bool exp = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, exp = true;
    if (!exp) return false;
  }
  return i == t.size();
}

constexpr std::string_view kMediaNamespace = "http://www.onvif.org/ver10/media/wsdl";
constexpr std::string_view kMedia2Namespace = "http://www.onvif.org/ver20/media/wsdl";

// The address a GetServices answer gives for the service of that namespace.
bool ServiceXAddr(const TXmlDocument& answer, std::string_view ns, std::string& XAddr) {
  TXmlNode* services = Path(answer.DocumentElement(), {"Body", "GetServicesResponse"});
  if (!services) return false;
  for (const TXmlNode* service : services->FindNodes("Service", {ntElement})) {
    const TXmlNode* name = service->Find("Namespace", {ntElement});
    const TXmlNode* x = service->Find("XAddr", {ntElement});
    if (name && x && Trimmed(name->Text) == ns) {
      XAddr = std::string(Trimmed(x->Text));
      return !XAddr.empty();
    }
  }
  return false;
}

bool TryDecimal(std::string_view text, double& value) {
  const std::string_view t = Trimmed(text);
  if (!IsDecimalNumber(t)) return false;
  const std::string_view digits = t[0] == '+' ? t.substr(1) : t;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return ec == std::errc() && end == digits.data() + digits.size() && std::isfinite(value);
}

// The address of a GetSnapshotUri or GetStreamUri response: described in a
// MediaUri (the older service), or a Uri alone (Media2). False when neither
// holds anything.
bool ReadMediaUri(const TXmlNode& response, TMediaUri& uri) {
  if (const TXmlNode* media = response.Find("MediaUri", {ntElement})) {
    const TReader r(media);
    bool found = false;
    found |= r.Text("Uri", uri.Uri);
    found |= r.Bool("InvalidAfterConnect", uri.InvalidAfterConnect);
    found |= r.Bool("InvalidAfterReboot", uri.InvalidAfterReboot);
    found |= r.Text("Timeout", uri.Timeout);
    return found;
  }
  return TReader(&response).Text("Uri", uri.Uri);
}

}  // namespace

void LoadAnswer(TXmlDocument& doc, std::string_view Answer) {
  doc.MaxNodes = kMaxAnswerNodes;
  doc.MaxAttributes = kMaxAnswerAttributes;
  TBytesStream stream(Answer);
  try {
    doc.LoadFromStream(stream, 4096);
  } catch (const TXmlLimitError& e) {
    throw TAnswerLimitError(msg::AnswerOverLimit(e.Limit, std::string_view(e.What) == msg::kXmlNodes
                                                              ? msg::kAnswerXmlNodes
                                                              : msg::kAnswerXmlAttributes));
  }
}

std::string FailureReason(const TSoapAnswer& answer) {
  TXmlDocument doc;
  LoadAnswer(doc, answer.Body);
  return FailureReason(answer, doc);
}

std::string FailureReason(const TSoapAnswer& answer, const TXmlDocument& body) {
  if (TXmlNode* reason = Path(body.DocumentElement(), {"Body", "Fault", "Reason", "Text"})) {
    const std::string text(Trimmed(reason->Text));
    if (!text.empty()) return text;
  }
  if (answer.Status < 200 || answer.Status > 299) return "HTTP " + answer.StatusText;
  return {};
}

int32_t XmlToInt(const std::string& text) {
  const std::string_view t = Trimmed(text);
  std::string_view digits = t;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
      (t.size() > 1 && t[0] == '+' && digits[0] == '-')) {
    throw Error(msg::NotValidInteger(text));
  }
  return value;
}

bool XmlToBool(const std::string& text) {
  const std::string_view t = Trimmed(text);
  auto same = [&](std::string_view word) {
    if (t.size() != word.size()) return false;
    for (size_t i = 0; i < t.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(t[i])) != word[i]) return false;
    }
    return true;
  };
  if (same("true")) return true;
  if (same("false")) return false;
  double number = 0;
  if (TryDecimal(t, number)) return number != 0;
  throw Error(msg::NotValidBoolean(text));
}

double XmlToDouble(const std::string& text) {
  double value = 0;
  if (!TryDecimal(text, value)) throw Error(msg::NotValidFloat(text));
  return value;
}

std::string BuildGetDeviceInformation(const std::string& Login, const std::string& Password,
                                      TClockOffset clockOffset) {
  return BuildEnvelope(kGetDeviceInformation, Login, Password, clockOffset);
}

std::string BuildGetProfiles(const std::string& Login, const std::string& Password,
                             TClockOffset clockOffset) {
  return BuildEnvelope(kGetProfiles, Login, Password, clockOffset);
}

std::string BuildGetSnapshotUri(const std::string& Login, const std::string& Password,
                                const std::string& ProfileToken, TClockOffset clockOffset) {
  return BuildEnvelope(kGetSnapshotUri, Login, Password, clockOffset, ProfileToken);
}

std::string BuildGetStreamUri(const std::string& Login, const std::string& Password,
                              const std::string& ProfileToken, TClockOffset clockOffset) {
  return BuildEnvelope(kGetStreamUri, Login, Password, clockOffset, ProfileToken);
}

std::string BuildGetProfiles2(const std::string& Login, const std::string& Password,
                              TClockOffset clockOffset) {
  return BuildEnvelope(kGetProfiles2, Login, Password, clockOffset);
}

std::string BuildGetSnapshotUri2(const std::string& Login, const std::string& Password,
                                 const std::string& ProfileToken, TClockOffset clockOffset) {
  return BuildEnvelope(kGetSnapshotUri2, Login, Password, clockOffset, ProfileToken);
}

std::string BuildGetStreamUri2(const std::string& Login, const std::string& Password,
                               const std::string& ProfileToken, TClockOffset clockOffset) {
  return BuildEnvelope(kGetStreamUri2, Login, Password, clockOffset, ProfileToken);
}

std::string BuildGetSystemDateAndTime(bool withToken, const std::string& Login,
                                      const std::string& Password) {
  return BuildEnvelope(kGetSystemDateAndTime, withToken ? Login : std::string(), Password,
                       TClockOffset(0));
}

std::string BuildGetCapabilities(const std::string& Login, const std::string& Password,
                                 TClockOffset clockOffset) {
  return BuildEnvelope(kGetCapabilities, Login, Password, clockOffset);
}

std::string BuildGetServices(const std::string& Login, const std::string& Password,
                             TClockOffset clockOffset) {
  return BuildEnvelope(kGetServices, Login, Password, clockOffset);
}

bool ParseSystemDateAndTime(std::string_view Answer, std::chrono::system_clock::time_point& utc) {
  TXmlDocument doc;
  TXmlNode* when = Path(Load(doc, Answer), {"Body", "GetSystemDateAndTimeResponse",
                                            "SystemDateAndTime", "UTCDateTime"});
  if (!when) return false;
  const TReader date(when->Find("Date", {ntElement})), time(when->Find("Time", {ntElement}));
  int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  if (!date.Int("Year", y) || !date.Int("Month", mo) || !date.Int("Day", d) ||
      !time.Int("Hour", h) || !time.Int("Minute", mi) || !time.Int("Second", sec)) {
    return false;
  }
  using namespace std::chrono;
  char text[96];
  std::snprintf(text, sizeof text, "%d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, sec);
  // The year is checked before anything is built from it: year{} keeps 16 bits
  // only, and a far year overflows the nanoseconds of system_clock.
  if (y < kFirstCameraYear || y > kLastCameraYear) {
    throw Error(msg::ClockYearsOutside(text, kFirstCameraYear, kLastCameraYear));
  }
  // A leap second (60) is taken as the first second of the next minute.
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 ||
      sec > 60 ||
      !year_month_day{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}}
           .ok()) {
    throw Error(msg::NotValidDateTime(text));
  }
  // In seconds, which hold any of these dates; in nanoseconds only once known to fit.
  const seconds since =
      sys_days{year{y} / mo / d}.time_since_epoch() + hours{h} + minutes{mi} + seconds{sec};
  utc = system_clock::time_point(duration_cast<system_clock::duration>(since));
  return true;
}

bool ParseMediaXAddr(std::string_view Answer, std::string& XAddr) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return ParseMediaXAddr(doc, XAddr);
}

bool ParseMediaXAddr(const TXmlDocument& Answer, std::string& XAddr) {
  TXmlNode* root = Answer.DocumentElement();
  if (TXmlNode* x =
          Path(root, {"Body", "GetCapabilitiesResponse", "Capabilities", "Media", "XAddr"})) {
    XAddr = std::string(Trimmed(x->Text));
    return !XAddr.empty();
  }
  return ServiceXAddr(Answer, kMediaNamespace, XAddr);
}

bool ParseMedia2XAddr(std::string_view Answer, std::string& XAddr) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return ParseMedia2XAddr(doc, XAddr);
}

bool ParseMedia2XAddr(const TXmlDocument& Answer, std::string& XAddr) {
  return ServiceXAddr(Answer, kMedia2Namespace, XAddr);
}

bool IsSoapEnvelope(std::string_view Answer) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return IsSoapEnvelope(doc);
}

bool IsSoapEnvelope(const TXmlDocument& Answer) {
  TXmlNode* root = Answer.DocumentElement();
  return root && Answer.NameMatches(root->Name, "Envelope");
}

bool IsNotAuthorizedFault(std::string_view Answer) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return IsNotAuthorizedFault(doc);
}

namespace {

// A SOAP fault whose code or any subcode holds code, or whose reason holds
// reason.
bool IsFaultOf(const TXmlDocument& Answer, std::string_view code, std::string_view reason) {
  TXmlNode* fault = Path(Answer.DocumentElement(), {"Body", "Fault"});
  if (!fault) return false;
  // Subcodes may nest: Code/Subcode/Value, Code/Subcode/Subcode/Value ...
  for (TXmlNode* level = fault->Find("Code", {ntElement}); level;
       level = level->Find("Subcode", {ntElement})) {
    if (const TXmlNode* value = level->Find("Value", {ntElement});
        value && value->Text.find(code) != std::string::npos) {
      return true;
    }
  }
  const TXmlNode* text = Path(fault, {"Reason", "Text"});
  return text && text->Text.find(reason) != std::string::npos;
}

}  // namespace

bool IsNotAuthorizedFault(const TXmlDocument& Answer) {
  return IsFaultOf(Answer, "NotAuthorized", "time check");
}

bool IsActionNotSupportedFault(std::string_view Answer) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return IsActionNotSupportedFault(doc);
}

bool IsActionNotSupportedFault(const TXmlDocument& Answer) {
  return IsFaultOf(Answer, "ActionNotSupported", "method name or namespace not recognized");
}

std::string RequestDeviceInformation(const std::string& URL, const std::string& Login,
                                     const std::string& Password) {
  return PostSoapRequest(URL, BuildGetDeviceInformation(Login, Password));
}

std::string RequestProfiles(const std::string& URL, const std::string& Login,
                            const std::string& Password) {
  return PostSoapRequest(URL, BuildGetProfiles(Login, Password));
}

std::string RequestSnapshotUri(const std::string& URL, const std::string& Login,
                               const std::string& Password, const std::string& ProfileToken) {
  return PostSoapRequest(URL, BuildGetSnapshotUri(Login, Password, ProfileToken));
}

bool ParseDeviceInformation(std::string_view Answer, TDeviceInformation& Info) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return ParseDeviceInformation(doc, Info);
}

bool ParseDeviceInformation(const TXmlDocument& Answer, TDeviceInformation& Info) {
  Info = TDeviceInformation{};
  TXmlNode* response = Path(Answer.DocumentElement(), {"Body", "GetDeviceInformationResponse"});
  if (!response) return false;
  const TReader r(response);
  bool found = false;
  found |= r.Text("Manufacturer", Info.Manufacturer);
  found |= r.Text("Model", Info.Model);
  found |= r.Text("FirmwareVersion", Info.FirmwareVersion);
  found |= r.Text("SerialNumber", Info.SerialNumber);
  found |= r.Text("HardwareId", Info.HardwareId);
  return found;
}

bool ParseSnapshotUri(std::string_view Answer, TSnapshotUri& Uri) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return ParseSnapshotUri(doc, Uri);
}

bool ParseSnapshotUri(const TXmlDocument& Answer, TSnapshotUri& Uri) {
  Uri = TSnapshotUri{};
  TXmlNode* response = Path(Answer.DocumentElement(), {"Body", "GetSnapshotUriResponse"});
  return response && ReadMediaUri(*response, Uri);
}

bool ParseStreamUri(std::string_view Answer, TStreamUri& Uri) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return ParseStreamUri(doc, Uri);
}

bool ParseStreamUri(const TXmlDocument& Answer, TStreamUri& Uri) {
  Uri = TStreamUri{};
  TXmlNode* response = Path(Answer.DocumentElement(), {"Body", "GetStreamUriResponse"});
  if (!response) return false;
  ReadMediaUri(*response, Uri);
  return true;
}

bool ParseProfiles(std::string_view Answer, std::vector<TProfile>& Profiles) {
  TXmlDocument doc;
  LoadAnswer(doc, Answer);
  return ParseProfiles(doc, Profiles);
}

bool ParseProfiles(const TXmlDocument& Answer, std::vector<TProfile>& Profiles) {
  TXmlNode* response = Path(Answer.DocumentElement(), {"Body", "GetProfilesResponse"});
  if (!response) return false;
  // Elements only: a comment or stray text between profiles is no profile.
  std::vector<const TXmlNode*> profiles;
  const TXmlNodeList& children = response->ChildNodes;
  for (size_t i = 0; i < children.Count(); ++i) {
    const TXmlNode& node = children.Get(i);
    if (node.NodeType != ntElement) continue;
    if (profiles.size() == kMaxProfiles) {
      throw TAnswerLimitError(msg::AnswerOverLimit(kMaxProfiles, msg::kAnswerProfiles));
    }
    profiles.push_back(&node);
  }
  Profiles.reserve(Profiles.size() + profiles.size());
  for (const TXmlNode* node : profiles) Profiles.push_back(ReadProfile(*node));
  return !profiles.empty();
}

}  // namespace zorvane
