// zorvane: loads the add-in library the way the platform does and drives it
// from the command line. Output lines are stable so scripts and tests can read
// them; see Usage() for the commands and the exit codes.

#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "onvif/onvif_manager.h"
#include "platform/files.h"
#include "platform/library_names.h"
#include "platform/system_info.h"
#include "tools/zorvane/host.h"
#include "tools/zorvane/values.h"

using namespace zorvane;
using namespace zorvane::host;

namespace {

enum ExitCode { kOk = 0, kCallFailed = 1, kUsage = 2, kLoadFailed = 3, kMemoryFault = 4 };

void Usage(std::ostream& out) {
  out << "usage: zorvane [--lib PATH] [--class NAME] COMMAND [ARGS] [-- COMMAND [ARGS]]...\n"
         "       zorvane [--lib PATH] [--class NAME] script FILE|-\n"
         "\n"
         "--linger S: after the commands, unload the add-in (printing how long that took)\n"
         "and stay S seconds more, as a platform that goes on without it does.\n"
         "\n"
         "Loads the add-in library (default: libzorvane.so beside this program, else\n"
         "../lib/zorvane/libzorvane.so from it) through\n"
         "GetClassNames, GetClassObject and DestroyObject, as the platform does, and runs\n"
         "the commands in order on one object of the class (default: the first class).\n"
         "\n"
         "commands:\n"
         "  classes                     the registered class names\n"
         "  describe                    methods and properties of the class (all classes\n"
         "                              without --class)\n"
         "  get PROP                    read a property (either name)\n"
         "  set PROP VALUE              write a property\n"
         "  call METHOD [VALUE...]      call a method as a function (either name, or #index)\n"
         "  proc METHOD [VALUE...]      call a method as a procedure\n"
         "  findmethod NAME | findprop NAME\n"
         "  object K                    use object K (from 0) of the class, created when new\n"
         "  repeat N COMMAND...         run a command N times, printing only the counts\n"
         "  wait SECONDS                let that much time pass (e.g. while a clip records)\n"
         "\n"
         "camera commands:\n"
         "  photo --host H [--port P] [--login L] [--password W] [--profile T]\n"
         "        [--snapshot-uri U] (-o FILE | --stdout)\n"
         "                              the calls a configuration makes for one photo\n"
         "  record --host H [--port P] [--login L] [--password W] [--profile T]\n"
         "         --seconds N -o FILE  a clip of N seconds of the camera's stream\n"
         "                              (.mp4 or .mkv), as a configuration records one\n"
         "  search [--local-ip A] [--login L] [--password W] [--attempts N]\n"
         "                              find cameras on the local network and query them\n"
         "  methodname N ALIAS | propname N ALIAS | nparams N | hasretval N | paramdef N P\n"
         "\n"
         "values: s:TEXT (or a bare word), a:TEXT (narrow), i:N, d:X, b:true|false,\n"
         "        t:YYYY-MM-DD[THH:MM:SS], date:X (a date as a double), blob:HEX,\n"
         "        empty (also out: an output slot)\n"
         "\n"
         "exit codes: 0 all answered true, 1 a call answered false or a name was not found,\n"
         "            2 usage, 3 the library or the object could not be made,\n"
         "            4 the memory manager saw a leak, a double free or a foreign free\n";
}

std::string ProgramDir() {
  // The add-in's code linked into this program: its module is the program.
  const std::string path = GetModulePath();
  const size_t slash = path.find_last_of(kPathSeparators);
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Splits a script line into words; double quotes group, backslash escapes.
std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      inWord = true;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord) words.push_back(word), word.clear(), inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string TakeName(HostMemoryManager& mm, const WCHAR_T* block) {
  if (!block) return "(null)";
  std::string name = ToUtf8(block);
  void* p = const_cast<WCHAR_T*>(block);
  mm.FreeMemory(&p);
  return name;
}

class Session {
 public:
  Session(const AddInLibrary& lib, std::string className)
      : FLib(lib), FClass(std::move(className)) {
    FConnection.OnError = [this](const AddErrorRecord& e) {
      char scode[16];
      std::snprintf(scode, sizeof scode, "0x%08lx",
                    static_cast<unsigned long>(e.scode) & 0xFFFFFFFFul);
      Out() << "adderror code=" << e.code << " source=" << e.source
            << " description=" << e.description << " scode=" << scode << "\n";
    };
  }

