// TDriver: the ONVIF camera driver the library exposes as "zorvane": the
// camera's connection settings, the photo operations and the camera search.
#pragma once

#include <cstdint>
#include <string>

#include "driver/videocamera_driver.h"

namespace zorvane {

class TDriver : public TVideocameraDriver {
 public:
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // The exported method "ПоискКамеры" and the additional action "Discover".
  bool Discover(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  void Discover();

  std::string FHost;
  int32_t FPort = 0;
  std::string FLogin;
  std::string FPassword;
  std::string FProfile;
  std::string FSnapshotURI;
};

// Registers TDriver under "zorvane" (the library's start-up).
void RegisterCameraDriver(TClassRegList& registry);

}  // namespace zorvane
