// Finding cameras with WS-Discovery: Probe messages by UDP multicast to
// 239.255.255.250:3702, and the ProbeMatches answers sent back to the probing
// socket. A worker thread sends and receives; what it receives, and its log
// texts, go through the probe's own queue to the thread that runs the probe,
// which serves the hand-offs while it waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "onvif/call_deadline.h"
#include "onvif/main_thread_queue.h"

namespace zorvane {

class TUdpSocket;

inline constexpr char kDiscoveryAddress[] = "239.255.255.250";
inline constexpr uint16_t kDiscoveryPort = 3702;
inline constexpr size_t kMaxDatagramBytes = 8192;
// What one probe takes in, whoever answers: cameras (distinct XAddrs), and
// answers in all (a camera answers two of the three probe messages; repeats
// and unreadable answers count too). Answers beyond either are dropped and
// counted, so a flood of spoofed matches costs little memory and few queries.
inline constexpr size_t kMaxProbeMatches = 256;
inline constexpr size_t kMaxProbeAnswers = 4 * kMaxProbeMatches;

enum class TProbeType { ptNetworkVideoTransmitter = 0, ptDevice = 1, ptNetworkVideoDisplay = 2 };

class TProbeTypeSet {
 public:
  constexpr TProbeTypeSet() = default;
  constexpr TProbeTypeSet(std::initializer_list<TProbeType> types) {
    for (TProbeType t : types) Include(t);
  }
  constexpr void Include(TProbeType t) { FBits |= 1u << static_cast<unsigned>(t); }
  constexpr bool Contains(TProbeType t) const { return FBits & (1u << static_cast<unsigned>(t)); }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool operator==(const TProbeTypeSet&) const = default;

 private:
  unsigned FBits = 0;
};

inline constexpr TProbeTypeSet kAllProbeTypes{
    TProbeType::ptNetworkVideoTransmitter, TProbeType::ptDevice, TProbeType::ptNetworkVideoDisplay};

struct TProbeMatch {
  TProbeTypeSet Types;
  std::vector<std::string> Scopes;
  std::string XAddrs;
  std::string XAddrsV6;
  int32_t MetadataVersion = 0;
  std::string XML;
};

using TProbeMathNotify = std::function<void(const TProbeMatch&)>;
using TProbeMathXMLNotify = std::function<void(const std::string&)>;
using TLogMessageNotify = std::function<void(const std::string&)>;

// The Probe message for one type, as sent.
std::string BuildProbeMessage(TProbeType type);
bool ParseProbeMatch(const std::string& Text, TProbeMatch& Match);
// The first IPv4 address of the host name; false when it has none.
bool GetLocalIP(std::string& Address);
// One match per XAddrs (the first seen), sorted by XAddrs ignoring case; n log n.
// The host's IPv4 unicast addresses in dotted form, loopback interfaces left
// out, in the order the network stack lists its interfaces.
std::vector<std::string> LocalIPv4Addresses();

std::vector<TProbeMatch> UniqueProbeMatch(const std::vector<TProbeMatch>& Matches);

// One probe attempt's worker: owns the socket, sends the probes, collects
// every answer that arrives within the window (Timeout after the probes), up
// to the limits above. Datagrams and log texts go through Queue, which the
// owning thread serves; LogMessage is called there.
class TONVIFProbeThread {
 public:
  TONVIFProbeThread(TProbeMathNotify ProbeMathNotify, TProbeMathXMLNotify ProbeMathXMLNotify,
                    TProbeTypeSet ProbeTypeSet, bool BindToAllAvailableLocalIPs, uint32_t Timeout,
                    std::string ALocalIP, std::shared_ptr<TMainThreadQueue> Queue,
                    TLogMessageNotify LogMessage, std::function<void()> OnEnd = {},
                    std::shared_ptr<TCancelSource> Cancel = nullptr);
  ~TONVIFProbeThread();  // waits for the worker to end

  bool Finished() const { return FFinished; }
  void WaitFor();
  // Read on the owning thread once the worker has ended.
  const std::vector<std::string>& ProbeMatchXML() const { return FProbeMatchXML; }
  const std::vector<TProbeMatch>& ProbeMatch() const { return FProbeMatch; }
  // Answers dropped beyond kMaxProbeMatches cameras or kMaxProbeAnswers answers.
  size_t DroppedAnswers() const { return FDropped; }

 private:
  void Execute();
  void Receive(TUdpSocket& socket);
  // Runs on the owning thread for each datagram.
  void UDPServerUDPRead(const std::string& bytes);
  // Hands a log text to the owning thread.
  void Log(const std::string& text);

  std::function<void()> FOnEnd;  // called on the worker thread as it ends
  std::shared_ptr<TCancelSource> FCancel;  // ends the answer window early
  TProbeMathNotify FProbeMathNotify;
  TProbeMathXMLNotify FProbeMathXMLNotify;
  TProbeTypeSet FProbeTypeSet;
  bool FBindToAll;
  uint32_t FTimeout;
  std::string FLocalIP;
  std::shared_ptr<TMainThreadQueue> FQueue;
  TLogMessageNotify FLogMessage;
  std::vector<std::string> FProbeMatchXML;
  std::vector<TProbeMatch> FProbeMatch;
  std::set<std::string> FXAddrs;  // of the matches kept
  std::atomic<size_t> FKept{0};   // FProbeMatchXML's size, for the receiver
  std::atomic<size_t> FDropped{0};
  std::atomic<bool> FAnswered{false};
  std::atomic<bool> FStopReceiving{false};
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};

class TONVIFProbe {
 public:
  TONVIFProbe();
  ~TONVIFProbe();

  TProbeTypeSet ProbeType = kAllProbeTypes;
  bool BindToAllAvailableLocalIPsType = true;
  uint32_t Timeout = 1000;
  TProbeMathNotify OnProbeMath;
  TProbeMathXMLNotify OnProbeMathXML;
  std::function<void(TONVIFProbe&)> OnCompleted;
  TLogMessageNotify OnLogMessage;
  // When set, cancelling it ends an attempt's answer window at once.
  std::shared_ptr<TCancelSource> Cancel;

  // One attempt, waiting for its end while serving the hand-offs; true when any datagram came.
  bool Execute(const std::string& ALocalIP);
  // One attempt in the background; the notifications, the log texts and
  // OnCompleted run on the thread that serves Queue().
  bool ExecuteAsync();
  // This probe's own queue: its worker's hand-offs and nothing else.
  TMainThreadQueue& Queue() { return *FQueue; }

  size_t Count() const;
  std::vector<TProbeMatch> ProbeMatchArray() const;
  TProbeMatch GetProbeMatch(size_t Index) const;
  std::string GetProbeMatchXML(size_t Index) const;
  // Answers the last attempt dropped beyond its limits.
  size_t DroppedAnswers() const;

 private:
  // Shared with the worker threads, which keep it alive while they may post.
  std::shared_ptr<TMainThreadQueue> FQueue = std::make_shared<TMainThreadQueue>();
  std::unique_ptr<TONVIFProbeThread> FONVIFProbeThread;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

}  // namespace zorvane
