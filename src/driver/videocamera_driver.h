// TVideocameraDriver: the videocamera layer of the equipment protocol. It
// reports the equipment type "Видеокамера", exports the photo and video
// methods and properties, and leaves the operations to a concrete driver;
// those it does not provide fail with "Abstract Error".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/common_driver.h"

namespace zorvane {

class TVideocameraDriver : public TCommonDriver {
 public:
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  static void UpdateDriverInfo(TDriverInfo& info);

  virtual void StartVideoCaptureImpl(bool, const std::string&, bool);
  virtual void StartVideoRecordImpl(bool, const std::string&);
  virtual void StopVideoImpl();
  virtual void MakePhoto(const std::string& AFileName);
  virtual void GetPhoto(std::string& AImage);  // the bytes of the image

  bool StartVideoCapture(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool StartVideoRecord(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool StopVideo(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool MakePhoto(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool GetPhoto(V8Variant* RetValue, V8Variant* Params, long ParamCount);

  std::string FPhotoFileName;
  std::string FVideoFileName;
  std::string FVideoCaptureDevice;
  std::string FVideoCompressorFilter;
  int32_t FPhotoQuality = 50;

 private:
  // The last photo's buffer, kept so that photo after photo reuses it.
  std::string FPhotoBytes;
};

}  // namespace zorvane
