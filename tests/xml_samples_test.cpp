// Every real camera answer loads, and the values the ONVIF client reads are
// where a standards-following reader finds them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "tests/support/checks.h"
#include "xml/xml_document.h"

using namespace zorvane;
using zorvane::testing::UnescapeLine;

namespace {

constexpr TXmlNodeType ntElement = TXmlNodeType::ntElement;

std::string LocalName(const std::string& name) {
  return name.substr(name.find(':') + 1);
}

// Follows a path of the manifest from the document element; the text found,
// or "\0" (backslash, zero) when an element on the way is missing.
std::string Resolve(const TXmlDocument& doc, const std::string& path) {
  const TXmlNode* node = doc.DocumentElement();
  if (!node) return "(no document element)";
  if (path.empty()) return LocalName(node->Name);
  std::stringstream parts(path);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part == "*") {
      const TXmlNode* first = nullptr;
      for (size_t i = 0; i < node->ChildNodes.Count() && !first; ++i) {
        if (node->ChildNodes.Get(i).NodeType == ntElement) first = &node->ChildNodes.Get(i);
      }
      return first ? LocalName(first->Name) : "\\0";
    }
    if (part[0] == '@')
      return node->HasAttribute(part.substr(1)) ? node->GetAttr(part.substr(1)) : "\\0";
    if (part[0] == '#') return std::to_string(node->FindNodes(part.substr(1), {ntElement}).size());
    size_t index = 0;
    if (const size_t bracket = part.find('['); bracket != std::string::npos) {
      index = std::stoul(part.substr(bracket + 1));
      part.resize(bracket);
    }
    const auto found = node->FindNodes(part, {ntElement});
    if (index >= found.size()) return "\\0";
    node = found[index];
  }
  return node->Text;
}

}  // namespace

TEST(XmlSamplesTest, EveryAnswerLoads) {
  const std::filesystem::path dir = ZORVANE_SAMPLES_DIR;
  ASSERT_TRUE(std::filesystem::exists(dir)) << "no camera answers at " << dir;
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".xml" && ext != ".html") continue;
    SCOPED_TRACE(entry.path().filename().string());
    TXmlDocument doc;
    ASSERT_NO_THROW(doc.LoadFromFile(entry.path().string(), 4096));
    EXPECT_GT(doc.ChildNodes().Count(), 0u);
    ++count;
  }
  EXPECT_GT(count, 150u);
}

TEST(XmlSamplesTest, ValuesAreFoundWhereTheClientLooks) {
  const std::string manifest = ZORVANE_SAMPLES_MANIFEST;
  std::ifstream in(manifest);
  ASSERT_TRUE(!manifest.empty() && in) << "no reference readings of the camera answers";
  std::map<std::string, std::unique_ptr<TXmlDocument>> docs;
  size_t checked = 0;
  for (std::string line; std::getline(in, line);) {
    const size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    const std::string file = line.substr(0, tab1);
    const std::string path = line.substr(tab1 + 1, tab2 - tab1 - 1);
    const std::string expected = UnescapeLine(line.substr(tab2 + 1));
    auto& doc = docs[file];
    if (!doc) {
      doc = std::make_unique<TXmlDocument>();
      doc->LoadFromFile(std::string(ZORVANE_SAMPLES_DIR) + "/" + file, 4096);
    }
    if (path == "#load") continue;
    EXPECT_EQ(Resolve(*doc, path), expected) << file << " " << path;
    ++checked;
  }
  EXPECT_GT(checked, 1000u);
}