  bool Open() {
    FObjects.push_back(FLib.Create(FClass));
    FObject = FObjects.back();
    if (!FObject) {
      Out() << "error: cannot create an object of class " << FClass << "\n";
      return false;
    }
    // The platform's order: memory manager, connection, extension name, locale.
    FObject->setMemManager(&FMemory);
    FObject->Init(&FConnection);
    WCHAR_T* name = nullptr;
    FObject->RegisterExtensionAs(&name);
    FExtension = TakeName(FMemory, name);
    FObject->SetLocale(u"ru_RU");
    return true;
  }

  void Close() {
    for (IComponentBase* object : FObjects) {
      if (!object) continue;
      object->Done();
      FLib.Destroy(object);
    }
    FObjects.clear();
    FObject = nullptr;
  }

  // Runs one command; returns the exit code it contributes.
  int Run(const std::vector<std::string>& words) {
    const std::string& cmd = words[0];
    const size_t argc = words.size() - 1;
    if (cmd == "object" && argc == 1) return SwitchObject(std::stoul(words[1]));
    if (cmd == "repeat" && argc >= 2)
      return Repeat(std::stol(words[1]), {words.begin() + 2, words.end()});
    if (cmd == "describe" && argc == 0) return Describe();
    if (cmd == "wait" && argc == 1) return Wait(words[1]);
    if (cmd == "get" && argc == 1) return Get(words[1]);
    if (cmd == "set" && argc == 2) return Set(words[1], words[2]);
    if ((cmd == "call" || cmd == "proc") && argc >= 1) {
      return Call(words[1], {words.begin() + 2, words.end()}, cmd == "call");
    }
    if (cmd == "findmethod" && argc == 1) return Find(words[1], true);
    if (cmd == "findprop" && argc == 1) return Find(words[1], false);
    if ((cmd == "methodname" || cmd == "propname") && argc == 2) {
      const long n = std::stol(words[1]), alias = std::stol(words[2]);
      const WCHAR_T* name =
          cmd == "methodname" ? FObject->GetMethodName(n, alias) : FObject->GetPropName(n, alias);
      Out() << cmd << " " << n << " " << alias << " -> " << TakeName(FMemory, name) << "\n";
      return name ? kOk : kCallFailed;
    }
    if (cmd == "nparams" && argc == 1) {
      Out() << "nparams " << words[1] << " -> " << FObject->GetNParams(std::stol(words[1])) << "\n";
      return kOk;
    }
    if (cmd == "hasretval" && argc == 1) {
      const bool has = FObject->HasRetVal(std::stol(words[1]));
      Out() << "hasretval " << words[1] << " -> " << (has ? "true" : "false") << "\n";
      return kOk;
    }
    if (cmd == "paramdef" && argc == 2) {
      V8Variant v{};
      std::memset(static_cast<void*>(&v), 0, sizeof v);
      const bool has = FObject->GetParamDefValue(std::stol(words[1]), std::stol(words[2]), &v);
      Out() << "paramdef " << words[1] << " " << words[2] << " -> " << (has ? "true" : "false")
            << (has ? " " + FormatValue(v) : "") << "\n";
      return kOk;
    }
    Out() << "error: unknown command or wrong arguments: " << cmd << "\n";
    return kUsage;
  }

  int Describe() {
    Out() << "class " << FClass << " extension=" << FExtension << "\n";
    const long methods = FObject->GetNMethods();
    for (long i = 0; i < methods; ++i) {
      Out() << "method " << i << " " << TakeName(FMemory, FObject->GetMethodName(i, 0)) << " "
            << TakeName(FMemory, FObject->GetMethodName(i, 1))
            << " params=" << FObject->GetNParams(i)
            << " retval=" << (FObject->HasRetVal(i) ? "yes" : "no") << "\n";
    }
    const long props = FObject->GetNProps();
    for (long i = 0; i < props; ++i) {
      Out() << "property " << i << " " << TakeName(FMemory, FObject->GetPropName(i, 0)) << " "
            << TakeName(FMemory, FObject->GetPropName(i, 1))
            << " readable=" << (FObject->IsPropReadable(i) ? "yes" : "no")
            << " writable=" << (FObject->IsPropWritable(i) ? "yes" : "no") << "\n";
    }
    return kOk;
  }

