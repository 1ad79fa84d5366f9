#include "forms/device_form.h"

#include <charconv>
#include <cstdio>

#include "platform/user_locale.h"

namespace zorvane {

namespace {

std::string Bool(bool value) {
  return value ? "-1" : "0";
}

TTreeItem Leaf(const std::string& label, const std::string& value) {
  return TTreeItem{label + value, {}};
}

TTreeItem Leaf(const std::string& label, long long value) {
  return Leaf(label, std::to_string(value));
}

TTreeItem ProfileItem(const TProfile& p, const std::string& separator) {
  const TVideoSourceConfiguration& source = p.VideoSourceConfiguration;
  const TVideoEncoderConfiguration& encoder = p.VideoEncoderConfiguration;
  char bounds[128];
  std::snprintf(bounds, sizeof bounds, "(x:%d, y:%d, width:%d, height:%d)", source.Bounds.x,
                source.Bounds.y, source.Bounds.width, source.Bounds.height);
  char resolution[64];
  std::snprintf(resolution, sizeof resolution, "(width:%d, height:%d)", encoder.Resolution.width,
                encoder.Resolution.height);
  return TTreeItem{
      "Name: " + p.Name,
      {
          Leaf("fixed: ", Bool(p.fixed)),
          Leaf("token: ", p.token),
          {"VideoSourceConfiguration",
           {
               Leaf("Name: ", source.Name),
               Leaf("token: ", source.token),
               Leaf("UseCount: ", source.UseCount),
               Leaf("SourceToken: ", source.SourceToken),
               Leaf("Bounds: ", bounds),
           }},
          {"VideoEncoderConfiguration",
           {
               Leaf("Name: ", encoder.Name),
               Leaf("token: ", encoder.token),
               Leaf("UseCount: ", encoder.UseCount),
               Leaf("Encoding: ", encoder.Encoding),
               Leaf("Resolution: ", resolution),
               Leaf("Quality: ", FormatFloat(encoder.Quality, separator)),
               {"RateControl",
                {
                    Leaf("FrameRateLimit: ", encoder.RateControl.FrameRateLimit),
                    Leaf("EncodingInterval: ", encoder.RateControl.EncodingInterval),
                    Leaf("BitrateLimit: ", encoder.RateControl.BitrateLimit),
                }},
               {"H264",
                {
                    Leaf("GovLength: ", encoder.H264.GovLength),
                    Leaf("H264Profile: ", encoder.H264.H264Profile),
                }},
               {"Multicast",
                {
                    Leaf("Address type: ", encoder.Multicast.Address.Type_),
                    Leaf("Address IPv4Address: ", encoder.Multicast.Address.IPv4Address),
                    Leaf("Port: ", encoder.Multicast.Port),
                    Leaf("TTL: ", encoder.Multicast.TTL),
                    Leaf("AutoStart: ", Bool(encoder.Multicast.AutoStart)),
                }},
               Leaf("SessionTimeout: ", encoder.SessionTimeout),
           }},
      }};
}

}  // namespace

std::string FormatFloat(double value, const std::string& decimalSeparator) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  std::string out(text, result.ptr);
  if (const size_t dot = out.find('.'); dot != std::string::npos)
    out.replace(dot, 1, decimalSeparator);
  return out;
}

TOnvifDeviceForm::TOnvifDeviceForm(const TOnvifDevice& ADevice)
    : TOnvifDeviceForm(ADevice, UserLocale().DecimalSeparator) {}

TOnvifDeviceForm::TOnvifDeviceForm(const TOnvifDevice& ADevice,
                                   const std::string& decimalSeparator)
    : edtName(ADevice.Name),
      edtHost(ADevice.Host),
      edtPort(std::to_string(ADevice.Port)),
      edtSnapshotURI(ADevice.SnapshotURI),
      tvProfiles{"Profiles", {}} {
  for (const TProfile& profile : ADevice.Profiles)
    tvProfiles.Children.push_back(ProfileItem(profile, decimalSeparator));
}

}  // namespace zorvane
