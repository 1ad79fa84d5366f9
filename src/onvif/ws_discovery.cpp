#include "onvif/ws_discovery.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <numeric>

#include "common/error.h"
#include "common/text.h"
#include "onvif/main_thread_queue.h"
#include "onvif/messages.h"
#include "onvif/namespaces.h"
#include "onvif/onvif_requests.h"
#include "platform/network.h"
#include "xml/xml_document.h"

namespace zorvane {

namespace {

constexpr TXmlNodeType ntElement = TXmlNodeType::ntElement;

constexpr char kProbeTemplate[] =
    "<s:Envelope xmlns:s=\"{SOAP12}\" xmlns:a=\"{WSA}\"><s:Header><a:Action "
    "s:mustUnderstand=\"1\">{WSD-PROBE}</a:Action><a:MessageID>[MESSAGE-ID]</"
    "a:MessageID><a:ReplyTo>"
    "<a:Address>{WSA-ANONYMOUS}</a:Address></a:ReplyTo><a:To "
    "s:mustUnderstand=\"1\">{WSD-TARGET}</a:To>"
    "</s:Header><s:Body><Probe xmlns=\"{WSD}\"><d:Types xmlns:d=\"{WSD}\" "
    "xmlns:dp0=\"[TYPE-NAMESPACE]\">[TYPE]</d:Types></Probe></s:Body></s:Envelope>";

struct TProbeKind {
  TProbeType Type;
  const char* MessageId;
  const char* TypeNamespace;
  const char* TypeName;
};

constexpr TProbeKind kProbeKinds[] = {
    {TProbeType::ptNetworkVideoTransmitter, "uuid:683b9488-db0b-44d6-9d40-a735d8483f8a",
     "{ONVIF-NETWORK}", "dp0:NetworkVideoTransmitter"},
    {TProbeType::ptDevice, "uuid:ad3ceb1c-17a4-424c-ab82-1e227f808cf8", "{ONVIF-DEVICE}",
     "dp0:Device"},
    {TProbeType::ptNetworkVideoDisplay, "uuid:37c8b349-37d7-4d0e-be66-134af54b65cb",
     "{ONVIF-NETWORK}", "dp0:NetworkVideoDisplay"},
};

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  for (size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::string BuildProbeMessage(TProbeType type) {
  for (const TProbeKind& k : kProbeKinds) {
    if (k.Type != type) continue;
    std::string text = kProbeTemplate;
    ReplaceAll(text, "[MESSAGE-ID]", k.MessageId);
    ReplaceAll(text, "[TYPE-NAMESPACE]", k.TypeNamespace);
    ReplaceAll(text, "[TYPE]", k.TypeName);
    return ExpandNamespaces(text);
  }
  return {};
}

bool ParseProbeMatch(const std::string& Text, TProbeMatch& Match) {
  Match = TProbeMatch{};
  TXmlDocument doc;
  TBytesStream stream(Text);
  doc.LoadFromStream(stream, 4096);
  TXmlNode* node = doc.DocumentElement();
  for (std::string_view name : {"Body", "ProbeMatches", "ProbeMatch"}) {
    if (!node) return false;
    node = node->Find(name, {ntElement});
  }
  if (!node) return false;
  bool found = false;
  if (const TXmlNode* types = node->Find("Types", {ntElement})) {
    found = true;
    if (types->Text.find("NetworkVideoTransmitter") != std::string::npos) {
      Match.Types.Include(TProbeType::ptNetworkVideoTransmitter);
    }
    if (types->Text.find("Device") != std::string::npos) Match.Types.Include(TProbeType::ptDevice);
    if (types->Text.find("NetworkVideoDisplay") != std::string::npos) {
      Match.Types.Include(TProbeType::ptNetworkVideoDisplay);
    }
  }
  if (const TXmlNode* scopes = node->Find("Scopes", {ntElement})) {
    found = true;
    std::string rest = TrimControl(scopes->Text);
    while (!rest.empty()) {
      const size_t space = rest.find(' ');
      if (space == std::string::npos) {
        Match.Scopes.push_back(rest);
        break;
      }
      Match.Scopes.push_back(rest.substr(0, space));
      rest.erase(0, space + 1);
    }
    Match.XML = Text;
  }
  if (const TXmlNode* xaddrs = node->Find("XAddrs", {ntElement})) {
    found = true;
    // Cameras separate addresses by any XML blanks, line breaks included.
    std::vector<std::string> addresses;
    const std::string& text = xaddrs->Text;
    for (size_t i = text.find_first_not_of(" \t\r\n"); i != std::string::npos;) {
      const size_t end = text.find_first_of(" \t\r\n", i);
      addresses.push_back(text.substr(i, end == std::string::npos ? std::string::npos : end - i));
      i = end == std::string::npos ? end : text.find_first_not_of(" \t\r\n", end);
    }
    for (size_t k = 0; k < addresses.size(); ++k) {
      if (k == 0) {
        Match.XAddrs = addresses[0];
      } else {
        Match.XAddrsV6 += (k > 1 ? " " : "") + addresses[k];
      }
    }
  }
  if (const TXmlNode* version = node->Find("MetadataVersion", {ntElement})) {
    found = true;
    Match.MetadataVersion = XmlToInt(version->Text);
  }
  return found;
}

bool GetLocalIP(std::string& Address) {
  std::string name;
  if (const TNetError e = HostName(name)) ThrowNetError(msg::kCannotReadHostName, e);
  const std::vector<THostAddress> found = LookupHost(name, TAddressFamily::IPv4);
  if (found.empty()) return false;
  Address = found.front().Text;
  return true;
}

std::vector<std::string> LocalIPv4Addresses() {
  std::vector<std::string> addresses;
  if (const TNetError e = ListLocalIPv4Addresses(addresses))
    ThrowNetError(msg::kCannotListInterfaces, e);
  return addresses;
}

std::vector<TProbeMatch> UniqueProbeMatch(const std::vector<TProbeMatch>& Matches) {
  // order the matches by XAddrs; among equal ones the first seen comes first
  std::vector<size_t> order(Matches.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return Matches[a].XAddrs < Matches[b].XAddrs; });
  // keep the first of each run of equal XAddrs, in the order they were seen
  std::vector<size_t> first;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i == 0 || Matches[order[i]].XAddrs != Matches[order[i - 1]].XAddrs)
      first.push_back(order[i]);
  }
  std::sort(first.begin(), first.end());
  std::vector<TProbeMatch> unique;
  unique.reserve(first.size());
  for (size_t i : first) unique.push_back(Matches[i]);
  std::stable_sort(unique.begin(), unique.end(), [](const TProbeMatch& a, const TProbeMatch& b) {
    return LessIgnoringCase(a.XAddrs, b.XAddrs);
  });
  return unique;
}

