// What the camera details window shows: the camera's name, address, port and
// snapshot address, and the tree of its media profiles, read from the device
// once when the window is made.
#pragma once

#include <string>
#include <vector>

#include "onvif/onvif_manager.h"

namespace zorvane {

struct TTreeItem {
  std::string Text;
  std::vector<TTreeItem> Children;
};

class TOnvifDeviceForm {
 public:
  // The texts with the decimal separator of the user's locale.
  explicit TOnvifDeviceForm(const TOnvifDevice& ADevice);
  TOnvifDeviceForm(const TOnvifDevice& ADevice, const std::string& decimalSeparator);

  std::string edtName;
  std::string edtHost;
  std::string edtPort;
  std::string edtSnapshotURI;
  // "Profiles", one child per profile; only the root is shown expanded.
  TTreeItem tvProfiles;
};

// A real number in the general form with up to 15 significant digits and no
// trailing zeros, with the given decimal separator ("4,5", "25", "1e-05").
std::string FormatFloat(double value, const std::string& decimalSeparator);

}  // namespace zorvane
