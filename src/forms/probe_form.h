// What the camera search window holds and does, without a toolkit: the
// credentials and local addresses it offers, and the search, which runs on a
// worker thread of its own while the window stays responsive. The view asks
// Update() a few times a second and redraws what changed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "forms/device_form.h"
#include "forms/messages.h"
#include "onvif/onvif_manager.h"

namespace zorvane {

// One item of the list: a camera found, or one that answered the probe but
// whose queries failed (Error says why; it has no details).
struct TFoundCamera {
  size_t Index = 0;  // among the distinct answers of the probe
  std::string Caption;
  std::string Error;
  std::shared_ptr<const TOnvifDeviceForm> Details;
};

class TOnvifProbeForm {
 public:
  // The host's own addresses.
  TOnvifProbeForm();
  explicit TOnvifProbeForm(std::vector<std::string> localIPs);
  // Cancels a running search (see Cancel).
  ~TOnvifProbeForm();
  TOnvifProbeForm(const TOnvifProbeForm&) = delete;
  TOnvifProbeForm& operator=(const TOnvifProbeForm&) = delete;

  std::string edtUser = "admin";
  std::string edtPassword = "kqzvt";
  std::vector<std::string> cbbLocalIPs;
  int ItemIndex = -1;  // the address chosen at start: the first, if any
  // msg::kNoNetworkInterface when the host has no IPv4 address: shown once,
  // then the window opens with an empty choice.
  std::string CreateError;

  // "Поиск": the list is emptied and the search starts in the background.
  // Ignored while a search runs.
  void Button2Click(const std::string& user, const std::string& password,
                    const std::string& localIP);
  // Stops a running search and waits for it, a second at most: where the
  // system's HTTP exchange cannot be interrupted from another thread, a
  // camera that hangs is left to its time limit on the search's own thread,
  // which holds what it uses.
  void Cancel();

  // Takes what the search did since the last call; true when anything
  // changed. Then Items, Searching, Progress and the message are current.
  bool Update();
  const std::vector<TFoundCamera>& Items() const { return FItems; }
  bool Searching() const { return FSearching; }
  // "Опрос камер: 3 из 8" while cameras are queried.
  const std::string& Progress() const { return FProgress; }
  // A message box to show once (msg::kNoDevicesFound, or why the search failed),
  // titled "Ошибка"; empty when there is none.
  std::string TakeMessage();

  // Test seams: the search time limit and probe attempts of new searches.
  std::chrono::milliseconds SearchDeadline = kSearchDeadline;
  uint8_t AttemptCnt = 5;

 private:
  struct TShared {
    std::mutex Lock;
    std::condition_variable Ended;
    std::vector<TFoundCamera> Items;
    std::string Progress;
    std::string Message;
    bool Finished = false;
    bool Changed = false;
  };
  // The worker: runs the manager's search and tells shared what it finds.
  static void Search(const std::shared_ptr<TShared>& shared, TOnvifManager& manager) noexcept;

  std::shared_ptr<TOnvifManager> FDevice;  // the search's manager
  std::shared_ptr<TShared> FShared;
  std::vector<TFoundCamera> FItems;
  bool FSearching = false;
  std::string FProgress;
  std::string FMessage;
};

}  // namespace zorvane