// ---- the worker -----------------------------------------------------------------

TONVIFProbeThread::TONVIFProbeThread(TProbeMathNotify ProbeMathNotify,
                                     TProbeMathXMLNotify ProbeMathXMLNotify,
                                     TProbeTypeSet ProbeTypeSet, bool BindToAllAvailableLocalIPs,
                                     uint32_t Timeout, std::string ALocalIP,
                                     std::shared_ptr<TMainThreadQueue> Queue,
                                     TLogMessageNotify LogMessage, std::function<void()> OnEnd,
                                     std::shared_ptr<TCancelSource> Cancel)
    : FOnEnd(std::move(OnEnd)),
      FCancel(std::move(Cancel)),
      FProbeMathNotify(std::move(ProbeMathNotify)),
      FProbeMathXMLNotify(std::move(ProbeMathXMLNotify)),
      FProbeTypeSet(ProbeTypeSet),
      FBindToAll(BindToAllAvailableLocalIPs),
      FTimeout(Timeout),
      FLocalIP(std::move(ALocalIP)),
      FQueue(std::move(Queue)),
      FLogMessage(std::move(LogMessage)),
      FThread(&TONVIFProbeThread::Execute, this) {}

TONVIFProbeThread::~TONVIFProbeThread() {
  WaitFor();
}

