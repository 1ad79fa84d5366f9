// The binding as the platform meets it: the real test library loaded by the
// command-line host (dlopen, the three exports, the component interfaces),
// with the trace read back from the log file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>

#include "platform/files.h"
#include "tests/support/host_runner.h"
#include "tools/zorvane/host.h"

using namespace zorvane::testing;
using zorvane::host::AddInLibrary;

namespace {

class BindingTest : public ::testing::Test {
 protected:
  RunResult Host(std::vector<std::string> args, const char* lib = ZORVANE_TEST_LIB_PATH) {
    return runner.Host(std::move(args), lib);
  }
  // A script on one object of class "test" with the log on.
  RunResult Script(const std::string& lines) {
    return runner.Script("set LogEnabled b:true\n" + lines, "test");
  }
  std::vector<std::string> LogLines() { return runner.LogLines("zorvane_test"); }

  HostRunner runner{ZORVANE_TEST_LIB_PATH};
  const std::string& dirPath = runner.DataDir();
};

const char* kAddError =
    "adderror code=1006 source=Внешняя компонента description=%s scode=0x80004005";

std::string AddErrorLine(const std::string& message) {
  char buf[512];
  std::snprintf(buf, sizeof buf, kAddError, message.c_str());
  return buf;
}

}  // namespace