  // Lets seconds pass (a fraction allowed), as a configuration does between
  // the start and the stop of a clip.
  int Wait(const std::string& seconds) {
    const double s = std::stod(seconds);
    if (!(s >= 0 && s <= 24 * 3600)) throw std::runtime_error("wait takes 0 to 86400 seconds");
    std::this_thread::sleep_for(std::chrono::duration<double>(s));
    Out() << "wait " << seconds << "\n";
    return kOk;
  }

  HostMemoryManager& Memory() { return FMemory; }
  void SetOutput(std::ostream& out) { FOut = &out; }

  // What a call gave back, kept after its blocks went back to the memory manager.
  struct TOutcome {
    bool answer = false;
    bool resultTrue = false;
    int32_t resultInt = 0;
    std::string param0Text;
    std::string param0Bytes;
  };
  // Calls a method (either name) as a function, printing it like "call", and
  // keeps what the caller needs of the result and the first parameter.
  TOutcome CallKeeping(const std::string& method, const std::vector<std::string>& args) {
    TOutcome outcome;
    FKeep = &outcome;
    Call(method, args, true);
    FKeep = nullptr;
    return outcome;
  }

 private:
  std::ostream& Out() { return FQuiet ? FNull : *FOut; }

  // Makes object k (counted from 0; created when new) the one the commands use.
  int SwitchObject(size_t k) {
    while (FObjects.size() <= k) {
      if (!Open()) return kLoadFailed;
    }
    FObject = FObjects[k];
    Out() << "object " << k << "\n";
    return kOk;
  }

  // Runs a command n times without printing each run.
  int Repeat(long n, const std::vector<std::string>& words) {
    long ok = 0, failed = 0;
    FQuiet = true;
    for (long i = 0; i < n; ++i) {
      int code = kUsage;
      try {
        code = Run(words);
      } catch (const std::exception&) {
      }
      (code == kOk ? ok : failed)++;
      if (code == kUsage) break;
    }
    FQuiet = false;
    std::string text;
    for (const auto& w : words) text += " " + w;
    Out() << "repeat " << n << text << " -> ok=" << ok << " failed=" << failed << "\n";
    return failed ? kCallFailed : kOk;
  }

  long Index(const std::string& name, bool method) {
    if (!name.empty() && name[0] == '#') return std::stol(name.substr(1));
    const std::u16string wide = ToUtf16(name);
    return method ? FObject->FindMethod(wide.c_str()) : FObject->FindProp(wide.c_str());
  }

  int Find(const std::string& name, bool method) {
    const long n = Index(name, method);
    Out() << (method ? "findmethod " : "findprop ") << name << " -> " << n << "\n";
    return n >= 0 ? kOk : kCallFailed;
  }

  int Get(const std::string& prop) {
    const long n = Index(prop, false);
    if (n < 0) return NotFound("property", prop);
    V8Variant v{};
    std::memset(static_cast<void*>(&v), 0, sizeof v);
    const bool ok = FObject->GetPropVal(n, &v);
    Out() << "get " << prop << " -> " << (ok ? "true" : "false") << "\n";
    Out() << "value: " << FormatValue(v) << "\n";
    ReleaseValue(v, FMemory);
    return ok ? kOk : kCallFailed;
  }

  int Set(const std::string& prop, const std::string& value) {
    const long n = Index(prop, false);
    if (n < 0) return NotFound("property", prop);
    V8Variant v{};
    ParseValue(value, v, FMemory);
    const bool ok = FObject->SetPropVal(n, &v);
    Out() << "set " << prop << " " << FormatValue(v) << " -> " << (ok ? "true" : "false") << "\n";
    ReleaseValue(v, FMemory);
    return ok ? kOk : kCallFailed;
  }