void TONVIFProbeThread::WaitFor() {
  // The receiver may wait for this (owning) thread to take a datagram: serve while waiting.
  while (!FFinished) FQueue->Serve(std::chrono::milliseconds(20));
  if (FThread.joinable()) FThread.join();
}

void TONVIFProbeThread::Log(const std::string& text) {
  // The listener goes along by value: the work needs nothing else of this probe.
  if (FLogMessage) FQueue->Post([listener = FLogMessage, text] { listener(text); });
}

void TONVIFProbeThread::Execute() {
  if (FProbeTypeSet.Empty()) {
    if (FOnEnd) FOnEnd();
    FFinished = true;
    return;
  }
  TUdpSocket socket;
  std::thread receiver;
  try {
    std::string local = FLocalIP;
    bool haveAddress = true;
    if (local.empty()) haveAddress = FBindToAll ? (local = "0.0.0.0", true) : GetLocalIP(local);
    if (haveAddress) {
      if (!IsIPv4Address(local)) throw Error(msg::NotIPv4Address(local));
      if (const TNetError e = socket.Open()) ThrowNetError(msg::kCannotOpenUdpSocket, e);
      if (const TNetError e = socket.Bind(local, 0)) ThrowNetError(msg::CannotBindTo(local), e);
      // Binding does not choose the interface of a multicast datagram; this does.
      if (!FLocalIP.empty()) {
        if (const TNetError e = socket.SetMulticastInterface(local))
          ThrowNetError(msg::CannotSendMulticastThrough(local), e);
      }
      receiver = std::thread(&TONVIFProbeThread::Receive, this, std::ref(socket));
      for (const TProbeKind& k : kProbeKinds) {
        if (!FProbeTypeSet.Contains(k.Type)) continue;
        if (const TNetError e =
                socket.SendTo(BuildProbeMessage(k.Type), kDiscoveryAddress, kDiscoveryPort))
          ThrowNetError(msg::kCannotSendProbe, e);
      }
      // Every answer within the window counts, not only the first.
      if (FCancel) {
        FCancel->Sleep(std::chrono::milliseconds(FTimeout));
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(FTimeout));
      }
      Log(msg::kProbeThread + std::to_string(FAnswered ? 0 : 1));
    }
  } catch (const std::exception& e) {
    Log(msg::kProbeThreadError + std::string(e.what()));
  }
  FStopReceiving = true;
  if (receiver.joinable()) receiver.join();
  socket.Close();
  if (FDropped > 0) {
    Log(msg::kProbeThread + std::to_string(FDropped) + " answers dropped (more than " +
        std::to_string(kMaxProbeMatches) + " cameras or " + std::to_string(kMaxProbeAnswers) +
        " answers)");
  }
  if (FOnEnd) FOnEnd();
  FFinished = true;
}

void TONVIFProbeThread::Receive(TUdpSocket& socket) {
  std::string buffer(kMaxDatagramBytes, '\0');
  while (!FStopReceiving) {
    if (!socket.WaitReadable(20)) continue;
    // Longer datagrams are dropped.
    const std::optional<TDatagram> datagram = socket.ReceiveFrom(buffer.data(), buffer.size());
    if (!datagram || datagram->Length == 0 || datagram->Truncated) continue;
    FAnswered = true;
    // Once the probe has all the answers it keeps, the rest cost nothing more.
    if (FKept >= kMaxProbeAnswers) {
      ++FDropped;
      continue;
    }
    const std::string bytes = buffer.substr(0, datagram->Length);
    FQueue->Send([this, bytes] { UDPServerUDPRead(bytes); });
  }
}

