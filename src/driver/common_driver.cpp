#include "driver/common_driver.h"

#include "common/error.h"
#include "common/never_destroyed.h"
#include "common/resources.h"
#include "common/text.h"
#include "driver/messages.h"
#include "forms/forms.h"
#include "log/log_writer.h"
#include "markdown/markdown_renderer.h"
#include "v8napi/variant.h"
#include "xml/xml_document.h"

#ifndef ZORVANE_DOWNLOAD_URL
#define ZORVANE_DOWNLOAD_URL ""
#endif

namespace zorvane {

namespace {

constexpr const char* kEquipmentTypeNames[] = {
    "СканерШтрихкода",      "СчитывательМагнитныхКарт", "ФискальныйРегистратор",
    "ПринтерЧеков",         "ПринтерЭтикеток",          "ДисплейПокупателя",
    "ТерминалСбораДанных",  "ЭквайринговыйТерминал",    "ЭлектронныеВесы",
    "ВесыСПечатьюЭтикеток", "СчитывательRFID",          "ККТ",
    "Видеокамера",          "Видеорегистратор",         "НеизвестныйТипОборудования"};

TPropValue GetLogEnabled(TCustomDriver&) {
  return GetLogMode() != TLogMode::lmOff;
}

void SetLogEnabled(TCustomDriver&, const TPropValue& value) {
  SetLogMode(std::get<bool>(value) ? TLogMode::lmAll : TLogMode::lmOff);
}

const TMethodExport kMethods[] = {
    {u"GetVersion", u"ПолучитьНомерВерсии", 0, &ExportedMethod<&TCommonDriver::GetVersion>},
    {u"GetDescription", u"ПолучитьОписание", 7, &ExportedMethod<&TCommonDriver::GetDescription>},
    {u"GetLastError", u"ПолучитьОшибку", 1, &ExportedMethod<&TCommonDriver::GetLastError>},
    {u"Open", u"Подключить", 1,
     &ExportedMethod<static_cast<bool (TCommonDriver::*)(V8Variant*, V8Variant*, long)>(
         &TCommonDriver::Open)>},
    {u"Close", u"Отключить", 1,
     &ExportedMethod<static_cast<bool (TCommonDriver::*)(V8Variant*, V8Variant*, long)>(
         &TCommonDriver::Close)>},
    {u"GetParameters", u"ПолучитьПараметры", 1, &ExportedMethod<&TCommonDriver::GetParameters>},
    {u"SetParameter", u"УстановитьПараметр", 2, &ExportedMethod<&TCommonDriver::SetParameter>},
    {u"DeviceTest", u"ТестУстройства", 2, &ExportedMethod<&TCommonDriver::DeviceTest>},
    {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1,
     &ExportedMethod<&TCommonDriver::GetAdditionalActions>},
    {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1,
     &ExportedMethod<&TCommonDriver::DoAdditionalAction>},
};

const TPropertyExport kProperties[] = {
    {u"LogEnabled", u"ЛогВключен", msg::kLogEnabledCaption, "False", false, TPropKind::pkBoolean,
     &GetLogEnabled, &SetLogEnabled},
};

const TActionExport kActions[] = {
    {"ViewLog", msg::kLogViewerTitle, &ExportedAction<&TCommonDriver::ViewLog>},
    {"ShowHelp", msg::kHelpCaption, &ExportedAction<&TCommonDriver::ShowHelp>},
};

template <typename Visit>
void ForEachClass(const TClassInfo& info, Visit&& visit) {
  for (const TClassInfo* c = &info; c; c = c->Parent) visit(*c);
}

}  // namespace

const char* GetEquipmentTypeName(int value) {
  if (value < 0 || value >= static_cast<int>(std::size(kEquipmentTypeNames))) {
    throw Error(msg::kEnumValueUnacceptable);
  }
  return kEquipmentTypeNames[value];
}

namespace {

TDriverInfo& DriverInfoStorage() {
  static NeverDestroyed<TDriverInfo> info;
  return info.get();
}

}  // namespace

const TDriverInfo& DriverInfo() {
  return DriverInfoStorage();
}

const char* MakerDownloadURL() {
  return ZORVANE_DOWNLOAD_URL;
}

const TClassInfo& TCommonDriver::ClassInfo() {
  static const TClassInfo info{nullptr, kMethods, kProperties, kActions};
  return info;
}

TCommonDriver::~TCommonDriver() {
  try {
    Close();
  } catch (...) {
    // Nothing may leave a destructor.
  }
}

void TCommonDriver::DescribeDriver(TDriverInfo&& info) {
  DriverInfoStorage() = std::move(info);
}

void TCommonDriver::FinalizeDriverInfo() {
  ResetAndRelease(DriverInfoStorage());
  TCustomDriver::FinalizeRegistration();
}

void TCommonDriver::UpdateDriverInfo(TDriverInfo& info) {
  info.EquipmentType = TEquipmentType::etUnknown;
  info.InterfaceRevision = 2004;
  info.IntegrationLibrary = false;
  info.MainDriverInstalled = false;
  info.DownloadURL = MakerDownloadURL();
}

std::string TCommonDriver::DescribeDevice() {
  return DriverInfo().Description;
}

bool TCommonDriver::DeviceTestImpl(std::string& description, std::string& secondText) {
  description.clear();
  secondText.clear();
  std::string failure;
  bool failed = false;
  try {
    Open();
    description = DescribeDevice();
  } catch (const std::exception& e) {
    failed = true;
    failure = e.what();
  } catch (...) {
    failed = true;
    failure = msg::kUnknownFailure;
  }
  try {
    Close();
  } catch (const std::exception& e) {
    if (!failed) failure = e.what();
    failed = true;
  } catch (...) {
    if (!failed) failure = msg::kUnknownFailure;
    failed = true;
  }
  if (failed) description = failure;
  return !failed;
}

std::string TCommonDriver::BuildParameters() {
  TXmlDocument doc;
  doc.SetVersion("1.0");
  if (const auto resource = FindResource("Parameters")) {
    doc.SetXml(*resource);
    return doc.Xml();
  }
  // No template in this build: describe every exported property.
  TXmlNode& page = doc.AddChild("Settings").AddChild("Page");
  page.SetAttribute("Caption", msg::kParametersPage);
  ForEachClass(GetClassInfo(), [&](const TClassInfo& c) {
    for (const TPropertyExport& p : c.Properties) {
      TXmlNode& parameter = page.AddChild("Parameter");
      parameter.SetAttribute("Name", ToUtf8(p.Name));
      parameter.SetAttribute("Caption", p.Caption);
      parameter.SetAttribute("TypeValue",
                             ParamValueTypeName(static_cast<int>(ParamValueTypeOf(p.Kind))));
      parameter.SetAttribute("DefaultValue", p.DefValue);
      parameter.SetAttribute("ReadOnly", p.ReadOnly ? "True" : "False");
    }
  });
  return doc.Xml();
}

std::string TCommonDriver::BuildAdditionalActions() {
  TXmlDocument doc;
  doc.SetVersion("1.0");
  TXmlNode& root = doc.AddChild("Actions");
  ForEachClass(GetClassInfo(), [&](const TClassInfo& c) {
    for (const TActionExport& a : c.Actions) {
      root.AddChild("Action").SetAttribute("Name", a.Name).SetAttribute("Caption", a.Caption);
    }
  });
  return doc.Xml();
}

void TCommonDriver::RunAdditionalAction(const std::string& name) {
  bool found = false;
  ForEachClass(GetClassInfo(), [&](const TClassInfo& c) {
    for (const TActionExport& a : c.Actions) {
      if (name == a.Name) {
        found = true;
        a.Run(*this);
      }
    }
  });
  if (!found) throw Error(msg::kActionNotFound);
}

bool TCommonDriver::GetVersion(V8Variant* RetValue, V8Variant*, long) {
  V8SetWString(RetValue, ToUtf16(FileVersionText("")));
  return true;
}

bool TCommonDriver::GetDescription(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] {
    const TDriverInfo& info = DriverInfo();
    V8SetWString(&Params[0], ToUtf16(info.Name));
    V8SetWString(&Params[1], ToUtf16(info.Description));
    V8SetWString(&Params[2], ToUtf16(GetEquipmentTypeName(static_cast<int>(info.EquipmentType))));
    V8SetInt(&Params[3], info.InterfaceRevision);
    V8SetBool(&Params[4], info.IntegrationLibrary);
    V8SetBool(&Params[5], info.MainDriverInstalled);
    V8SetWString(&Params[6], ToUtf16(info.DownloadURL));
  });
}