  int Call(const std::string& method, const std::vector<std::string>& args, bool asFunc) {
    const long n = Index(method, true);
    if (n < 0) return NotFound("method", method);
    std::vector<V8Variant> params(args.size());
    for (size_t i = 0; i < args.size(); ++i) ParseValue(args[i], params[i], FMemory);
    V8Variant result{};
    std::memset(static_cast<void*>(&result), 0, sizeof result);
    if (!FQuiet) {
      Out() << (asFunc ? "call " : "proc ") << method << "(";
      for (size_t i = 0; i < params.size(); ++i) Out() << (i ? ", " : "") << Shown(params, i);
      Out() << ")\n" << std::flush;
    }
    V8Variant* array = params.empty() ? nullptr : params.data();
    const long count = static_cast<long>(params.size());
    const bool ok = asFunc ? FObject->CallAsFunc(n, &result, array, count)
                           : FObject->CallAsProc(n, array, count);
    if (!FQuiet) {
      Out() << "answer: " << (ok ? "true" : "false") << "\n";
      if (asFunc) Out() << "result: " << FormatValue(result) << "\n";
      for (size_t i = 0; i < params.size(); ++i) {
        Out() << "param " << i << ": " << Shown(params, i) << "\n";
      }
    }
    if (FKeep) {
      FKeep->answer = ok;
      FKeep->resultTrue = result.vt == VTYPE_BOOL && result.ui8Val;
      FKeep->resultInt = result.vt == VTYPE_I4 ? result.lVal : 0;
      if (!params.empty() && params[0].vt == VTYPE_PWSTR && params[0].vtRecWideString.pwstrVal) {
        FKeep->param0Text = ToUtf8(params[0].vtRecWideString.pwstrVal);
      }
      if (!params.empty() && params[0].vt == VTYPE_BLOB && params[0].vtRecString.pstrVal) {
        FKeep->param0Bytes.assign(params[0].vtRecString.pstrVal, params[0].vtRecString.strLen);
      }
    }
    for (V8Variant& param : params) ReleaseValue(param, FMemory);
    ReleaseValue(result, FMemory);
    return ok ? kOk : kCallFailed;
  }

  // A parameter as printed; the value after a "Password" setting name is masked.
  static std::string Shown(const std::vector<V8Variant>& params, size_t i) {
    if (i > 0) {
      const std::string previous = FormatValue(params[i - 1]);
      if (previous == "s:Password" || previous == "s:Пароль") return "s:********";
    }
    return FormatValue(params[i]);
  }

  int NotFound(const char* what, const std::string& name) {
    Out() << "error: no " << what << " " << name << " in class " << FClass << "\n";
    return kCallFailed;
  }

