// The camera driver class as the platform sees it through the real library:
// its tables, the common equipment protocol, the videocamera layer, the
// property rules and the last result.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <regex>
#include <thread>

#include "driver/common_driver.h"
#include "driver/custom_driver.h"
#include "tests/support/checks.h"
#include "tests/support/host_runner.h"
#include "tools/zorvane/host.h"
#include "tools/zorvane/values.h"
#include "xml/xml_document.h"

using namespace zorvane::testing;

namespace {

class DriverTest : public ::testing::Test {
 protected:
  RunResult Host(std::vector<std::string> args, const char* lib = ZORVANE_LIB_PATH) {
    return runner.Host(std::move(args), lib);
  }
  RunResult Script(const std::string& lines, const char* lib = ZORVANE_LIB_PATH,
                   const std::string& className = "zorvane") {
    return runner.Script(lines, className, lib);
  }
  std::vector<std::string> LogLines() { return runner.LogLines("zorvane"); }
  // The text of a host output line "param N: s:...", unescaped.
  static std::string Param(const std::string& output, const std::string& head) {
    const size_t at = output.find(head);
    if (at == std::string::npos) return "(missing " + head + ")";
    const size_t start = at + head.size();
    const std::string line = output.substr(start, output.find('\n', start) - start);
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        const char c = line[++i];
        text += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
      } else {
        text += line[i];
      }
    }
    return text;
  }

  HostRunner runner{ZORVANE_LIB_PATH};
  const std::string& dirPath = runner.DataDir();
};

// What "СтопВидео" says when no clip is recording.
const std::string kNotRecording = "Запись видео не идёт: её начинает «СтартВидеоЗаписи»";

const char* const kLastErrorOf = "call GetLastError(empty)\nanswer: true\nresult: ";

}  // namespace

