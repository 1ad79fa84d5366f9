// The add-in library's start and end: registers the camera driver when the
// platform loads the library, and lets go of everything when it unloads it.
#include "driver/camera_driver.h"
#include "forms/forms.h"
#include "onvif/soap_transport.h"
#include "v8napi/component.h"

namespace {

__attribute__((constructor)) void OnLibraryLoad() {
  try {
    zorvane::LibraryLoad(&zorvane::RegisterCameraDriver);
  } catch (...) {
    // A library that cannot register answers GetClassObject with 0.
  }
}

__attribute__((destructor)) void OnLibraryUnload() {
  try {
    zorvane::LibraryUnload();
    zorvane::TCommonDriver::FinalizeDriverInfo();
    zorvane::HttpGlobalCleanup();
    zorvane::ReleaseWindowBindings();
  } catch (...) {
    // Nobody is left to tell at unload.
  }
}

}  // namespace
