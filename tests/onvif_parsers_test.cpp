// The readers of the three answers: every real camera answer against the
// values a standards-following reader takes from it, and the edge cases of
// the conversions and of partial answers.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>

#include "common/error.h"
#include "onvif/onvif_requests.h"
#include "onvif/soap_transport.h"
#include "tests/support/checks.h"
#include "tests/support/process.h"
#include "xml/xml_document.h"

using namespace zorvane;
using zorvane::testing::ErrorOf;
using zorvane::testing::UnescapeLine;

namespace {

// A number read by the parsers, as text, compared with the text of the answer.
std::string Num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}
std::string NumText(const std::string& text) {
  return Num(std::stod(text));
}

std::string Envelope(const std::string& body) {
  return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>" + body +
         "</s:Body></s:Envelope>";
}

}  // namespace

TEST(OnvifParsersTest, CameraAnswersGiveTheReferenceValues) {
  std::ifstream in(ZORVANE_SAMPLES_MANIFEST);
  ASSERT_TRUE(!std::string(ZORVANE_SAMPLES_MANIFEST).empty() && in) << "no reference readings";
  // Each check: the manifest path (from the document element) and the value the record holds.
  struct Parsed {
    bool device = false, profiles = false, snapshot = false;
    TDeviceInformation info;
    std::vector<TProfile> list;
    TSnapshotUri uri;
  };
  std::map<std::string, Parsed> parsed;
  const std::regex profileField(R"(Body/GetProfilesResponse/Profiles\[(\d+)\]/(.*))");
  size_t checked = 0;
  for (std::string line; std::getline(in, line);) {
    const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
    const std::string file = line.substr(0, t1), path = line.substr(t1 + 1, t2 - t1 - 1);
    const std::string expected = UnescapeLine(line.substr(t2 + 1));
    if (expected == "\\0") continue;  // absent elements stay empty; nothing to compare
    Parsed& p = parsed[file];
    if (path == "#load") {
      const std::string answer =
          zorvane::testing::ReadFile(std::string(ZORVANE_SAMPLES_DIR) + "/" + file);
      p.device = ParseDeviceInformation(answer, p.info);
      p.snapshot = ParseSnapshotUri(answer, p.uri);
      try {
        p.profiles = ParseProfiles(answer, p.list);
      } catch (const Error& e) {
        ADD_FAILURE() << file << ": " << e.what();
      }
      continue;
    }
    std::string got = "(not a checked field)";
    const std::string di = "Body/GetDeviceInformationResponse/";
    const std::string su = "Body/GetSnapshotUriResponse/MediaUri/";
    std::smatch m;
    if (path.rfind(di, 0) == 0) {
      const std::string f = path.substr(di.size());
      const TDeviceInformation& i = p.info;
      got = f == "Manufacturer"      ? i.Manufacturer
            : f == "Model"           ? i.Model
            : f == "FirmwareVersion" ? i.FirmwareVersion
            : f == "SerialNumber"    ? i.SerialNumber
                                     : i.HardwareId;
    } else if (path.rfind(su, 0) == 0) {
      const std::string f = path.substr(su.size());
      if (f == "Uri") got = p.uri.Uri;
      if (f == "Timeout") got = p.uri.Timeout;
      if (f == "InvalidAfterConnect" || f == "InvalidAfterReboot") {
        const bool value =
            f == "InvalidAfterConnect" ? p.uri.InvalidAfterConnect : p.uri.InvalidAfterReboot;
        got = value == XmlToBool(expected) ? expected : "(other boolean)";
      }
    } else if (path == "Body/GetProfilesResponse/#Profiles") {
      got = std::to_string(p.list.size());
    } else if (std::regex_match(path, m, profileField)) {
      const size_t k = std::stoul(m[1]);
      if (k >= p.list.size()) {
        got = "(no profile " + m[1].str() + ")";
      } else {
        const TProfile& pr = p.list[k];
        const std::string f = m[2];
        const auto& enc = pr.VideoEncoderConfiguration;
        const auto& src = pr.VideoSourceConfiguration;
        const std::map<std::string, std::function<std::string()>> fields = {
            {"@token", [&] { return pr.token; }},
            {"@fixed", [&] { return pr.fixed == XmlToBool(expected) ? expected : "(other)"; }},
            {"Name", [&] { return pr.Name; }},
            {"VideoEncoderConfiguration/Name", [&] { return enc.Name; }},
            {"VideoEncoderConfiguration/@token", [&] { return enc.token; }},
            {"VideoEncoderConfiguration/Encoding", [&] { return enc.Encoding; }},
            {"VideoEncoderConfiguration/Quality",
             [&] { return Num(enc.Quality) == NumText(expected) ? expected : Num(enc.Quality); }},
            {"VideoEncoderConfiguration/Resolution/Width",
             [&] { return std::to_string(enc.Resolution.width); }},
            {"VideoEncoderConfiguration/Resolution/Height",
             [&] { return std::to_string(enc.Resolution.height); }},
            {"VideoSourceConfiguration/Name", [&] { return src.Name; }},
            {"VideoSourceConfiguration/SourceToken", [&] { return src.SourceToken; }},
            {"VideoSourceConfiguration/Bounds/@x", [&] { return std::to_string(src.Bounds.x); }},
            {"VideoSourceConfiguration/Bounds/@y", [&] { return std::to_string(src.Bounds.y); }},
            {"VideoSourceConfiguration/Bounds/@width",
             [&] { return std::to_string(src.Bounds.width); }},
            {"VideoSourceConfiguration/Bounds/@height",
             [&] { return std::to_string(src.Bounds.height); }},
        };
        if (const auto it = fields.find(f); it != fields.end()) got = it->second();
      }
    } else {
      continue;  // other answers are read by other parts of the client
    }
    EXPECT_EQ(got, expected) << file << " " << path;
    ++checked;
  }
  EXPECT_GT(checked, 500u);
}

