// Parsing speed of the XML model next to libxml2's xmlReadMemory on the same
// inputs, both measured in this run: a 1 MiB GetProfiles answer (many
// profiles, built from a real camera's answer) and an 8 KiB discovery answer.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "xml/xml_document.h"

namespace {

std::string ReadSample(const char* name) {
  std::ifstream in(std::string(ZORVANE_SAMPLES_DIR) + "/" + name, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("missing sample ") + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Repeats the part of text between the first open and the last close of the
// repeated element until the text reaches size bytes.
std::string Grow(const std::string& text, const std::string& open, const std::string& close,
                 size_t size) {
  const size_t begin = text.find(open);
  const size_t end = text.rfind(close) + close.size();
  if (begin == std::string::npos || end < begin) throw std::runtime_error("cannot grow " + open);
  const std::string item = text.substr(begin, end - begin);
  std::string middle;
  while (text.size() + middle.size() < size) middle += item;
  return text.substr(0, begin) + middle + text.substr(end);
}

const std::string& ProfilesAnswer() {
  static const std::string text = Grow(ReadSample("getprofiles-onvifnvt-hikvision-ds2cd2012i.xml"),
                                       "<trt:Profiles", "</trt:Profiles>", 1u << 20);
  return text;
}

const std::string& DiscoveryAnswer() {
  static const std::string text = Grow(ReadSample("probematches-kotlin-axis-m2025le.xml"),
                                       "<d:ProbeMatch>", "</d:ProbeMatch>", 8u << 10);
  return text;
}

void Ours(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    zorvane::TXmlDocument doc;
    zorvane::TBytesStream stream(text);
    doc.LoadFromStream(stream, 4096);
    benchmark::DoNotOptimize(doc.DocumentElement());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Libxml2(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "a.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    benchmark::DoNotOptimize(doc);
    xmlFreeDoc(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Profiles1MiB_Ours(benchmark::State& s) {
  Ours(s, ProfilesAnswer());
}
void BM_Profiles1MiB_Libxml2(benchmark::State& s) {
  Libxml2(s, ProfilesAnswer());
}
void BM_Discovery8KiB_Ours(benchmark::State& s) {
  Ours(s, DiscoveryAnswer());
}
void BM_Discovery8KiB_Libxml2(benchmark::State& s) {
  Libxml2(s, DiscoveryAnswer());
}

}  // namespace

BENCHMARK(BM_Profiles1MiB_Ours);
BENCHMARK(BM_Profiles1MiB_Libxml2);
BENCHMARK(BM_Discovery8KiB_Ours);
BENCHMARK(BM_Discovery8KiB_Libxml2);
BENCHMARK_MAIN();
