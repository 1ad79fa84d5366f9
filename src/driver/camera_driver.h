// TDriver: the ONVIF camera driver the library exposes as "zorvane": the
// camera's connection settings, the photo operations and the camera search.
#pragma once

#include <cstdint>
#include <string>

#include "driver/videocamera_driver.h"
#include "onvif/onvif_manager.h"
#include "video/clip_recorder.h"

namespace zorvane {

class TDriver : public TVideocameraDriver {
 public:
  TDriver();
  ~TDriver() override;

  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // The exported method "ПоискКамеры" and the additional action "Discover".
  bool Discover(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  void Discover();

  // Copies the connection settings into the device; no network traffic.
  void Open() override;
  void Close() override {}
  // Asks the camera: its maker, model and firmware, and the snapshot address
  // of the profile in use, within the call's deadline.
  std::string DescribeDevice() override;
  // The photo into the file: written beside it, then put in its place; a
  // failed photo leaves the file that was there as it was.
  void MakePhoto(const std::string& AFileName) override;
  void GetPhoto(std::string& AImage) override;
  using TVideocameraDriver::GetPhoto;
  using TVideocameraDriver::MakePhoto;
  // A clip of the camera's stream into the file (empty: VideoFileName, else
  // a new name in the user's video folder); returns once the first keyframe
  // is on its way. The name used is put into VideoFileName.
  void StartVideoRecordImpl(bool AShowWindow, const std::string& AFileName) override;
  // The same; keepAudio asks for the camera's sound where the file takes it.
  void StartVideoCaptureImpl(bool AShowWindow, const std::string& AFileName,
                             bool AKeepAudio) override;
  // Ends the clip and returns once its file is complete; fails with the
  // reason when the clip had ended on its own (its file stays).
  void StopVideoImpl() override;

  std::string FHost;
  int32_t FPort = 0;
  std::string FLogin;
  std::string FPassword;
  std::string FProfile;
  std::string FSnapshotURI;
  int32_t FVideoMaxSeconds = 600;
  int32_t FVideoMaxMegabytes = 1024;
  std::string FVideoProfile;

 private:
  void StartClip(bool showWindow, const std::string& fileName, bool keepAudio);
  // The snapshot from the device: the configured address, or the camera's.
  void Snapshot(std::string& image);
  // Says what is missing before a request to nowhere.
  void RequireCameraAddress() const;
  // Refuses a camera address or snapshot URL that is none, before any lookup.
  void CheckAddressSettings() const;

  std::unique_ptr<TOnvifDevice> FDevice;
  // The name the last clip without one was given (it is in VideoFileName).
  std::string FMadeClipName;
  // Declared last: a clip still recording is finished first.
  TClipRecorder FClip;
};

// Registers TDriver under "zorvane" (the library's start-up).
void RegisterCameraDriver(TClassRegList& registry);

}  // namespace zorvane