TEST(OnvifParsersTest, Conversions) {
  struct Case {
    const char* text;
    const char* asInt;  // value, or the error
    const char* asBool;
    const char* asDouble;
  };
  const Case cases[] = {
      {"42", "42", "true", "42"},
      {"-7", "-7", "true", "-7"},
      {"0", "0", "false", "0"},
      {" 1920\n", "1920", "true", "1920"},
      {"4.5", "'4.5' is not a valid integer value", "true", "4.5"},
      {"4,5", "'4,5' is not a valid integer value", "'4,5' is not a valid boolean value",
       "'4,5' is not a valid floating point value"},
      {"TRUE", "'TRUE' is not a valid integer value", "true",
       "'TRUE' is not a valid floating point value"},
      {"false", "'false' is not a valid integer value", "false",
       "'false' is not a valid floating point value"},
      {"", "'' is not a valid integer value", "'' is not a valid boolean value",
       "'' is not a valid floating point value"},
      {"2147483648", "'2147483648' is not a valid integer value", "true", "2147483648"},
      {"1e999", "'1e999' is not a valid integer value", "'1e999' is not a valid boolean value",
       "'1e999' is not a valid floating point value"},
  };
  // Each conversion as text: its value, or its error message.
  const auto outcome = [](const std::function<std::string()>& convert) {
    try {
      return convert();
    } catch (const Error& e) {
      return std::string(e.what());
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(outcome([&] { return std::to_string(XmlToInt(c.text)); }), c.asInt);
    EXPECT_EQ(outcome([&] { return std::string(XmlToBool(c.text) ? "true" : "false"); }), c.asBool);
    EXPECT_EQ(outcome([&] { return Num(XmlToDouble(c.text)); }), c.asDouble);
  }
}

TEST(OnvifParsersTest, PartialAndForeignAnswers) {
  TDeviceInformation info;
  EXPECT_TRUE(ParseDeviceInformation(
      "<SOAP-ENV:Envelope><SOAP-ENV:Body><tds:GetDeviceInformationResponse><tds:Model>M</tds:Model>"
      "</tds:GetDeviceInformationResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>",
      info));
  EXPECT_EQ(info.Model, "M");
  EXPECT_EQ(info.Manufacturer, "");
  EXPECT_FALSE(
      ParseDeviceInformation("<s:Envelope><s:body><GetDeviceInformationResponse><Model>M</Model></"
                             "GetDeviceInformationResponse>"
                             "</s:body></s:Envelope>",
                             info));
  for (const char* answer : {"", "not xml", "<html><body>401</body></html>",
                             "<s:Envelope><s:Body><s:Fault/></s:Body></s:Envelope>"}) {
    SCOPED_TRACE(answer);
    std::vector<TProfile> profiles;
    TSnapshotUri uri;
    EXPECT_FALSE(ParseDeviceInformation(answer, info));
    EXPECT_FALSE(ParseProfiles(answer, profiles));
    EXPECT_FALSE(ParseSnapshotUri(answer, uri));
  }
  TSnapshotUri uri;
  EXPECT_TRUE(
      ParseSnapshotUri(Envelope("<GetSnapshotUriResponse><MediaUri><Uri>http://c/s.jpg</Uri>"
                                "</MediaUri></GetSnapshotUriResponse>"),
                       uri));
  EXPECT_EQ(uri.Uri, "http://c/s.jpg");
  EXPECT_FALSE(uri.InvalidAfterConnect);
  EXPECT_EQ(uri.Timeout, "");
}

TEST(OnvifParsersTest, CameraClock) {
  // A GetSystemDateAndTime answer with the six values as given (any text).
  const auto answer = [](const std::string& y, const std::string& mo, const std::string& d,
                         const std::string& h, const std::string& mi, const std::string& s) {
    return Envelope(
        "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:UTCDateTime>"
        "<tt:Time><tt:Hour>" +
        h + "</tt:Hour><tt:Minute>" + mi + "</tt:Minute><tt:Second>" + s +
        "</tt:Second></tt:Time><tt:Date><tt:Year>" + y + "</tt:Year><tt:Month>" + mo +
        "</tt:Month><tt:Day>" + d +
        "</tt:Day></tt:Date>"
        "</tt:UTCDateTime></tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>");
  };
  struct Case {
    const char *y, *mo, *d, *h, *mi, *s;
    const char* outcome;  // the time read, or the error
  };
  const Case cases[] = {
      {"2024", "3", "5", "7", "8", "9", "2024-03-05T07:08:09.000Z"},
      {"1970", "1", "1", "0", "0", "0", "1970-01-01T00:00:00.000Z"},
      {"2200", "12", "31", "23", "59", "59", "2200-12-31T23:59:59.000Z"},
      {"2024", "2", "29", "12", "0", "0", "2024-02-29T12:00:00.000Z"},
      {"2016", "12", "31", "23", "59", "60", "2017-01-01T00:00:00.000Z"},  // leap second
      // Years no camera clock shows; 2263 and on overflowed the nanoseconds of
      // system_clock, 67560 and 99999 the 16 bits of std::chrono::year.
      {"2263", "1", "1", "12", "0", "0",
       "'2263-01-01T12:00:00' is outside the years 1970..2200 of a camera clock"},
      {"2201", "1", "1", "0", "0", "0",
       "'2201-01-01T00:00:00' is outside the years 1970..2200 of a camera clock"},
      {"99999", "1", "1", "12", "0", "0",
       "'99999-01-01T12:00:00' is outside the years 1970..2200 of a camera clock"},
      {"67560", "1", "1", "12", "0", "0",
       "'67560-01-01T12:00:00' is outside the years 1970..2200 of a camera clock"},
      {"1969", "12", "31", "23", "59", "59",
       "'1969-12-31T23:59:59' is outside the years 1970..2200 of a camera clock"},
      {"0", "1", "1", "0", "0", "0",
       "'0-01-01T00:00:00' is outside the years 1970..2200 of a camera clock"},
      {"-2147483648", "1", "1", "0", "0", "0",
       "'-2147483648-01-01T00:00:00' is outside the years 1970..2200 of a camera clock"},
      // Dates and times that do not exist; 257 passed as 1 when cut to 8 bits.
      {"2024", "13", "1", "0", "0", "0", "'2024-13-01T00:00:00' is not a valid date and time"},
      {"2024", "0", "1", "0", "0", "0", "'2024-00-01T00:00:00' is not a valid date and time"},
      {"2024", "257", "1", "0", "0", "0", "'2024-257-01T00:00:00' is not a valid date and time"},
      {"2024", "1", "257", "0", "0", "0", "'2024-01-257T00:00:00' is not a valid date and time"},
      {"2023", "2", "29", "0", "0", "0", "'2023-02-29T00:00:00' is not a valid date and time"},
      {"2024", "1", "0", "0", "0", "0", "'2024-01-00T00:00:00' is not a valid date and time"},
      {"2024", "1", "1", "24", "0", "0", "'2024-01-01T24:00:00' is not a valid date and time"},
      {"2024", "1", "1", "-1", "0", "0", "'2024-01-01T-1:00:00' is not a valid date and time"},
      {"2024", "1", "1", "0", "60", "0", "'2024-01-01T00:60:00' is not a valid date and time"},
      {"2024", "1", "1", "0", "0", "61", "'2024-01-01T00:00:61' is not a valid date and time"},
      {"2024", "1", "1", "2147483647", "0", "0",
       "'2024-01-01T2147483647:00:00' is not a valid date and time"},
      {"2024", "x", "1", "0", "0", "0", "'x' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.y) + " " + c.mo + " " + c.d + " " + c.h + " " + c.mi + " " + c.s);
    std::chrono::system_clock::time_point utc{};
    std::string outcome;
    try {
      EXPECT_TRUE(ParseSystemDateAndTime(answer(c.y, c.mo, c.d, c.h, c.mi, c.s), utc));
      outcome = FormatCreated(utc);
    } catch (const Error& e) {
      outcome = e.what();
    }
    EXPECT_EQ(outcome, c.outcome);
  }
  // An answer without the clock is no clock, and no error.
  std::chrono::system_clock::time_point utc{};
  EXPECT_FALSE(ParseSystemDateAndTime(Envelope("<GetSystemDateAndTimeResponse/>"), utc));
  EXPECT_FALSE(ParseSystemDateAndTime(
      Envelope("<GetSystemDateAndTimeResponse><SystemDateAndTime><UTCDateTime><Date><Year>2024"
               "</Year></Date></UTCDateTime></SystemDateAndTime></GetSystemDateAndTimeResponse>"),
      utc));
}

TEST(OnvifParsersTest, Profiles) {
  const std::string answer = Envelope(
      "<GetProfilesResponse>"
      "<Profiles fixed=\"true\" token=\"a\"><Name>one</Name>"
      "<VideoEncoderConfiguration><Quality>4.5</Quality><Multicast><Port>70000</Port></Multicast>"
      "</VideoEncoderConfiguration>"
      "<AudioEncoderConfiguration "
      "token=\"au\"><Encoding>G711</Encoding><Bitrate>64</Bitrate></AudioEncoderConfiguration>"
      "<VideoAnalyticsConfiguration><AnalyticsEngineConfiguration>"
      "<AnalyticsModule Name=\"m1\" Type=\"tt:Cell\"/><AnalyticsModule Name=\"m2\" "
      "Type=\"tt:Line\"/>"
      "</AnalyticsEngineConfiguration></VideoAnalyticsConfiguration>"
      "<Extension><AudioDecoderConfiguration "
      "token=\"d\"><UseCount>2</UseCount></AudioDecoderConfiguration></Extension>"
      "</Profiles>"
      "<!-- a comment between profiles -->"
      "<Profiles token=\"b\"><Name>two</Name></Profiles>"
      "<Profiles><Name>three</Name></Profiles>"
      "</GetProfilesResponse>");
  std::vector<TProfile> profiles(2);
  ASSERT_TRUE(ParseProfiles(answer, profiles));
  ASSERT_EQ(profiles.size(), 5u);  // appended after what was there
  const TProfile& a = profiles[2];
  EXPECT_TRUE(a.fixed);
  EXPECT_EQ(a.token, "a");
  EXPECT_DOUBLE_EQ(a.VideoEncoderConfiguration.Quality, 4.5);
  EXPECT_EQ(a.VideoEncoderConfiguration.Multicast.Port, 4464);  // low 16 bits of 70000
  EXPECT_EQ(a.VideoEncoderConfiguration.Resolution.width, 0);
  EXPECT_EQ(a.AudioEncoderConfiguration.Encoding, "G711");
  EXPECT_EQ(a.AudioEncoderConfiguration.Bitrate, 64);
  ASSERT_EQ(a.VideoAnalyticsConfiguration.AnalyticsEngineConfiguration.size(), 2u);
  EXPECT_EQ(a.VideoAnalyticsConfiguration.AnalyticsEngineConfiguration[1].Name, "m2");
  EXPECT_EQ(a.VideoAnalyticsConfiguration.AnalyticsEngineConfiguration[1].Type_, "tt:Line");
  EXPECT_TRUE(a.VideoAnalyticsConfiguration.AnalyticsEngineConfiguration[1].SimpleItem.empty());
  EXPECT_EQ(a.Extension.AudioDecoderConfiguration.UseCount, 2);
  const TProfile& b = profiles[3];
  EXPECT_FALSE(b.fixed);
  EXPECT_EQ(b.AudioEncoderConfiguration.Encoding, "");
  EXPECT_EQ(b.AudioEncoderConfiguration.Bitrate, 0);
  EXPECT_EQ(profiles[4].Name, "three");

  // A conversion error ends the parse; what was appended stays.
  std::vector<TProfile> partial;
  EXPECT_EQ(ErrorOf([&] {
              ParseProfiles(
                  Envelope("<GetProfilesResponse><Profiles token=\"ok\"/>"
                           "<Profiles><VideoEncoderConfiguration><Quality>4,5</Quality>"
                           "</VideoEncoderConfiguration></Profiles></GetProfilesResponse>"),
                  partial);
            }),
            "'4,5' is not a valid floating point value");
  EXPECT_EQ(partial.size(), 1u);
  EXPECT_EQ(ErrorOf([&] {
              ParseProfiles(
                  Envelope("<GetProfilesResponse><Profiles><VideoSourceConfiguration>"
                           "<Bounds x=\"0\" y=\"0\" width=\"1\"/></VideoSourceConfiguration>"
                           "</Profiles></GetProfilesResponse>"),
                  partial);
            }),
            "'' is not a valid integer value");
  EXPECT_FALSE(ParseProfiles(Envelope("<GetProfilesResponse/>"), partial));
}

TEST(OnvifParsersTest, MediaAddressesOfEitherService) {
  // The older service describes the address in a MediaUri, Media2 gives the
  // Uri alone; a stream answer without a Uri is still an answer.
  struct Case {
    const char* name;
    std::string body;
    bool snapshot, stream;
    std::string uri;
  };
  const Case cases[] = {
      {"media snapshot",
       "<GetSnapshotUriResponse><MediaUri><Uri>http://c/s.jpg</Uri><Timeout>PT0S</Timeout>"
       "</MediaUri></GetSnapshotUriResponse>",
       true, false, "http://c/s.jpg"},
      {"Media2 snapshot",
       "<GetSnapshotUriResponse><Uri>http://c/s.jpg</Uri></GetSnapshotUriResponse>", true, false,
       "http://c/s.jpg"},
      {"media stream",
       "<GetStreamUriResponse><MediaUri><Uri>rtsp://c/1</Uri><InvalidAfterConnect>false"
       "</InvalidAfterConnect></MediaUri></GetStreamUriResponse>",
       false, true, "rtsp://c/1"},
      {"Media2 stream", "<GetStreamUriResponse><Uri> rtsp://c/1 </Uri></GetStreamUriResponse>",
       false, true, " rtsp://c/1 "},
      {"stream without Uri", "<GetStreamUriResponse><MediaUri/></GetStreamUriResponse>", false,
       true, ""},
      {"empty stream answer", "<GetStreamUriResponse/>", false, true, ""},
      {"snapshot without Uri", "<GetSnapshotUriResponse/>", false, false, ""},
      {"a fault",
       "<s:Fault><s:Code><s:Value>s:Sender</s:Value></s:Code><s:Reason><s:Text>no</s:Text>"
       "</s:Reason></s:Fault>",
       false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSnapshotUri snapshot;
    TStreamUri stream;
    EXPECT_EQ(ParseSnapshotUri(Envelope(c.body), snapshot), c.snapshot);
    EXPECT_EQ(ParseStreamUri(Envelope(c.body), stream), c.stream);
    EXPECT_EQ((c.snapshot ? snapshot : stream).Uri, c.uri);
  }
  TStreamUri stream;
  EXPECT_EQ(ErrorOf([&] {
              ParseStreamUri(Envelope("<GetStreamUriResponse><MediaUri><InvalidAfterReboot>maybe"
                                      "</InvalidAfterReboot></MediaUri></GetStreamUriResponse>"),
                             stream);
            }),
            "'maybe' is not a valid boolean value");
}

TEST(OnvifParsersTest, Media2ProfilesAndServices) {
  // A Media2 profile: its configurations under Configurations, the H.264
  // settings as attributes, the frame rate a float.
  const std::string answer = Envelope(
      "<tr2:GetProfilesResponse>"
      "<tr2:Profiles token=\"m\" fixed=\"true\"><tr2:Name>main</tr2:Name><tr2:Configurations>"
      "<tr2:VideoSource token=\"vs\"><tt:SourceToken>src</tt:SourceToken>"
      "<tt:Bounds x=\"0\" y=\"0\" width=\"1920\" height=\"1080\"/></tr2:VideoSource>"
      "<tr2:VideoEncoder token=\"ve\" GovLength=\"50\" Profile=\"High\"><tt:Encoding>H265"
      "</tt:Encoding><tt:Resolution><tt:Width>2560</tt:Width><tt:Height>1440</tt:Height>"
      "</tt:Resolution><tt:RateControl ConstantBitRate=\"false\"><tt:FrameRateLimit>12.5"
      "</tt:FrameRateLimit><tt:BitrateLimit>6144</tt:BitrateLimit></tt:RateControl>"
      "<tt:Quality>4.5</tt:Quality></tr2:VideoEncoder>"
      "<tr2:AudioEncoder token=\"ae\"><tt:Encoding>PCMU</tt:Encoding></tr2:AudioEncoder>"
      "<tr2:PTZ token=\"p\"><tt:NodeToken>n</tt:NodeToken></tr2:PTZ>"
      "<tr2:AudioDecoder token=\"ad\"/>"
      "</tr2:Configurations></tr2:Profiles>"
      "<tr2:Profiles token=\"s\"><tr2:Name>sub</tr2:Name><tr2:Configurations/></tr2:Profiles>"
      "</tr2:GetProfilesResponse>");
  std::vector<TProfile> profiles;
  ASSERT_TRUE(ParseProfiles(answer, profiles));
  ASSERT_EQ(profiles.size(), 2u);
  const TProfile& m = profiles[0];
  EXPECT_TRUE(m.fixed);
  EXPECT_EQ(m.Name, "main");
  EXPECT_EQ(m.VideoSourceConfiguration.SourceToken, "src");
  EXPECT_EQ(m.VideoSourceConfiguration.Bounds.height, 1080);
  const TVideoEncoderConfiguration& e = m.VideoEncoderConfiguration;
  EXPECT_EQ(e.token, "ve");
  EXPECT_EQ(e.Encoding, "H265");
  EXPECT_EQ(e.Resolution.width, 2560);
  EXPECT_EQ(e.RateControl.FrameRateLimit, 13);  // 12.5 rounded away from zero
  EXPECT_EQ(e.RateControl.BitrateLimit, 6144);
  EXPECT_EQ(e.H264.GovLength, 50);
  EXPECT_EQ(e.H264.H264Profile, "High");
  EXPECT_DOUBLE_EQ(e.Quality, 4.5);
  EXPECT_EQ(m.AudioEncoderConfiguration.Encoding, "PCMU");
  EXPECT_EQ(m.PTZConfiguration.NodeToken, "n");
  EXPECT_EQ(m.Extension.AudioDecoderConfiguration.token, "ad");
  EXPECT_EQ(profiles[1].token, "s");
  EXPECT_EQ(profiles[1].VideoEncoderConfiguration.token, "");

  // Frame rates no record holds, and attributes that are no numbers.
  const auto encoder = [](const std::string& attributes, const std::string& rate) {
    return Envelope("<GetProfilesResponse><Profiles token=\"x\"><Configurations><VideoEncoder" +
                    attributes + "><RateControl><FrameRateLimit>" + rate +
                    "</FrameRateLimit></RateControl></VideoEncoder></Configurations></Profiles>"
                    "</GetProfilesResponse>");
  };
  const std::pair<std::string, int32_t> rates[] = {
      {"1e300", INT32_MAX}, {"-1e300", INT32_MIN}, {"2147483647.4", INT32_MAX}, {"0.4", 0}};
  for (const auto& [rate, expected] : rates) {
    SCOPED_TRACE(rate);
    std::vector<TProfile> read;
    ASSERT_TRUE(ParseProfiles(encoder("", rate), read));
    EXPECT_EQ(read[0].VideoEncoderConfiguration.RateControl.FrameRateLimit, expected);
  }
  std::vector<TProfile> read;
  EXPECT_EQ(ErrorOf([&] { ParseProfiles(encoder("", "NaN"), read); }),
            "'NaN' is not a valid floating point value");
  EXPECT_EQ(ErrorOf([&] { ParseProfiles(encoder(" GovLength=\"5x\"", "25"), read); }),
            "'5x' is not a valid integer value");

  // The services: each media service by its namespace.
  const auto services = [](const std::string& list) {
    return Envelope(
        "<GetServicesResponse><Service><Namespace>http://www.onvif.org/ver10/device/wsdl"
        "</Namespace><XAddr>http://c/d</XAddr></Service>" +
        list + "</GetServicesResponse>");
  };
  const std::string media1 =
      "<Service><Namespace>http://www.onvif.org/ver10/media/wsdl</Namespace>"
      "<XAddr>http://c/m1</XAddr></Service>";
  const std::string media2 =
      "<Service><Namespace> http://www.onvif.org/ver20/media/wsdl\n</Namespace>"
      "<XAddr>\n  http://c/m2 </XAddr></Service>";
  struct ServicesCase {
    const char* name;
    std::string answer;
    std::string xaddr1, xaddr2;  // empty: not named
  };
  const ServicesCase lists[] = {
      {"both", services(media1 + media2), "http://c/m1", "http://c/m2"},
      {"Media2 only", services(media2), "", "http://c/m2"},
      {"media only", services(media1), "http://c/m1", ""},
      {"capabilities",
       Envelope("<GetCapabilitiesResponse><Capabilities><Media><XAddr>http://c/m1"
                "</XAddr></Media></Capabilities></GetCapabilitiesResponse>"),
       "http://c/m1", ""},
  };
  for (const ServicesCase& c : lists) {
    SCOPED_TRACE(c.name);
    std::string x1, x2;
    EXPECT_EQ(ParseMediaXAddr(c.answer, x1), !c.xaddr1.empty());
    EXPECT_EQ(ParseMedia2XAddr(c.answer, x2), !c.xaddr2.empty());
    EXPECT_EQ(x1, c.xaddr1);
    EXPECT_EQ(x2, c.xaddr2);
  }
}

TEST(OnvifParsersTest, FaultsOfAnUnknownAction) {
  // Real cameras' faults: which say the service cannot answer the action
  // (ActionNotSupported, however specific the subcode beneath it, or gSOAP's
  // words for an action it does not know).
  const std::pair<const char*, bool> faults[] = {
      {"fault-onvifgo-bosch-autodome5000i-actionnotsupported.xml", true},
      {"fault-easyonvif-ipg8150pss.xml", true},                      // Receiver/ActionNotSupported
      {"fault-onvifnvt-hikvision-ds2df7276ael-reveiver.xml", true},  // nested subcode
      {"fault-2bad-dvc-drn3282r-unknownaction.xml", true},           // gSOAP, no subcode
      {"fault-onvifnvt-pelco-d6230l-methodnotimplemented.xml", true},
      {"fault-onvifgo-axis-notauthorized.xml", false},
      {"fault-easyonvif-enp1a14ir25x.xml", false},  // OperationProhibited
      {"fault-onvifgo-axis-p3818pve-emptyreason.xml", false},
      {"fault-onvifnvt-axis-q6045e-audionotsupported.xml", true},
      {"fault-exonvif-noprofile.xml", false},
      {"getsnapshoturi-agsh-mockup.xml", false},
  };
  for (const auto& [file, unknown] : faults) {
    SCOPED_TRACE(file);
    const std::string answer =
        zorvane::testing::ReadFile(std::string(ZORVANE_SAMPLES_DIR) + "/" + file);
    EXPECT_EQ(IsActionNotSupportedFault(answer), unknown);
  }
}

TEST(OnvifParsersTest, AnswersBeyondTheLimits) {
  const auto profiles = [](size_t count) {
    std::string list;
    for (size_t i = 0; i < count; ++i) list += "<Profiles token=\"p" + std::to_string(i) + "\"/>";
    return Envelope("<GetProfilesResponse>" + list + "</GetProfilesResponse>");
  };
  std::vector<TProfile> read;
  EXPECT_TRUE(ParseProfiles(profiles(kMaxProfiles), read));
  EXPECT_EQ(read.size(), kMaxProfiles);
  read.clear();
  const std::string tooMany =
      "В ответе камеры больше " + std::to_string(kMaxProfiles) + " профилей";
  EXPECT_EQ(ErrorOf([&] { ParseProfiles(profiles(kMaxProfiles + 1), read); }), tooMany);
  EXPECT_TRUE(read.empty());  // counted before any is read

  // Nodes and attributes up to the limits, then one more.
  const auto elements = [](size_t count) {
    std::string text = "<a>";  // with the elements inside, count nodes in all
    for (size_t i = 1; i < count; ++i) text += "<b/>";
    return text + "</a>";
  };
  const auto attributes = [](size_t count) {
    std::string text = "<a";
    for (size_t i = 0; i < count; ++i) text += " b";
    return text + "/>";
  };
  TXmlDocument doc;
  EXPECT_NO_THROW(LoadAnswer(doc, elements(kMaxAnswerNodes)));
  EXPECT_NO_THROW(LoadAnswer(doc, attributes(kMaxAnswerAttributes)));
  const std::pair<std::string, std::string> beyond[] = {
      {elements(kMaxAnswerNodes + 1),
       "В ответе камеры больше " + std::to_string(kMaxAnswerNodes) + " узлов XML"},
      {attributes(kMaxAnswerAttributes + 1),
       "В ответе камеры больше " + std::to_string(kMaxAnswerAttributes) + " атрибутов XML"},
  };
  // Every reader of an answer keeps to them, the clock's and the fault's too.
  const std::function<void(const std::string&)> readers[] = {
      [](const std::string& a) {
        TDeviceInformation i;
        ParseDeviceInformation(a, i);
      },
      [](const std::string& a) {
        std::vector<TProfile> p;
        ParseProfiles(a, p);
      },
      [](const std::string& a) {
        TSnapshotUri u;
        ParseSnapshotUri(a, u);
      },
      [](const std::string& a) {
        TStreamUri u;
        ParseStreamUri(a, u);
      },
      [](const std::string& a) {
        std::string x;
        ParseMediaXAddr(a, x);
      },
      [](const std::string& a) {
        std::string x;
        ParseMedia2XAddr(a, x);
      },
      [](const std::string& a) {
        std::chrono::system_clock::time_point t;
        ParseSystemDateAndTime(a, t);
      },
      [](const std::string& a) { IsSoapEnvelope(a); },
      [](const std::string& a) { IsNotAuthorizedFault(a); },
      [](const std::string& a) { IsActionNotSupportedFault(a); },
      [](const std::string& a) {
        FailureReason(TSoapAnswer{500, "500", a});
      },
  };
  for (const auto& [answer, error] : beyond) {
    for (const auto& read : readers) EXPECT_EQ(ErrorOf([&] { read(answer); }), error);
  }
}
