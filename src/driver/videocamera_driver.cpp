#include "driver/videocamera_driver.h"

#include "common/error.h"
#include "common/text.h"
#include "driver/messages.h"
#include "v8napi/variant.h"

namespace zorvane {

namespace {

using THandler = bool (TVideocameraDriver::*)(V8Variant*, V8Variant*, long);

const TMethodExport kMethods[] = {
    {u"StartVideoCapture", u"СтартВидеоЗахвата", 3,
     &ExportedMethod<&TVideocameraDriver::StartVideoCapture>},
    {u"StartVideoRecord", u"СтартВидеоЗаписи", 2,
     &ExportedMethod<&TVideocameraDriver::StartVideoRecord>},
    {u"StopVideo", u"СтопВидео", 0, &ExportedMethod<&TVideocameraDriver::StopVideo>},
    {u"MakePhoto", u"СделатьФотоснимок", 1,
     &ExportedMethod<static_cast<THandler>(&TVideocameraDriver::MakePhoto)>},
    {u"GetPhoto", u"ПолучитьФотоснимок", 1,
     &ExportedMethod<static_cast<THandler>(&TVideocameraDriver::GetPhoto)>},
};

const TPropertyExport kProperties[] = {
    FieldProperty<&TVideocameraDriver::FPhotoFileName>(u"PhotoFileName", u"ИмяФайлаФото",
                                                       msg::kPhotoFileNameCaption, ""),
    FieldProperty<&TVideocameraDriver::FVideoFileName>(u"VideoFileName", u"ИмяФайлаВидео",
                                                       msg::kVideoFileNameCaption, ""),
    FieldProperty<&TVideocameraDriver::FVideoCaptureDevice>(
        u"VideoCaptureDevice", u"УстройствоВидеозахвата", msg::kVideoCaptureDeviceCaption, ""),
    FieldProperty<&TVideocameraDriver::FVideoCompressorFilter>(
        u"VideoCompressorFilter", u"ФильтрВидеосжатия", msg::kVideoCompressorFilterCaption, ""),
    FieldProperty<&TVideocameraDriver::FPhotoQuality>(u"PhotoQuality", u"КачествоФото",
                                                      msg::kPhotoQualityCaption, "50"),
};

[[noreturn]] void AbstractError() {
  throw Error(msg::kAbstractError);
}

}  // namespace

const TClassInfo& TVideocameraDriver::ClassInfo() {
  static const TClassInfo info{&TCommonDriver::ClassInfo(), kMethods, kProperties, {}};
  return info;
}

void TVideocameraDriver::UpdateDriverInfo(TDriverInfo& info) {
  TCommonDriver::UpdateDriverInfo(info);
  info.EquipmentType = TEquipmentType::etVideocamera;
}

void TVideocameraDriver::StartVideoCaptureImpl(bool, const std::string&, bool) {
  AbstractError();
}
void TVideocameraDriver::StartVideoRecordImpl(bool, const std::string&) {
  AbstractError();
}
void TVideocameraDriver::StopVideoImpl() {
  AbstractError();
}
void TVideocameraDriver::MakePhoto(const std::string&) {
  AbstractError();
}
void TVideocameraDriver::GetPhoto(std::string&) {
  AbstractError();
}

bool TVideocameraDriver::StartVideoCapture(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] {
    const bool first = V8GetBool(&Params[0]);
    const std::string text = ToUtf8(V8GetWString(&Params[1]));
    const bool third = V8GetBool(&Params[2]);
    StartVideoCaptureImpl(first, text, third);
  });
}

bool TVideocameraDriver::StartVideoRecord(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] {
    const bool first = V8GetBool(&Params[0]);
    StartVideoRecordImpl(first, ToUtf8(V8GetWString(&Params[1])));
  });
}

bool TVideocameraDriver::StopVideo(V8Variant* RetValue, V8Variant*, long) {
  return Handle(RetValue, [&] { StopVideoImpl(); });
}

bool TVideocameraDriver::MakePhoto(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] { MakePhoto(ToUtf8(V8GetWString(&Params[0]))); });
}

bool TVideocameraDriver::GetPhoto(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] {
    constexpr size_t kKeptBufferBytes = 16u << 20;
    struct Release {
      std::string& bytes;
      ~Release() {
        bytes.clear();
        if (bytes.capacity() > kKeptBufferBytes) std::string().swap(bytes);
      }
    } release{FPhotoBytes};
    GetPhoto(FPhotoBytes);
    if (!FPhotoBytes.empty() &&
        !V8SetBlob(&Params[0], FPhotoBytes.data(), static_cast<uint32_t>(FPhotoBytes.size()))) {
      throw Error(msg::kNoMemoryForPhoto);
    }
  });
}

}  // namespace zorvane
