// TCommonDriver: the part of the platform's connected-equipment protocol that
// is the same for every equipment type (version, description, last error,
// connect, settings, device test, additional actions, the log switch), and
// the one process-wide description of the library (DriverInfo).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/custom_driver.h"
#include "markdown/markdown_renderer.h"

namespace zorvane {

enum class TEquipmentType : uint8_t {
  etScanner,
  etMCR,
  etFR,
  etReceiptPrinter,
  etLabelPrinter,
  etCustomerDisplay,
  etDataCollectionTerminal,
  etAcquiringTerminal,
  etScale,
  etPrintingScale,
  etRFIDReader,
  etECR,
  etVideocamera,
  etVideorecorder,
  etUnknown
};

// The name the platform expects; "Enum value unacceptable" outside the table.
const char* GetEquipmentTypeName(int value);

struct TDriverInfo {
  std::string Name;
  std::string Description;
  TEquipmentType EquipmentType = TEquipmentType::etUnknown;
  int32_t InterfaceRevision = 0;
  bool IntegrationLibrary = false;
  bool MainDriverInstalled = false;
  std::string DownloadURL;
};

// The library's one description record, shared by every driver object. It is
// filled once, when the driver class registers as the library loads (before
// the platform can create an object), and only read afterwards, so objects on
// any thread may read it without a lock.
const TDriverInfo& DriverInfo();

// Where the driver can be downloaded (set at build time).
const char* MakerDownloadURL();

class TCommonDriver : public TCustomDriver {
 public:
  TCommonDriver() = default;
  ~TCommonDriver() override;

  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // Registers the driver class C under AExtension and describes it in DriverInfo.
  template <typename C>
  static void RegisterDriver(TClassRegList& registry, const std::u16string& AExtension,
                             const std::string& AName, const std::string& ADescription) {
    TCustomDriver::RegisterDriver(registry, C::ClassInfo(), &CreateCommonDriver<C>, AExtension);
    TDriverInfo info;
    info.Name = AName;
    info.Description = ADescription;
    C::UpdateDriverInfo(info);
    DescribeDriver(std::move(info));
  }
  // Empties DriverInfo when the library unloads.
  static void FinalizeDriverInfo();

  // Class-level: fills the protocol fields of info. Derived classes hide it.
  static void UpdateDriverInfo(TDriverInfo& info);

  virtual void Open() {}
  virtual void Close() {}
  // Opens, describes and closes the device; false with the reason in
  // description when any step fails.
  virtual bool DeviceTestImpl(std::string& description, std::string& secondText);
  // What the device test says of a device that answered: the driver's
  // description, unless a driver can ask its device.
  virtual std::string DescribeDevice();
  virtual std::string BuildParameters();
  virtual std::string BuildAdditionalActions();
  virtual void RunAdditionalAction(const std::string& name);

  // Exported methods.
  bool GetVersion(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool GetDescription(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool GetLastError(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool Open(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool Close(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool GetParameters(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool SetParameter(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool DeviceTest(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool GetAdditionalActions(V8Variant* RetValue, V8Variant* Params, long ParamCount);
  bool DoAdditionalAction(V8Variant* RetValue, V8Variant* Params, long ParamCount);

  // Additional actions.
  void ViewLog();
  void ShowHelp();

  bool Enabled = false;  // not exported

 private:
  // Help pages handed to the user's browser, kept until the object goes.
  std::vector<std::unique_ptr<TMarkdownRenderer>> FKeptHelp;

  // Stores the record DriverInfo() hands out; only at registration.
  static void DescribeDriver(TDriverInfo&& info);

  template <typename C>
  static std::unique_ptr<TV8UserObject> CreateCommonDriver() {
    return std::make_unique<C>();
  }
};

}  // namespace zorvane