void TONVIFProbeThread::UDPServerUDPRead(const std::string& bytes) {
  std::string text = bytes;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) > 127) c = '?';
  }
  TProbeMatch match;
  bool readable = false;
  try {
    readable = ParseProbeMatch(text, match);
  } catch (const std::exception&) {
    // kept as a text that is no match
  }
  const bool newCamera = readable && FXAddrs.count(match.XAddrs) == 0;
  if (FProbeMatchXML.size() >= kMaxProbeAnswers ||
      (newCamera && FXAddrs.size() >= kMaxProbeMatches)) {
    ++FDropped;
    return;
  }
  Log(msg::kProbeAnswerRead);
  FProbeMatchXML.push_back(text);
  FKept = FProbeMatchXML.size();
  if (FProbeMathXMLNotify) FProbeMathXMLNotify(text);
  if (readable) {
    if (newCamera) FXAddrs.insert(match.XAddrs);
    FProbeMatch.push_back(std::move(match));
    if (FProbeMathNotify) FProbeMathNotify(FProbeMatch.back());
  }
}

// ---- the component ------------------------------------------------------------------

TONVIFProbe::TONVIFProbe() = default;

TONVIFProbe::~TONVIFProbe() {
  // The worker ends first; what it left in the queue is dropped with the queue.
  FONVIFProbeThread.reset();
}

bool TONVIFProbe::Execute(const std::string& ALocalIP) {
  FONVIFProbeThread.reset();
  FONVIFProbeThread = std::make_unique<TONVIFProbeThread>(nullptr, nullptr, ProbeType,
                                                          BindToAllAvailableLocalIPsType, Timeout,
                                                          ALocalIP, FQueue, OnLogMessage,
                                                          nullptr, Cancel);
  FONVIFProbeThread->WaitFor();
  // Deliver what the worker posted last.
  FQueue->Serve(std::chrono::milliseconds(0));
  return !FONVIFProbeThread->ProbeMatchXML().empty();
}

bool TONVIFProbe::ExecuteAsync() {
  FONVIFProbeThread.reset();
  // Reported on the serving thread once the worker has ended, if this probe still exists.
  std::weak_ptr<bool> alive = FAlive;
  std::weak_ptr<TMainThreadQueue> queue = FQueue;
  auto onEnd = [this, alive, queue] {
    if (const auto q = queue.lock()) {
      q->Post([this, alive] {
        if (alive.lock() && OnCompleted) OnCompleted(*this);
      });
    }
  };
  FONVIFProbeThread = std::make_unique<TONVIFProbeThread>(OnProbeMath, OnProbeMathXML, ProbeType,
                                                          BindToAllAvailableLocalIPsType, Timeout,
                                                          "", FQueue, OnLogMessage, onEnd);
  return true;
}

size_t TONVIFProbe::DroppedAnswers() const {
  return FONVIFProbeThread ? FONVIFProbeThread->DroppedAnswers() : 0;
}

size_t TONVIFProbe::Count() const {
  return FONVIFProbeThread ? FONVIFProbeThread->ProbeMatch().size() : 0;
}

std::vector<TProbeMatch> TONVIFProbe::ProbeMatchArray() const {
  return FONVIFProbeThread ? FONVIFProbeThread->ProbeMatch() : std::vector<TProbeMatch>{};
}

TProbeMatch TONVIFProbe::GetProbeMatch(size_t Index) const {
  if (!FONVIFProbeThread || Index >= FONVIFProbeThread->ProbeMatch().size()) return {};
  return FONVIFProbeThread->ProbeMatch()[Index];
}

std::string TONVIFProbe::GetProbeMatchXML(size_t Index) const {
  if (!FONVIFProbeThread || Index >= FONVIFProbeThread->ProbeMatchXML().size()) return {};
  return FONVIFProbeThread->ProbeMatchXML()[Index];
}

}  // namespace zorvane