TEST_F(BindingTest, ClassesAndTheirMembers) {
  RunResult r = Host({"classes"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "class test\nclass test2\nclass broken\nclass testdriver\n");

  r = Host({"--class", "test", "describe"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (const char* line :
       {"class test extension=ZorvaneTest\n", "method 0 Echo Эхо params=1 retval=yes\n",
        "method 1 Sum Сумма params=2 retval=yes\n", "method 8 Reset Сброс params=0 retval=no\n",
        "property 0 Value Значение readable=yes writable=yes\n",
        "property 2 Version Версия readable=yes writable=no\n", "memory: ok\n"}) {
    EXPECT_TRUE(Has(r.output, line)) << line << "\n" << r.output;
  }

  // A class whose constructor fails cannot be created; a wrong letter case finds no class.
  EXPECT_EQ(Host({"--class", "broken", "describe"}).exitCode, 3);
  EXPECT_EQ(Host({"--class", "Test", "describe"}).exitCode, 3);
}

TEST_F(BindingTest, NamesAndIndices) {
  const RunResult r =
      Host({"--class",    "test2",      "findmethod", "Sum", "--",         "findmethod", "Сумма",
            "--",         "findprop",   "Значение",   "--",  "findprop",   "Value",      "--",
            "methodname", "1",          "0",          "--",  "methodname", "1",          "1",
            "--",         "methodname", "1",          "2",   "--",         "propname",   "0",
            "1",          "--",         "nparams",    "1",   "--",         "hasretval",  "0",
            "--",         "hasretval",  "8",          "--",  "paramdef",   "1",          "0",
            "--",         "paramdef",   "1",          "1"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output,
            "findmethod Sum -> 1\nfindmethod Сумма -> 1\nfindprop Значение -> 0\n"
            "findprop Value -> 0\nmethodname 1 0 -> Sum\nmethodname 1 1 -> Сумма\n"
            "methodname 1 2 -> Сумма\npropname 0 1 -> Значение\nnparams 1 -> 2\n"
            "hasretval 0 -> true\nhasretval 8 -> false\nparamdef 1 0 -> false\n"
            "paramdef 1 1 -> false\nmemory: ok\n");

  // Names are matched with their letter case.
  EXPECT_EQ(Host({"--class", "test", "findmethod", "sum", "--", "findprop", "VALUE"}).output,
            "findmethod sum -> -1\nfindprop VALUE -> -1\nmemory: ok\n");
}

TEST_F(BindingTest, CallsAreTracedWithTheEnglishName) {
  const RunResult r = Script(
      "call Эхо s:привет\n"
      "call Sum i:2 d:0.5\n"
      "call Sum empty empty\n"
      "call ToBool b:true\n"
      "proc Reset\n"
      "proc Echo s:x\n"
      "call FillOutput out out\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(
      Has(r.output, "call Эхо(s:привет)\nanswer: true\nresult: s:привет\nparam 0: s:привет\n"));
  EXPECT_TRUE(Has(r.output, "result: d:2.5\n"));
  EXPECT_TRUE(Has(r.output, "proc Echo(s:x)\nanswer: true\nparam 0: s:x\n"));
  EXPECT_TRUE(
      Has(r.output, "answer: true\nresult: b:true\nparam 0: s:filled\nparam 1: blob:4:ffd8ffd9\n"));
  EXPECT_TRUE(Has(r.output, "memory: ok\n"));

  const std::vector<std::string> expected = {
      "DEBUG\t> Echo: \tParams: [привет]",
      "DEBUG\t< Echo: \tResult=привет; Params: [привет]",
      "DEBUG\t> Sum: \tParams: [2; 0.5]",
      "DEBUG\t< Sum: \tResult=2.5; Params: [2; 0.5]",
      "DEBUG\t> Sum: \tParams: [; ]",
      "DEBUG\t< Sum: \tResult=0; Params: [; ]",
      "DEBUG\t> ToBool: \tParams: [True]",
      "DEBUG\t< ToBool: \tResult=True; Params: [True]",
      "DEBUG\t> Reset: \tParams: []",
      "DEBUG\t< Reset: \t; Params: []",
      "DEBUG\t> Echo: \tParams: [x]",
      "DEBUG\t< Echo: \t; Params: [x]",
      "DEBUG\t> FillOutput: \tParams: [; ]",
      "DEBUG\t< FillOutput: \tResult=True; Params: [filled; BLOB]",
  };
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(BindingTest, ErrorsEscapingAHandlerReachAddError) {
  const RunResult r = Script(
      "call Fail \"s:Камера не отвечает\"\n"
      "call ThrowForeign s:range\n"
      "call ThrowForeign s:int\n"
      "call Echo date:45000.5\n"
      "call FillOutput date:1 out\n"
      "call Echo i:1\n");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Has(r.output, AddErrorLine("Камера не отвечает") + "\nanswer: false\n")) << r.output;
  EXPECT_TRUE(Has(r.output, AddErrorLine("vector index 7 out of range") + "\nanswer: false\n"));
  EXPECT_TRUE(Has(r.output, AddErrorLine("Неизвестная ошибка") + "\nanswer: false\n"));
  // A date sent as a double stops the call before the handler runs: the output slot stays empty.
  EXPECT_TRUE(
      Has(r.output, AddErrorLine("Unsupported data type") +
                        "\nanswer: false\nresult: b:false\nparam 0: date:1\nparam 1: empty\n") ||
      Has(r.output, AddErrorLine("Unsupported data type") +
                        "\nanswer: false\nresult: empty\nparam 0: date:1\nparam 1: empty\n"))
      << r.output;
  EXPECT_TRUE(Has(r.output, "call Echo(i:1)\nanswer: true\nresult: s:1\n"));
  EXPECT_TRUE(Has(r.output, "memory: ok\n"));

  const std::vector<std::string> lines = LogLines();
  const std::vector<std::string> expected = {
      "DEBUG\t> Fail: \tParams: [Камера не отвечает]",
      "ERROR\tEXCEPTION: \tКамера не отвечает",
      "DEBUG\t> ThrowForeign: \tParams: [range]",
      "ERROR\tEXCEPTION: \tvector index 7 out of range",
      "DEBUG\t> ThrowForeign: \tParams: [int]",
      "ERROR\tEXCEPTION: \tНеизвестная ошибка",
      "ERROR\tEXCEPTION: \tUnsupported data type",
      "ERROR\tEXCEPTION: \tUnsupported data type",
      "DEBUG\t> Echo: \tParams: [1]",
      "DEBUG\t< Echo: \tResult=1; Params: [1]",
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(BindingTest, PasswordsNeverReachTheLog) {
  const RunResult r = Script(
      "call SetParameter s:Password s:Secret1\n"
      "call УстановитьПараметр s:Пароль s:Секрет2\n"
      "call SetParameter s:Login s:admin\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::vector<std::string> expected = {
      "DEBUG\t> SetParameter: \tParams: [Password; ********]",
      "DEBUG\t< SetParameter: \tResult=True; Params: [Password; ********]",
      "DEBUG\t> SetParameter: \tParams: [Пароль; ********]",
      "DEBUG\t< SetParameter: \tResult=True; Params: [Пароль; ********]",
      "DEBUG\t> SetParameter: \tParams: [Login; admin]",
      "DEBUG\t< SetParameter: \tResult=True; Params: [Login; admin]",
  };
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(BindingTest, PropertiesAreNotTracedAndTheirErrorsReachAddError) {
  const RunResult r = Script(
      "set Значение s:камера-1\n"
      "get Value\n"
      "get Version\n"
      "set Version s:2\n"
      "get Broken\n");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Has(r.output, "get Value -> true\nvalue: s:камера-1\n"));
  EXPECT_TRUE(Has(r.output, "get Version -> true\nvalue: s:1.1.3.5\n"));
  EXPECT_TRUE(Has(r.output, "set Version s:2 -> false\n"));
  EXPECT_TRUE(Has(r.output, AddErrorLine("Broken property") + "\nget Broken -> false\n"));
  EXPECT_TRUE(Has(r.output, "memory: ok\n"));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(BindingTest, BadIndicesAnswerWithoutCrashing) {
  const RunResult r = Host({"--class", "test", "call",       "#99",     "--", "call", "#-1",
                            "s:x",     "--",   "get",        "#12",     "--", "set",  "#-3",
                            "i:1",     "--",   "methodname", "99",      "0",  "--",   "propname",
                            "-1",      "1",    "--",         "nparams", "-5", "--",   "hasretval",
                            "1000",    "--",   "paramdef",   "77",      "0"});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(
      Has(r.output, AddErrorLine("Номер метода 99 вне списка методов") + "\nanswer: false\n"));
  EXPECT_TRUE(Has(r.output, "get #12 -> false\n"));
  EXPECT_TRUE(Has(r.output,
                  "methodname 99 0 -> (null)\npropname -1 1 -> (null)\nnparams -5 -> 0\n"
                  "hasretval 1000 -> false\nparamdef 77 0 -> false\nmemory: ok\n"));
}

TEST_F(BindingTest, AnUnwritableLogFailsNoCall) {
  // The log folder's place is taken by a file: no line can be written there.
  RunResult r = Script("call Echo s:x\n");
  ASSERT_EQ(r.exitCode, 0);
  zorvane::RemoveTree(dirPath + "/Telvask/zorvane_test");
  WriteFile(dirPath + "/Telvask/zorvane_test", "not a folder");
  // The call answers as its work did; the lines go to the user's own folder.
  r = Script("call Echo s:x\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_FALSE(Has(r.output, "description=")) << r.output;
  EXPECT_TRUE(Has(r.output, "answer: true\nresult: s:x\n")) << r.output;
  EXPECT_TRUE(Has(r.output, "memory: ok\n"));
  const std::vector<std::string> own = runner.LogLines("zorvane_test", true);
  EXPECT_NE(std::find(own.begin(), own.end(), "DEBUG\t< Echo: \tResult=x; Params: [x]"), own.end())
      << ::testing::PrintToString(own);
}

TEST_F(BindingTest, TheShippedLibraryRegistersOneClass) {
  const RunResult r = Host({"classes"}, ZORVANE_LIB_PATH);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "class zorvane\n");
}

TEST_F(BindingTest, TooFewParametersStopTheCallBeforeItsHandler) {
  const RunResult r = Host({"--class", "test", "call", "Sum", "i:1"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Has(r.output, AddErrorLine("Методу «Sum» нужно параметров: 2, передано: 1") +
                                "\nanswer: false\n"))
      << r.output;
  EXPECT_TRUE(Has(r.output, "memory: ok\n"));
}

// Calls the platform would never make in this order, made in-process on the
// real library: before setMemManager and Init, with null pointers and bad arrays.
TEST(BindingInProcessTest, CallsWithoutMemoryManagerOrWithNullsAnswerSafely) {
  AddInLibrary lib(ZORVANE_TEST_LIB_PATH);
  EXPECT_EQ(lib.ClassNames(), (std::vector<std::string>{"test", "test2", "broken", "testdriver"}));
  EXPECT_EQ(lib.Create("nothing"), nullptr);
  EXPECT_EQ(lib.Create("broken"), nullptr);
  IComponentBase* object = lib.Create("test");
  ASSERT_NE(object, nullptr);

  WCHAR_T* name = reinterpret_cast<WCHAR_T*>(1);
  EXPECT_TRUE(object->RegisterExtensionAs(&name));
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(object->GetMethodName(0, 0), nullptr);
  EXPECT_EQ(object->GetPropName(0, 1), nullptr);
  EXPECT_EQ(object->FindMethod(nullptr), -1);
  EXPECT_EQ(object->FindProp(nullptr), -1);
  EXPECT_EQ(object->GetInfo(), 2000);

  V8Variant ret;
  std::memset(static_cast<void*>(&ret), 0, sizeof ret);
  EXPECT_FALSE(object->CallAsFunc(0, &ret, nullptr, 1));
  EXPECT_FALSE(object->CallAsFunc(0, &ret, nullptr, -1));
  EXPECT_FALSE(object->CallAsProc(0, nullptr, 3));
  EXPECT_FALSE(object->GetPropVal(0, nullptr));
  // Without a memory manager a handler cannot hand back text, but nothing breaks.
  V8Variant param;
  std::memset(static_cast<void*>(&param), 0, sizeof param);
  param.vt = VTYPE_I4;
  param.lVal = 3;
  EXPECT_FALSE(object->CallAsFunc(0, &ret, &param, 1));
  EXPECT_TRUE(object->CallAsFunc(2, &ret, &param, 1));  // ToInt needs no memory
  EXPECT_EQ(ret.lVal, 3);

  object->Done();
  EXPECT_EQ(object->GetNMethods(), 9);  // Done frees nothing

  IComponentBase* nothing = nullptr;
  lib.Destroy(nothing);
  lib.Destroy(object);
}