bool TCommonDriver::GetLastError(V8Variant* RetValue, V8Variant* Params, long) {
  V8SetInt(RetValue, FLastResult.GetIntResult());
  V8SetWString(&Params[0], ToUtf16(FLastResult.ErrorDescription));
  return true;
}

bool TCommonDriver::Open(V8Variant* RetValue, V8Variant*, long) {
  return Handle(RetValue, [&] { Open(); });
}

bool TCommonDriver::Close(V8Variant* RetValue, V8Variant*, long) {
  return Handle(RetValue, [&] { Close(); });
}

bool TCommonDriver::GetParameters(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] { V8SetWString(&Params[0], ToUtf16(BuildParameters())); });
}

bool TCommonDriver::SetParameter(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] { PropertySet(V8GetWString(&Params[0]), &Params[1]); });
}

bool TCommonDriver::DeviceTest(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] {
    std::string description, secondText;
    const bool passed = DeviceTestImpl(description, secondText);
    V8SetWString(&Params[0], ToUtf16(description));
    V8SetWString(&Params[1], ToUtf16(secondText));
    // A device that did not answer is a failed test, with the reason.
    if (!passed) throw Error(description);
  });
}

bool TCommonDriver::GetAdditionalActions(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] { V8SetWString(&Params[0], ToUtf16(BuildAdditionalActions())); });
}

bool TCommonDriver::DoAdditionalAction(V8Variant* RetValue, V8Variant* Params, long) {
  return Handle(RetValue, [&] { RunAdditionalAction(ToUtf8(V8GetWString(&Params[0]))); });
}

void TCommonDriver::ViewLog() {
  ShowLogViewer();
}

void TCommonDriver::ShowHelp() {
  std::unique_ptr<TMarkdownRenderer> kept;
  TMarkdownRenderer::Render("help", msg::kHelpCaption, {&RequireDocumentWindow, &ShowDocument},
                            &kept);
  // Shown in the user's browser: the page's folder stays while this object lives.
  if (kept) FKeptHelp.push_back(std::move(kept));
}

}  // namespace zorvane
