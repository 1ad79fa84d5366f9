#include "forms/probe_form.h"

#include <algorithm>
#include <utility>

#include "log/log_writer.h"
#include "onvif/http_session.h"
#include "platform/threads.h"

namespace zorvane {

namespace {

// A failed camera is named by the address it answered with.
std::string AddressOf(const std::string& xaddrs) {
  const std::string first = xaddrs.substr(0, xaddrs.find(' '));
  try {
    const TUrlParts p = SplitUrl(first);
    return p.port.empty() ? p.host : p.host + ":" + p.port;
  } catch (const std::exception&) {
    return first;
  }
}

// The host's addresses; none when they cannot be listed (said in the log).
std::vector<std::string> HostAddresses() {
  try {
    return LocalIPv4Addresses();
  } catch (const std::exception& e) {
    TryWriteLog(std::string("camera search: ") + e.what(), TLogLevel::llError);
    return {};
  }
}

}  // namespace

TOnvifProbeForm::TOnvifProbeForm() : TOnvifProbeForm(HostAddresses()) {}

TOnvifProbeForm::TOnvifProbeForm(std::vector<std::string> localIPs)
    : cbbLocalIPs(std::move(localIPs)) {
  if (cbbLocalIPs.empty()) {
    CreateError = msg::kNoNetworkInterface;
  } else {
    ItemIndex = 0;
  }
}

TOnvifProbeForm::~TOnvifProbeForm() {
  Cancel();
}

void TOnvifProbeForm::Cancel() {
  if (FDevice) FDevice->Cancel();
  if (FShared) {
    std::unique_lock<std::mutex> lock(FShared->Lock);
    FShared->Ended.wait_for(lock, std::chrono::seconds(1), [this] { return FShared->Finished; });
  }
  // Waited for once: the search's thread holds what it still uses.
  FShared.reset();
  FDevice.reset();
  FSearching = false;
}

void TOnvifProbeForm::Button2Click(const std::string& user, const std::string& password,
                                   const std::string& localIP) {
  if (FSearching) return;
  auto manager = std::make_shared<TOnvifManager>();
  manager->Login = user;
  manager->Password = password;
  manager->LocalIP = localIP;
  manager->SearchDeadline = SearchDeadline;
  manager->AttemptCnt = AttemptCnt;
  auto shared = std::make_shared<TShared>();
  // Started first: a thread that cannot be had leaves the window as it was.
  StartDetachedThread([shared, manager] { Search(shared, *manager); });
  // The previous search's cameras go with its manager: the items keep
  // their own copies of what the details window shows.
  FDevice = std::move(manager);
  FShared = std::move(shared);
  FItems.clear();
  FMessage.clear();
  FProgress = msg::kSearching;
  FSearching = true;
}

void TOnvifProbeForm::Search(const std::shared_ptr<TShared>& shared,
                             TOnvifManager& manager) noexcept {
  std::string message;
  bool found = false;
  try {
    manager.OnvifProbe().OnLogMessage = [](const std::string& text) {
      TryWriteLog(text, TLogLevel::llDebug);
    };
    manager.OnProgress = [&shared](const TSearchProgress& p) {
      TFoundCamera item;
      item.Index = p.Index;
      if (p.Device) {
        item.Caption = p.Device->Name;
        item.Details = std::make_shared<const TOnvifDeviceForm>(*p.Device);
      } else if (p.Failure) {
        item.Caption = AddressOf(p.Failure->XAddrs);
        item.Error = p.Failure->Message.empty() ? msg::kUnknownFailure : p.Failure->Message;
      }
      const std::lock_guard<std::mutex> lock(shared->Lock);
      if (p.Device || p.Failure) shared->Items.push_back(std::move(item));
      shared->Progress = msg::QueryProgress(p.Done, p.Total);
      shared->Changed = true;
    };
    found = manager.SearchDeices();
    if (!found && !manager.Cancelled()) message = msg::kNoDevicesFound;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = msg::kUnknownFailure;
  }
  const std::lock_guard<std::mutex> lock(shared->Lock);
  try {
    // The final order: the cameras found, then the failed ones, each in the
    // order of the probe's answers.
    std::stable_sort(shared->Items.begin(), shared->Items.end(),
                     [](const TFoundCamera& a, const TFoundCamera& b) {
                       const bool failedA = !a.Details, failedB = !b.Details;
                       return failedA != failedB ? failedB : a.Index < b.Index;
                     });
    const size_t failed = static_cast<size_t>(
        std::count_if(shared->Items.begin(), shared->Items.end(),
                      [](const TFoundCamera& c) { return !c.Details; }));
    shared->Progress =
        found ? msg::CamerasFound(shared->Items.size() - failed, failed) : std::string();
    shared->Message = message;
  } catch (...) {
    shared->Progress.clear();
  }
  shared->Finished = true;
  shared->Changed = true;
  shared->Ended.notify_all();
}

bool TOnvifProbeForm::Update() {
  if (!FShared) return false;
  const std::lock_guard<std::mutex> lock(FShared->Lock);
  if (!FShared->Changed) return false;
  FShared->Changed = false;
  FItems = FShared->Items;
  FProgress = FShared->Progress;
  if (FShared->Finished && FSearching) {
    FSearching = false;
    FMessage = FShared->Message;
  }
  return true;
}

std::string TOnvifProbeForm::TakeMessage() {
  return std::exchange(FMessage, std::string());
}

}  // namespace zorvane
