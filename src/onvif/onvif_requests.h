// The questions asked of a camera (GetDeviceInformation, GetProfiles,
// GetSnapshotUri, GetStreamUri, of either media service): their envelopes,
// the records of the answers, and the readers that fill the records from the
// answer bytes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"

namespace zorvane {

class TXmlDocument;

// Limits of a camera's answer, beside its size (kMaxSoapAnswerBytes): each
// passed is an error naming it. The largest real answers stay inside: a
// 64-channel recorder with four profiles per channel as heavy as any seen
// (about 350 elements and as many attributes, analytics included) comes to
// some 90 000 of each, an ordinary one to a quarter of that. 16 MiB of tiny
// elements does not, and no answer within them grows the client by 64 MiB.
inline constexpr size_t kMaxAnswerNodes = 100000;
inline constexpr size_t kMaxAnswerAttributes = 100000;
inline constexpr size_t kMaxProfiles = 1024;  // 64 channels of 16 profiles

struct TDeviceInformation {
  std::string Manufacturer;
  std::string Model;
  std::string FirmwareVersion;
  std::string SerialNumber;
  std::string HardwareId;
};

// An address the media service hands out. The older service describes it;
// the newer (Media2) gives the Uri alone, the other fields stay as they are.
struct TMediaUri {
  std::string Uri;
  bool InvalidAfterConnect = false;
  bool InvalidAfterReboot = false;
  std::string Timeout;
};
using TSnapshotUri = TMediaUri;
using TStreamUri = TMediaUri;

struct TIntRectangle {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

struct TVideoSourceConfiguration {
  std::string token;
  std::string Name;
  int32_t UseCount = 0;
  std::string SourceToken;
  TIntRectangle Bounds;
};

struct TVideoResolution {
  int32_t width = 0, height = 0;
};

struct TRateControl {
  int32_t FrameRateLimit = 0, EncodingInterval = 0, BitrateLimit = 0;
};

struct TH264Configuration {
  int32_t GovLength = 0;
  std::string H264Profile;
};

struct TIPAddress {
  std::string Type_;
  std::string IPv4Address;
};

struct TMulticastConfiguration {
  TIPAddress Address;
  uint16_t Port = 0;
  int32_t TTL = 0;
  bool AutoStart = false;
};

struct TVideoEncoderConfiguration {
  std::string token;
  std::string Name;
  int32_t UseCount = 0;
  std::string Encoding;
  TVideoResolution Resolution;
  double Quality = 0;
  TRateControl RateControl;
  TH264Configuration H264;
  TMulticastConfiguration Multicast;
  std::string SessionTimeout;
};

struct TAudioEncoderConfiguration {
  std::string token;
  std::string Name;
  int32_t UseCount = 0;
  std::string Encoding;
  int32_t Bitrate = 0;
  int32_t SampleRate = 0;
  TMulticastConfiguration Multicast;
  std::string SessionTimeout;
};

struct TRealPoint {
  double x = 0, y = 0;
};

struct TSimpleItem {
  std::string Name;
  std::string Value;
};

struct TElementItemLayout {
  int32_t Columns = 0, Rows = 0;
  TRealPoint Translate, Scale;
};

struct TElementItemTransform {
  TRealPoint Translate, Scale;
};

struct TElementItem {
  std::string Name;
  TElementItemLayout Layout;
  std::vector<TRealPoint> Field;
  TElementItemTransform Transform;
};

struct TAnalyticsModule {
  std::string Type_;
  std::string Name;
  std::vector<TSimpleItem> SimpleItem;
  std::vector<TElementItem> ElementItem;
};

struct TVideoAnalyticsConfiguration {
  std::string token;
  std::string Name;
  int32_t UseCount = 0;
  std::vector<TAnalyticsModule> AnalyticsEngineConfiguration;
  std::vector<TAnalyticsModule> RuleEngineConfiguration;
};

struct TPTZConfiguration {
  std::string token;
  std::string Name;
  int32_t UseCount = 0;
  std::string NodeToken;
  std::string DefaultContinuousPanTiltVelocitySpace;
  std::string DefaultContinuousZoomVelocitySpace;
  std::string DefaultPTZTimeout;
};

struct TAudioOutputConfiguration {
  std::string token;
  std::string Name;
  int32_t UseCount = 0;
  std::string OutputToken;
  std::string SendPrimacy;
  int32_t OutputLevel = 0;
};

struct TAudioDecoderConfiguration {
  std::string token;
  std::string Name;
  int32_t UseCount = 0;
};

struct TProfileExtension {
  TAudioOutputConfiguration AudioOutputConfiguration;
  TAudioDecoderConfiguration AudioDecoderConfiguration;
};

struct TProfile {
  bool fixed = false;
  std::string token;
  std::string Name;
  TVideoSourceConfiguration VideoSourceConfiguration;
  TVideoEncoderConfiguration VideoEncoderConfiguration;
  TAudioEncoderConfiguration AudioEncoderConfiguration;
  TVideoAnalyticsConfiguration VideoAnalyticsConfiguration;
  TPTZConfiguration PTZConfiguration;
  TProfileExtension Extension;
};

// Envelopes, each with a fresh UsernameToken (its Created moved by
// clockOffset for a camera whose clock differs); with an empty login, no
// token and no header at all. Login and token go in escaped.
using TClockOffset = std::chrono::milliseconds;
std::string BuildGetDeviceInformation(const std::string& Login, const std::string& Password,
                                      TClockOffset clockOffset = TClockOffset(0));
std::string BuildGetProfiles(const std::string& Login, const std::string& Password,
                             TClockOffset clockOffset = TClockOffset(0));
std::string BuildGetSnapshotUri(const std::string& Login, const std::string& Password,
                                const std::string& ProfileToken,
                                TClockOffset clockOffset = TClockOffset(0));
// The profile's RTSP address: unicast RTP over RTSP.
std::string BuildGetStreamUri(const std::string& Login, const std::string& Password,
                              const std::string& ProfileToken,
                              TClockOffset clockOffset = TClockOffset(0));
// The same questions of the Media2 service, for cameras that have no other:
// every profile with all its configurations, and the addresses by protocol.
std::string BuildGetProfiles2(const std::string& Login, const std::string& Password,
                              TClockOffset clockOffset = TClockOffset(0));
std::string BuildGetSnapshotUri2(const std::string& Login, const std::string& Password,
                                 const std::string& ProfileToken,
                                 TClockOffset clockOffset = TClockOffset(0));
std::string BuildGetStreamUri2(const std::string& Login, const std::string& Password,
                               const std::string& ProfileToken,
                               TClockOffset clockOffset = TClockOffset(0));
// The device service questions the client asks when a camera needs it:
// the camera's clock (with or without a token), and where its media service is.
std::string BuildGetSystemDateAndTime(bool withToken, const std::string& Login,
                                      const std::string& Password);
std::string BuildGetCapabilities(const std::string& Login, const std::string& Password,
                                 TClockOffset clockOffset);
std::string BuildGetServices(const std::string& Login, const std::string& Password,
                             TClockOffset clockOffset);

// Build the envelope and post it; the answer bytes as received.
std::string RequestDeviceInformation(const std::string& URL, const std::string& Login,
                                     const std::string& Password);
std::string RequestProfiles(const std::string& URL, const std::string& Login,
                            const std::string& Password);
std::string RequestSnapshotUri(const std::string& URL, const std::string& Login,
                               const std::string& Password, const std::string& ProfileToken);

// An answer that passes one of the limits above.
class TAnswerLimitError : public Error {
 public:
  using Error::Error;
};

// Reads a camera's answer into doc, within the limits above; an answer that
// passes one is an error ("The camera's answer has more than 100000 XML nodes").
void LoadAnswer(TXmlDocument& doc, std::string_view Answer);

// False when the answer holds no such response; a value that cannot be
// converted is an error ("'x' is not a valid integer value" and the like), and
// so are more than kMaxProfiles profiles. Each reads the answer itself; the
// forms over a document read by LoadAnswer let several questions share one reading.
// The profile and address readers take the answers of both media services:
// a Media2 profile holds its configurations under Configurations, and a
// Media2 address is a Uri of its own.
bool ParseDeviceInformation(std::string_view Answer, TDeviceInformation& Info);
bool ParseProfiles(std::string_view Answer, std::vector<TProfile>& Profiles);
bool ParseSnapshotUri(std::string_view Answer, TSnapshotUri& Uri);
bool ParseDeviceInformation(const TXmlDocument& Answer, TDeviceInformation& Info);
bool ParseProfiles(const TXmlDocument& Answer, std::vector<TProfile>& Profiles);
bool ParseSnapshotUri(const TXmlDocument& Answer, TSnapshotUri& Uri);
// True when the answer is a GetStreamUriResponse, even one without a Uri
// (then Uri.Uri is empty): the caller tells a missing address from no answer.
bool ParseStreamUri(std::string_view Answer, TStreamUri& Uri);
bool ParseStreamUri(const TXmlDocument& Answer, TStreamUri& Uri);

// The camera's UTC time from a GetSystemDateAndTime answer. A date or time no
// clock shows, or a year outside kFirstCameraYear..kLastCameraYear, is an error.
bool ParseSystemDateAndTime(std::string_view Answer, std::chrono::system_clock::time_point& utc);
// The media service address from a GetCapabilities or a GetServices answer (trimmed).
bool ParseMediaXAddr(std::string_view Answer, std::string& XAddr);
bool ParseMediaXAddr(const TXmlDocument& Answer, std::string& XAddr);
// The Media2 service address from a GetServices answer (trimmed).
bool ParseMedia2XAddr(std::string_view Answer, std::string& XAddr);
bool ParseMedia2XAddr(const TXmlDocument& Answer, std::string& XAddr);
// Whether the answer is a SOAP envelope at all.
bool IsSoapEnvelope(std::string_view Answer);
bool IsSoapEnvelope(const TXmlDocument& Answer);
// Whether the answer refuses the UsernameToken: a Fault with the subcode
// NotAuthorized, or one whose reason speaks of the time check.
bool IsNotAuthorizedFault(std::string_view Answer);
bool IsNotAuthorizedFault(const TXmlDocument& Answer);
// Whether the answer is a Fault saying the service does not know the action
// asked: the subcode ActionNotSupported, or the reason gSOAP servers give
// ("method name or namespace not recognized").
bool IsActionNotSupportedFault(std::string_view Answer);
bool IsActionNotSupportedFault(const TXmlDocument& Answer);

// Why an answer is no answer, when it says so: the Reason text of a SOAP
// Fault, else the HTTP status of a status outside 2xx; empty otherwise.
struct TSoapAnswer;
std::string FailureReason(const TSoapAnswer& answer);
// The same with the answer's body already read (LoadAnswer).
std::string FailureReason(const TSoapAnswer& answer, const TXmlDocument& body);

// The conversions of answer values.
int32_t XmlToInt(const std::string& text);
bool XmlToBool(const std::string& text);
double XmlToDouble(const std::string& text);

}  // namespace zorvane