TEST_F(DriverTest, MethodAndPropertyTables) {
  const RunResult r = Host({"describe"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output,
            "class zorvane extension=zorvane\n"
            "method 0 Discover ПоискКамеры params=0 retval=yes\n"
            "method 1 StartVideoCapture СтартВидеоЗахвата params=3 retval=yes\n"
            "method 2 StartVideoRecord СтартВидеоЗаписи params=2 retval=yes\n"
            "method 3 StopVideo СтопВидео params=0 retval=yes\n"
            "method 4 MakePhoto СделатьФотоснимок params=1 retval=yes\n"
            "method 5 GetPhoto ПолучитьФотоснимок params=1 retval=yes\n"
            "method 6 GetVersion ПолучитьНомерВерсии params=0 retval=yes\n"
            "method 7 GetDescription ПолучитьОписание params=7 retval=yes\n"
            "method 8 GetLastError ПолучитьОшибку params=1 retval=yes\n"
            "method 9 Open Подключить params=1 retval=yes\n"
            "method 10 Close Отключить params=1 retval=yes\n"
            "method 11 GetParameters ПолучитьПараметры params=1 retval=yes\n"
            "method 12 SetParameter УстановитьПараметр params=2 retval=yes\n"
            "method 13 DeviceTest ТестУстройства params=2 retval=yes\n"
            "method 14 GetAdditionalActions ПолучитьДополнительныеДействия params=1 retval=yes\n"
            "method 15 DoAdditionalAction ВыполнитьДополнительноеДействие params=1 retval=yes\n"
            "property 0 Host Адрес readable=yes writable=yes\n"
            "property 1 Port Порт readable=yes writable=yes\n"
            "property 2 Login Логин readable=yes writable=yes\n"
            "property 3 Password Пароль readable=yes writable=yes\n"
            "property 4 Profile Профиль readable=yes writable=yes\n"
            "property 5 SnapshotURI URIфотоснимка readable=yes writable=yes\n"
            "property 6 PhotoFileName ИмяФайлаФото readable=yes writable=yes\n"
            "property 7 VideoFileName ИмяФайлаВидео readable=yes writable=yes\n"
            "property 8 VideoCaptureDevice УстройствоВидеозахвата readable=yes writable=yes\n"
            "property 9 VideoCompressorFilter ФильтрВидеосжатия readable=yes writable=yes\n"
            "property 10 PhotoQuality КачествоФото readable=yes writable=yes\n"
            "property 11 LogEnabled ЛогВключен readable=yes writable=yes\n"
            "property 12 VideoMaxSeconds НаибольшаяДлительностьВидео readable=yes writable=yes\n"
            "property 13 VideoMaxMegabytes НаибольшийРазмерВидео readable=yes writable=yes\n"
            "property 14 VideoProfile ПрофильВидео readable=yes writable=yes\n"
            "memory: ok\n");
}

TEST_F(DriverTest, VersionDescriptionAndTest) {
  const RunResult r = Script(
      "call ПолучитьНомерВерсии\n"
      "call ПолучитьОписание out out out out i:5 out out\n"
      "call ТестУстройства out out\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Has(r.output, "call ПолучитьНомерВерсии()\nanswer: true\nresult: s:1.1.3.5\n"));
  EXPECT_TRUE(Has(r.output,
                  "answer: true\nresult: b:true\n"
                  "param 0: s:Драйвер IP-видеокамеры ONVIF\n"
                  "param 1: s:Драйвер IP-видеокамеры ONVIF 1С:Совместимо для 1С:БПО NativeAPI\n"
                  "param 2: s:Видеокамера\nparam 3: i:2004\nparam 4: b:false\nparam 5: b:false\n"
                  "param 6: s:https://"))
      << r.output;
  // Without a camera address the device test fails and says what is missing.
  EXPECT_TRUE(Has(r.output,
                  "call ТестУстройства(empty, empty)\nanswer: true\nresult: b:false\n"
                  "param 0: s:Не задан адрес камеры (параметр Host); задайте его и вызовите "
                  "«Подключить»\nparam 1: s:\n"))
      << r.output;
}

TEST_F(DriverTest, LastErrorFollowsEveryCall) {
  const RunResult r = Script(
      "call Подключить s:id\n"
      "call ПолучитьОшибку out\n"
      "call СтопВидео\n"
      "call ПолучитьОшибку out\n"
      "call GetLastError s:old\n"
      "call СтартВидеоЗахвата b:true s:x b:false\n"
      "call СтартВидеоЗаписи b:true s:x\n"
      "call StopVideo\n"
      "call GetLastError out\n"
      "call Отключить out\n"
      "call GetLastError out\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  // "Подключить" leaves its parameter as it was passed.
  EXPECT_TRUE(
      Has(r.output, "call Подключить(s:id)\nanswer: true\nresult: b:true\nparam 0: s:id\n"));
  EXPECT_TRUE(
      Has(r.output, "call ПолучитьОшибку(empty)\nanswer: true\nresult: i:0\nparam 0: s:\n"));
  EXPECT_TRUE(Has(r.output, "call СтопВидео()\nanswer: true\nresult: b:false\n"));
  EXPECT_TRUE(
      Has(r.output,
          "call ПолучитьОшибку(empty)\nanswer: true\nresult: i:1001\nparam 0: s:" + kNotRecording + "\n"));
  EXPECT_TRUE(
      Has(r.output,
          "call GetLastError(s:old)\nanswer: true\nresult: i:1001\nparam 0: s:" + kNotRecording + "\n"));
  EXPECT_TRUE(Has(r.output,
                  "call СтартВидеоЗахвата(b:true, s:x, b:false)\nanswer: true\nresult: b:false\n"));
  EXPECT_TRUE(Has(r.output, "call СтартВидеоЗаписи(b:true, s:x)\nanswer: true\nresult: b:false\n"));
  EXPECT_TRUE(Has(r.output, std::string(kLastErrorOf) + "i:0\nparam 0: s:\nmemory: ok\n"));
}

TEST_F(DriverTest, SetParameterByEitherNameAndItsFailures) {
  const RunResult r = Script(
      "call УстановитьПараметр s:Port s:8080\n"
      "get Порт\n"
      "call SetParameter s:Порт i:554\n"
      "get Port\n"
      "call SetParameter s:port i:1\n"
      "call GetLastError out\n"
      "call SetParameter s:Host i:5\n"
      "call GetLastError out\n"
      "get Host\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Has(r.output, "get Порт -> true\nvalue: i:8080\n"));
  EXPECT_TRUE(Has(r.output, "get Port -> true\nvalue: i:554\n"));
  EXPECT_TRUE(
      Has(r.output, std::string(kLastErrorOf) + "i:1001\nparam 0: s:Property not found: port\n"));
  EXPECT_TRUE(
      Has(r.output, std::string(kLastErrorOf) + "i:1001\nparam 0: s:Value type unacceptable\n"));
  EXPECT_TRUE(Has(r.output, "get Host -> true\nvalue: s:\n"));

  // A read-only property and a kind that cannot be converted, on a driver class that has them.
  const RunResult t = Script(
      "call SetParameter s:Counter i:1\n"
      "call GetLastError out\n"
      "call SetParameter s:Буква s:y\n"
      "call GetLastError out\n"
      "call SetParameter s:Доля s:1.5\n"
      "get Ratio\n"
      "get Counter\n",
      ZORVANE_TEST_LIB_PATH, "testdriver");
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_TRUE(Has(
      t.output, std::string(kLastErrorOf) + "i:1001\nparam 0: s:Property is read-only: Counter\n"));
  EXPECT_TRUE(
      Has(t.output, std::string(kLastErrorOf) + "i:1001\nparam 0: s:Property type unacceptable\n"));
  EXPECT_TRUE(Has(t.output, "get Ratio -> true\nvalue: d:1.5\n"));
  EXPECT_TRUE(Has(t.output, "get Counter -> true\nvalue: i:7\n"));
}

TEST_F(DriverTest, AValueTheTraceCannotShowStopsTheCallWithTheLogOnOrOff) {
  // A date held as a double, or narrow text: the call answers false before
  // the handler runs, whether or not the call lines are being written.
  struct Case {
    const char* log;
    const char* value;
  };
  const Case cases[] = {
      {"b:false", "date:45000"},
      {"b:true", "date:45000"},
      {"b:false", "a:8080"},
      {"b:true", "a:8080"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.log) + " " + c.value);
    const RunResult r = Script(std::string("set LogEnabled ") + c.log +
                               "\n"
                               "call УстановитьПараметр s:Порт i:554\n"
                               "call УстановитьПараметр s:Порт " +
                               c.value +
                               "\n"
                               "get Port\n"
                               "call УстановитьПараметр s:Port i:555\n"
                               "get Port\n");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(
        Has(r.output, "description=Unsupported data type scode=0x80004005\nanswer: false\n"))
        << r.output;
    EXPECT_TRUE(Has(r.output, "get Port -> true\nvalue: i:554\n")) << r.output;  // as it was
    EXPECT_TRUE(Has(r.output, "get Port -> true\nvalue: i:555\n")) << r.output;
  }
}

TEST_F(DriverTest, PropertyConversions) {
  struct Case {
    const char* set;
    const char* value;
    const char* read;  // the value read back
  };
  const Case cases[] = {
      {"Port", "s:8080", "i:8080"},
      {"Port", "s:abc", "i:0"},
      {"Port", "d:3.9", "i:3"},
      {"LogEnabled", "s:1", "b:true"},
      {"LogEnabled", "s:True", "b:false"},
      {"LogEnabled", "i:2", "b:true"},
      {"Host", "s:127.0.0.7", "s:127.0.0.7"},
      {"КачествоФото", "s:75", "i:75"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.set) + " " + c.value);
    const RunResult r = Host({"set", c.set, c.value, "--", "get", c.set});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(Has(r.output, "value: " + std::string(c.read) + "\n")) << r.output;
  }
  // The platform writing a text property from a number: AddError, and the value stays.
  const RunResult r = Host({"set", "Host", "s:cam", "--", "set", "Адрес", "i:5", "--", "get",
                            "Host", "--", "get", "Letter"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(
      Has(r.output,
          "adderror code=1006 source=Внешняя компонента description=Value type unacceptable "
          "scode=0x80004005\nset Адрес i:5 -> false\nget Host -> true\nvalue: s:cam\n"))
      << r.output;
  EXPECT_TRUE(Has(r.output, "error: no property Letter"));
}

TEST_F(DriverTest, SettingsDescription) {
  const RunResult r = Host({"call", "ПолучитьПараметры", "out"});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  zorvane::TXmlDocument doc;
  doc.SetXml(Param(r.output, "param 0: s:"));
  ASSERT_NE(doc.DocumentElement(), nullptr);
  const zorvane::TXmlNode& settings = *doc.DocumentElement();
  EXPECT_EQ(settings.Name, "Settings");
  EXPECT_EQ(settings.AttributeList.Count(), 0u);
  ASSERT_EQ(settings.ChildNodes.Count(), 1u);
  const zorvane::TXmlNode& page = settings.ChildNodes.Get(0);
  EXPECT_EQ(page.Name, "Page");
  EXPECT_EQ(page.GetAttr("Caption"), "Основные параметры");
  using TParameters = std::vector<std::vector<std::string>>;
  const std::vector<std::pair<std::string, TParameters>> groups = {
      {"Параметры подключения к камере",
       {{"Host", "IP-адрес камеры", "String", ""},
        {"Port", "ONVIF-порт камеры", "Number", "0"},
        {"Login", "Имя пользователя", "String", ""},
        {"Password", "Пароль пользователя", "String", ""},
        {"Profile", "Профиль камеры", "String", ""},
        {"SnapshotURI", "URI фотоснимка", "String", ""}}},
      {"Видеоролики",
       {{"VideoProfile", "Профиль видеопотока", "String", ""},
        {"VideoMaxSeconds", "Наибольшая длительность ролика, с", "Number", "600"},
        {"VideoMaxMegabytes", "Наибольший размер файла ролика, МБ", "Number", "1024"}}}};
  ASSERT_EQ(page.ChildNodes.Count(), groups.size());
  for (size_t g = 0; g < groups.size(); ++g) {
    const zorvane::TXmlNode& group = page.ChildNodes.Get(g);
    EXPECT_EQ(group.Name, "Group");
    EXPECT_EQ(group.GetAttr("Caption"), groups[g].first);
    const TParameters& expected = groups[g].second;
    ASSERT_EQ(group.ChildNodes.Count(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const zorvane::TXmlNode& p = group.ChildNodes.Get(i);
      EXPECT_EQ(p.Name, "Parameter");
      std::vector<std::string> names, values;
      for (size_t k = 0; k < p.AttributeList.Count(); ++k) {
        names.push_back(p.AttributeList[k].Name);
        values.push_back(p.AttributeList[k].Value());
      }
      EXPECT_EQ(names, (std::vector<std::string>{"Name", "Caption", "TypeValue", "DefaultValue"}));
      EXPECT_EQ(values, expected[i]);
    }
  }
}

TEST_F(DriverTest, SettingsDescriptionWithoutTemplateListsTheProperties) {
  const RunResult r = Host({"call", "GetParameters", "out"}, ZORVANE_NOPARAMS_LIB_PATH);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  zorvane::TXmlDocument doc;
  doc.SetXml(Param(r.output, "param 0: s:"));
  ASSERT_NE(doc.DocumentElement(), nullptr);
  const zorvane::TXmlNode& page = doc.DocumentElement()->FirstChild();
  EXPECT_EQ(page.GetAttr("Caption"), "Параметры");
  ASSERT_EQ(page.ChildNodes.Count(), 12u);
  const zorvane::TXmlNode& port = page.ChildNodes.Get(1);
  std::vector<std::string> names;
  for (size_t k = 0; k < port.AttributeList.Count(); ++k)
    names.push_back(port.AttributeList[k].Name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Name", "Caption", "TypeValue", "DefaultValue", "ReadOnly"}));
  EXPECT_EQ(port.GetAttr("Name"), "Port");
  EXPECT_EQ(port.GetAttr("TypeValue"), "Number");
  EXPECT_EQ(port.GetAttr("DefaultValue"), "0");
  EXPECT_EQ(page.ChildNodes.Get(0).GetAttr("TypeValue"), "String");
  EXPECT_EQ(page.ChildNodes.Get(11).GetAttr("Name"), "LogEnabled");
  EXPECT_EQ(page.ChildNodes.Get(11).GetAttr("TypeValue"), "Boolean");
}

TEST_F(DriverTest, AdditionalActions) {
  // No display here: the windows say so (the window tests show them).
  runner.Environment = {"DISPLAY=", "WAYLAND_DISPLAY="};
  const RunResult r = Script(
      "call ПолучитьДополнительныеДействия out\n"
      "call ВыполнитьДополнительноеДействие s:viewlog\n"
      "call GetLastError out\n"
      "call ВыполнитьДополнительноеДействие s:ViewLog\n"
      "call GetLastError out\n"
      "call ВыполнитьДополнительноеДействие s:Discover\n"
      "call GetLastError out\n"
      "call ПоискКамеры\n"
      "call GetLastError out\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  zorvane::TXmlDocument doc;
  doc.SetXml(Param(r.output, "param 0: s:"));
  ASSERT_NE(doc.DocumentElement(), nullptr);
  EXPECT_EQ(doc.DocumentElement()->Name, "Actions");
  std::vector<std::string> actions;
  for (const zorvane::TXmlNode* a : doc.DocumentElement()->FindNodes("Action")) {
    actions.push_back(a->AttributeList[0].Name + "=" + a->GetAttr("Name") + " " +
                      a->AttributeList[1].Name + "=" + a->GetAttr("Caption"));
  }
  EXPECT_EQ(actions, (std::vector<std::string>{"Name=Discover Caption=Поиск камеры",
                                               "Name=ViewLog Caption=Просмотр лога",
                                               "Name=ShowHelp Caption=Справка"}));
  EXPECT_TRUE(Has(r.output, std::string(kLastErrorOf) + "i:1001\nparam 0: s:Action not found\n"));
  // Why is the system's: no display here, no windows in a build without them.
  EXPECT_TRUE(Has(r.output, std::string(kLastErrorOf) +
                                "i:1001\nparam 0: s:Окно «Просмотр лога» не может быть показано: "))
      << r.output;
  const std::string head = std::string(kLastErrorOf) +
                           "i:1001\nparam 0: s:Окно «Поиск камеры» не может быть показано: ";
  const size_t first = r.output.find(head);
  ASSERT_NE(first, std::string::npos) << r.output;
  const std::string search = r.output.substr(first, r.output.find('\n', first + head.size()) - first);
  EXPECT_NE(r.output.find(search, first + 1), std::string::npos);  // the action and the method
}

TEST_F(DriverTest, LogSwitchIsSharedByAllObjects) {
  const RunResult r = Script(
      "object 0\n"
      "set ЛогВключен b:true\n"
      "object 1\n"
      "get LogEnabled\n"
      "call СтопВидео\n"
      "object 0\n"
      "set LogEnabled b:false\n"
      "object 1\n"
      "get ЛогВключен\n"
      "call СтопВидео\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Has(r.output, "object 1\nget LogEnabled -> true\nvalue: b:true\n"));
  EXPECT_TRUE(Has(r.output, "object 1\nget ЛогВключен -> true\nvalue: b:false\n"));
  const std::vector<std::string> expected = {
      "DEBUG\t> StopVideo: \tParams: []",
      std::string("ERROR\tException: \t") + kNotRecording,
      "DEBUG\t< StopVideo: \tResult=False; Params: []",
  };
  EXPECT_EQ(LogLines(), expected);
  const std::string log =
      ReadFile(ListDir(dirPath + "/Telvask/zorvane").empty()
                   ? ""
                   : dirPath + "/Telvask/zorvane/" + ListDir(dirPath + "/Telvask/zorvane")[0]);
  EXPECT_NE(log.find("============Stop log===============\r\n\r\n"), std::string::npos);
}

// One object switches the log on where no log folder can be made: the calls
// of another object, which never touched the log, answer as their work did.
// The lines go to the user's own folder; where none can be made either they
// are lost, and still no call fails.
TEST_F(DriverTest, TheLogNeverChangesACallsAnswer) {
  // A file stands where the data folder would be made.
  WriteFile(dirPath + "/file", "");
  const std::string script =
      "object 0\n"
      "set LogEnabled b:true\n"
      "object 1\n"
      "call ПолучитьНомерВерсии\n"
      "call УстановитьПараметр s:Host s:127.0.0.1\n"
      "call ПолучитьПараметры out\n"
      "call ПолучитьОшибку out\n"
      "object 0\n"
      "set LogEnabled b:false\n";
  for (const bool ownFolder : {false, true}) {
    SCOPED_TRACE(ownFolder ? "the user's own folder" : "no folder at all");
    runner.Environment = {
        "ZORVANE_DATA_DIR=" + dirPath + "/file/data",
        "ZORVANE_USER_DATA_DIR=" + (ownFolder ? runner.OwnDataDir() : dirPath + "/file/user")};
    const RunResult r = Script(script);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(Has(r.output, "description=")) << r.output;
    EXPECT_TRUE(Has(r.output, "call ПолучитьОшибку(empty)\nanswer: true\nresult: i:0\n"))
        << r.output;
    EXPECT_TRUE(Has(r.output, "set LogEnabled b:false -> true\n")) << r.output;
    const std::vector<std::string> lines = runner.LogLines("zorvane", true);
    const auto traced = [&lines](const std::string& start) {
      return std::any_of(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    };
    EXPECT_EQ(traced("DEBUG\t> GetVersion: \tParams: []"), ownFolder);
    EXPECT_EQ(traced("DEBUG\t< GetLastError: \tResult=0"), ownFolder);
  }
}

TEST_F(DriverTest, ManyCallsLeaveTheMemoryBalanced) {
  // Every method with good and bad parameters, properties both ways. The host
  // counts every block it hands out, so a single round of a call that leaks
  // or frees twice already fails; the rounds are there for what goes wrong
  // only now and then (a buffer reused, a property's old value).
  const long n = Rounds(500, 100);
  std::string script;
  const std::vector<std::string> calls = {
      "call ПоискКамеры",
      "call ПоискКамеры i:1",
      "call СтартВидеоЗахвата b:true s:x b:false",
      "call СтартВидеоЗахвата i:1 i:2 i:3",
      "call СтартВидеоЗаписи s:x s:y",
      "call СтопВидео",
      "call СделатьФотоснимок s:/nonexistent/photo.jpg",
      "call СделатьФотоснимок i:1",
      "call ПолучитьФотоснимок out",
      "call ПолучитьФотоснимок blob:00ff",
      "call ПолучитьНомерВерсии",
      "call ПолучитьОписание out out out out out out out",
      "call ПолучитьОписание s:a s:b s:c s:d s:e s:f s:g",
      "call ПолучитьОписание out",
      "call ПолучитьОшибку out",
      "call ПолучитьОшибку s:previous",
      "call Подключить out",
      "call Отключить i:5",
      "call ПолучитьПараметры out",
      "call ПолучитьПараметры s:old",
      "call УстановитьПараметр s:Host s:camera",
      "call УстановитьПараметр s:Нет s:x",
      "call УстановитьПараметр i:1 blob:01",
      "call УстановитьПараметр s:Host",
      "call ТестУстройства out out",
      "call ПолучитьДополнительныеДействия out",
      "call ВыполнитьДополнительноеДействие s:ShowHelp",
      "call ВыполнитьДополнительноеДействие d:1.5",
      "proc СтопВидео",
      "set Host s:127.0.0.1",
      "set Host i:1",
      "get Host",
      "set Port s:80",
      "get Порт",
      "get LogEnabled",
      "set PhotoQuality a:narrow",
  };
  for (const std::string& call : calls) script += "repeat " + std::to_string(n) + " " + call + "\n";
  const RunResult r = Script(script);
  EXPECT_EQ(r.exitCode, 1) << r.output;  // some calls answer false on purpose
  EXPECT_TRUE(Has(r.output, "memory: ok\n")) << r.output;
  const std::string rounds = std::to_string(n);
  EXPECT_TRUE(Has(r.output, "repeat " + rounds + " call ПолучитьПараметры out -> ok=" + rounds +
                                " failed=0\n"));
  EXPECT_TRUE(Has(r.output, "repeat " + rounds +
                                " call УстановитьПараметр s:Host -> ok=0 failed=" + rounds + "\n"));
}

// Two objects read the library's description on two threads while a third
// thread creates and destroys objects, as the platform does for other forms:
// every reading is the whole description.
TEST(DriverThreadsTest, TheDescriptionStaysWholeWhileObjectsAreCreated) {
  using namespace zorvane::host;
  AddInLibrary lib(ZORVANE_LIB_PATH);
  struct Reader {
    HostMemoryManager mm;
    HostConnection connection;
    IComponentBase* object = nullptr;
    long wrong = 0;
    std::string sample;  // a wrong reading
  };
  const auto describe = [](Reader& r) {
    V8Variant ret;
    V8Variant params[7];
    std::memset(static_cast<void*>(&ret), 0, sizeof ret);
    std::memset(static_cast<void*>(params), 0, sizeof params);
    if (!r.object->CallAsFunc(7, &ret, params, 7)) return std::string("(call failed)");
    std::string text;
    for (V8Variant& p : params) {
      text += FormatValue(p) + "|";
      ReleaseValue(p, r.mm);
    }
    return text;
  };
  Reader readers[2];
  for (Reader& r : readers) {
    r.object = lib.Create("zorvane");
    ASSERT_NE(r.object, nullptr);
    ASSERT_TRUE(r.object->setMemManager(&r.mm));
    ASSERT_TRUE(r.object->Init(&r.connection));
  }
  const std::string expected = describe(readers[0]);
  EXPECT_TRUE(Has(expected, "|s:Видеокамера|i:2004|b:false|b:false|s:" +
                                std::string(zorvane::MakerDownloadURL()) + "|"))
      << expected;

  // So many rounds that a description rewritten by each new object showed in every run.
  const long rounds = Rounds(100000, 5000);
  std::atomic<int> reading{2};
  std::thread creator([&] {
    while (reading > 0) lib.Destroy(lib.Create("zorvane"));
  });
  std::vector<std::thread> threads;
  for (Reader& r : readers) {
    threads.emplace_back([&] {
      for (long i = 0; i < rounds; ++i) {
        const std::string text = describe(r);
        if (text != expected) ++r.wrong, r.sample = text;
      }
      --reading;
    });
  }
  for (std::thread& t : threads) t.join();
  creator.join();
  for (Reader& r : readers) {
    EXPECT_EQ(r.wrong, 0) << "of " << rounds << ", e.g. " << r.sample;
    EXPECT_TRUE(r.connection.Errors.empty());
    r.object->Done();
    lib.Destroy(r.object);
    EXPECT_EQ(r.mm.LiveBlocks(), 0u);
  }
}

TEST(FileVersionTest, OnlyOurFilesHaveOurVersion) {
  EXPECT_EQ(zorvane::FileVersionText(""), "1.1.3.5");
  EXPECT_EQ(zorvane::FileVersionText(ZORVANE_LIB_PATH), "1.1.3.5");
  EXPECT_EQ(zorvane::FileVersionText("/bin/sh"), "0.0.0.0");
  EXPECT_EQ(zorvane::FileVersionText("/nonexistent/file.dll"), "0.0.0.0");
}