  const AddInLibrary& FLib;
  std::string FClass;
  std::string FExtension;
  HostMemoryManager FMemory;
  HostConnection FConnection;
  IComponentBase* FObject = nullptr;
  std::vector<IComponentBase*> FObjects;
  bool FQuiet = false;
  std::ostream FNull{nullptr};
  std::ostream* FOut = &std::cout;
  TOutcome* FKeep = nullptr;
};

// Options of the camera commands: "--name value" pairs and bare flags.
std::map<std::string, std::string> CommandOptions(int argc, char** argv, int first,
                                                  const std::set<std::string>& flags) {
  std::map<std::string, std::string> options;
  for (int i = first; i < argc; ++i) {
    const std::string name = argv[i];
    if (flags.count(name)) {
      options[name] = "1";
    } else if (name.rfind("-", 0) == 0 && i + 1 < argc) {
      options[name] = argv[++i];
    } else {
      throw std::runtime_error("unexpected argument: " + name);
    }
  }
  return options;
}

int CheckMemoryOf(Session& session, int status, std::ostream& out);

// Sets the camera's settings given as options, as a configuration does
// before "Подключить"; --profile names the property profileName. The
// failure, when a setting was refused.
std::string ApplySettings(Session& session, const std::map<std::string, std::string>& o,
                          const char* profileName) {
  struct Setting {
    const char* option;
    const char* name;
    const char* type;
  };
  const Setting settings[] = {
      {"--host", "Host", "s:"},         {"--port", "Port", "i:"},
      {"--login", "Login", "s:"},       {"--password", "Password", "s:"},
      {"--profile", profileName, "s:"}, {"--snapshot-uri", "SnapshotURI", "s:"}};
  std::string failure;
  for (const Setting& s : settings) {
    if (!o.count(s.option)) continue;
    const auto set = session.CallKeeping("УстановитьПараметр",
                                         {std::string("s:") + s.name, s.type + o.at(s.option)});
    if (!set.resultTrue && failure.empty())
      failure = "the setting " + std::string(s.name) + " was refused";
  }
  return failure;
}

// "record": the calls a configuration makes to record one clip.
int Record(const AddInLibrary& lib, const std::string& className,
           const std::map<std::string, std::string>& o) {
  const std::string file = o.count("-o") ? o.at("-o") : "";
  if (!o.count("--host")) throw std::runtime_error("record needs --host");
  if (file.empty() || !o.count("--seconds"))
    throw std::runtime_error("record needs --seconds N and -o FILE");
  const double seconds = std::stod(o.at("--seconds"));
  Session session(lib, className);
  if (!session.Open()) return kLoadFailed;
  std::string failure = ApplySettings(session, o, "VideoProfile");
  session.CallKeeping("Подключить", {"out"});
  if (failure.empty()) {
    if (session.CallKeeping("СтартВидеоЗаписи", {"b:false", "s:" + file}).resultTrue) {
      session.Run({"wait", o.at("--seconds")});
      if (!session.CallKeeping("СтопВидео", {}).resultTrue)
        failure = session.CallKeeping("ПолучитьОшибку", {"out"}).param0Text;
    } else {
      failure = session.CallKeeping("ПолучитьОшибку", {"out"}).param0Text;
    }
  }
  session.CallKeeping("Отключить", {"out"});
  session.Close();
  std::ifstream written(file, std::ios::binary | std::ios::ate);
  if (failure.empty()) {
    std::cout << "record: " << file << " (" << seconds << " s, "
              << (written ? static_cast<long long>(written.tellg()) : 0) << " bytes)\n";
  } else {
    std::cout << "error: " << failure << "\n";
  }
  return CheckMemoryOf(session, failure.empty() ? kOk : kCallFailed, std::cout);
}

// "photo": the calls a configuration makes to take one photo.
int Photo(const AddInLibrary& lib, const std::string& className,
          const std::map<std::string, std::string>& o) {
  const bool toStdout = o.count("--stdout") > 0;
  const std::string file = o.count("-o") ? o.at("-o") : "";
  if (!o.count("--host") && !o.count("--snapshot-uri"))
    throw std::runtime_error("photo needs --host or --snapshot-uri");
  if (toStdout == !file.empty()) throw std::runtime_error("photo needs either -o FILE or --stdout");
  Session session(lib, className);
  if (toStdout) session.SetOutput(std::cerr);
  if (!session.Open()) return kLoadFailed;
  std::string failure = ApplySettings(session, o, "Profile");
  session.CallKeeping("Подключить", {"out"});
  Session::TOutcome photo;
  if (failure.empty()) {
    photo = toStdout ? session.CallKeeping("ПолучитьФотоснимок", {"out"})
                     : session.CallKeeping("СделатьФотоснимок", {"s:" + file});
    if (!photo.resultTrue) failure = session.CallKeeping("ПолучитьОшибку", {"out"}).param0Text;
  }
  session.CallKeeping("Отключить", {"out"});
  session.Close();
  std::ostream& out = toStdout ? std::cerr : std::cout;
  if (failure.empty()) {
    if (toStdout) {
      std::cout.write(photo.param0Bytes.data(),
                      static_cast<std::streamsize>(photo.param0Bytes.size()));
      std::cout.flush();
      out << "photo: " << photo.param0Bytes.size() << " bytes to standard output\n";
    } else {
      std::ifstream written(file, std::ios::binary | std::ios::ate);
      out << "photo: " << file << " (" << (written ? static_cast<long long>(written.tellg()) : 0)
          << " bytes)\n";
    }
  } else {
    out << "error: " << failure << "\n";
  }
  return CheckMemoryOf(session, failure.empty() ? kOk : kCallFailed, out);
}

// "search": the camera search of the device manager, without a window.
int Search(const std::map<std::string, std::string>& o) {
  zorvane::TOnvifManager manager;
  if (o.count("--login")) manager.Login = o.at("--login");
  if (o.count("--password")) manager.Password = o.at("--password");
  if (o.count("--local-ip")) manager.LocalIP = o.at("--local-ip");
  if (o.count("--attempts"))
    manager.AttemptCnt = static_cast<uint8_t>(std::stoi(o.at("--attempts")));
  const bool answered = manager.SearchDeices();
  for (const auto& device : manager.OnvifDevicesList()) {
    std::cout << "camera " << device->Name << "\n"
              << "  xaddrs " << device->XAddrs << "\n"
              << "  host " << device->Host << " port " << device->Port << "\n"
              << "  snapshot " << device->SnapshotURI << "\n";
    for (const zorvane::TProfile& p : device->Profiles) {
      const auto& enc = p.VideoEncoderConfiguration;
      std::cout << "  profile " << p.token << " \"" << p.Name << "\" " << enc.Encoding << " "
                << enc.Resolution.width << "x" << enc.Resolution.height << "\n";
    }
  }
  for (const zorvane::TFailedDevice& f : manager.FailedDevicesList()) {
    std::cout << "failed " << f.XAddrs << ": " << f.Message << "\n";
  }
  std::cout << "found " << manager.OnvifDevicesList().size() << " camera(s), "
            << manager.FailedDevicesList().size() << " failed"
            << (answered ? "" : "; no answer to the probe");
  if (manager.DroppedAnswers() > 0)
    std::cout << "; " << manager.DroppedAnswers() << " answers dropped";
  if (manager.UnqueriedDevices() > 0)
    std::cout << "; " << manager.UnqueriedDevices() << " not queried in time";
  std::cout << "\n";
  return answered ? kOk : kCallFailed;
}

// Prints the memory manager's findings; true when there is nothing to report.
bool CheckMemory(const HostMemoryManager& mm, std::ostream& out = std::cout) {
  bool clean = true;
  for (const std::string& fault : mm.Faults()) {
    out << "memory: " << fault << "\n";
    clean = false;
  }
  if (mm.LiveBlocks()) {
    out << "memory: " << mm.LiveBlocks() << " block(s), " << mm.LiveBytes()
        << " byte(s) never freed\n";
    clean = false;
  }
  if (clean) out << "memory: ok\n";
  return clean;
}

int CheckMemoryOf(Session& session, int status, std::ostream& out) {
  return CheckMemory(session.Memory(), out) ? status : kMemoryFault;
}

// The add-in beside the program (a build folder), else where the package
// installs it (bin/../lib/zorvane).
std::string DefaultLibrary() {
  const std::string beside = ProgramDir() + "/" + kAddInFileName;
  const std::string installed = ProgramDir() + "/../lib/zorvane/" + kAddInFileName;
  if (FileInfoOf(beside).Kind == TFileKind::Missing &&
      FileInfoOf(installed).Kind != TFileKind::Missing)
    return installed;
  return beside;
}

int Main(int argc, char** argv) {
  std::string libPath = DefaultLibrary();
  std::string className;
  double lingerSeconds = -1;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0 && argv[i][2]; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help") {
      Usage(std::cout);
      return kOk;
    }
    if (i + 1 >= argc) {
      Usage(std::cerr);
      return kUsage;
    }
    if (opt == "--lib") {
      libPath = argv[++i];
    } else if (opt == "--linger") {
      lingerSeconds = std::stod(argv[++i]);
    } else if (opt == "--class") {
      className = argv[++i];
    } else {
      std::cerr << "zorvane: unknown option " << opt << "\n";
      return kUsage;
    }
  }
  if (i < argc && std::strcmp(argv[i], "search") == 0)
    return Search(CommandOptions(argc, argv, i + 1, {}));
  if (i < argc && (std::strcmp(argv[i], "photo") == 0 || std::strcmp(argv[i], "record") == 0)) {
    const bool record = std::strcmp(argv[i], "record") == 0;
    const auto options = CommandOptions(argc, argv, i + 1, {"--stdout"});
    std::unique_ptr<AddInLibrary> photoLib;
    try {
      photoLib = std::make_unique<AddInLibrary>(libPath);
    } catch (const std::exception& e) {
      std::cout << "error: " << e.what() << "\n";
      return kLoadFailed;
    }
    const auto classes = photoLib->ClassNames();
    if (className.empty() && classes.empty()) {
      std::cout << "error: the library registers no class\n";
      return kLoadFailed;
    }
    const std::string name = className.empty() ? classes[0] : className;
    return record ? Record(*photoLib, name, options) : Photo(*photoLib, name, options);
  }
  // Commands: the rest of the line split at "--", or the lines of a script.
  std::vector<std::vector<std::string>> commands(1);
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      commands.emplace_back();
    } else {
      commands.back().push_back(argv[i]);
    }
  }
  if (commands.size() == 1 && commands[0].size() == 2 && commands[0][0] == "script") {
    const std::string file = commands[0][1];
    std::ifstream in;
    if (file != "-") in.open(file);
    std::istream& source = file == "-" ? std::cin : in;
    if (!source) {
      std::cerr << "zorvane: cannot read " << file << "\n";
      return kUsage;
    }
    commands.clear();
    for (std::string line; std::getline(source, line);) {
      auto words = SplitWords(line);
      if (!words.empty() && words[0][0] != '#') commands.push_back(words);
    }
  }
  std::erase_if(commands, [](const auto& c) { return c.empty(); });
  if (commands.empty()) {
    Usage(std::cerr);
    return kUsage;
  }

  std::unique_ptr<AddInLibrary> lib;
  try {
    lib = std::make_unique<AddInLibrary>(libPath);
  } catch (const std::exception& e) {
    std::cout << "error: " << e.what() << "\n";
    return kLoadFailed;
  }
  const std::vector<std::string> classes = lib->ClassNames();
  if (commands.size() == 1 && commands[0] == std::vector<std::string>{"classes"}) {
    for (const std::string& c : classes) std::cout << "class " << c << "\n";
    return kOk;
  }

  int status = kOk;
  bool memoryClean = true;
  const bool describeAll = className.empty() && commands.size() == 1 &&
                           commands[0] == std::vector<std::string>{"describe"};
  std::vector<std::string> targets;
  if (describeAll && !classes.empty()) {
    targets = classes;
  } else if (!className.empty()) {
    targets = {className};
  } else if (!classes.empty()) {
    targets = {classes[0]};
  } else {
    std::cout << "error: the library registers no class\n";
    return kLoadFailed;
  }
  for (const std::string& target : targets) {
    auto session = std::make_unique<Session>(*lib, target);
    if (!session->Open()) {
      if (!describeAll) return kLoadFailed;
      status = std::max(status, static_cast<int>(kLoadFailed));
      continue;
    }
    for (const auto& words : commands) {
      int code = kUsage;
      try {
        code = session->Run(words);
      } catch (const std::exception& e) {
        std::cout << "error: " << e.what() << "\n";
      }
      status = std::max(status, code);
    }
    session->Close();
    memoryClean = CheckMemory(session->Memory()) && memoryClean;
  }
  const auto unloading = std::chrono::steady_clock::now();
  lib.reset();
  if (lingerSeconds >= 0) {
    std::cout << "unloaded in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - unloading)
                     .count()
              << " ms\n"
              << std::flush;
    std::this_thread::sleep_for(std::chrono::duration<double>(lingerSeconds));
    std::cout << "still running " << lingerSeconds << " s later\n";
  }
  return memoryClean ? status : kMemoryFault;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    UseBinaryStandardStreams();
    // The arguments in UTF-8 whatever the system's code page.
    std::vector<std::string> arguments = ProgramArguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return Main(static_cast<int>(arguments.size()), pointers.data());
  } catch (const std::exception& e) {
    std::cerr << "zorvane: " << e.what() << "\n";
    return kUsage;
  }
}
