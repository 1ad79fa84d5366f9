// Loads arbitrary bytes as an XML document (with a buffer size and options
// taken from the first bytes), walks the whole tree with the find operations,
// writes it back and loads the written text again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/error.h"
#include "xml/xml_document.h"

using namespace zorvane;

namespace {

constexpr TXmlNodeType ntElement = TXmlNodeType::ntElement;

void Walk(const TXmlDocument& doc) {
  std::vector<const TXmlNode*> pending;
  for (size_t i = 0; i < doc.ChildNodes().Count(); ++i) pending.push_back(&doc.ChildNodes().Get(i));
  while (!pending.empty()) {
    const TXmlNode* node = pending.back();
    pending.pop_back();
    // Look up the first child and the first attribute by name, as the ONVIF client does.
    if (node->HasChildNodes()) {
      const TXmlNode& first = node->ChildNodes.Get(0);
      // The first child element is found by its name without the prefix.
      const std::string local = first.Name.substr(first.Name.find(':') + 1);
      const TXmlNode* found = node->Find(local, {ntElement});
      if (first.NodeType == ntElement && found != &first) __builtin_trap();
      if (node->AttributeList.Count() > 0) {
        const std::string& attr = node->AttributeList[0].Name;
        node->Find(first.Name, attr, {ntElement});
        node->Find(first.Name, attr, node->GetAttr(attr), {ntElement});
      }
      node->FindNodes(first.Name, {});
      first.NextSibling();
      node->LastChild()->PreviousSibling();
    }
    for (size_t i = 0; i < node->ChildNodes.Count(); ++i)
      pending.push_back(&node->ChildNodes.Get(i));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static constexpr size_t kBufferSizes[] = {4096, 128, 129, 200, 1000, 64};
  const size_t bufferSize = kBufferSizes[data[0] % 6];
  const TXmlOptions options = data[1] & (doCompact | doParseProcessingInstr | doPreserveWhiteSpace |
                                         doCaseInsensitive | doWriteBOM);
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
  try {
    TXmlDocument doc;
    doc.Options = options;
    TBytesStream in(text);
    doc.LoadFromStream(in, bufferSize);
    Walk(doc);
    // Indented output grows with the square of the depth; keep big inputs compact.
    if (text.size() > 4096) doc.Options |= doCompact;
    TMemoryStream out;
    doc.SaveToStream(out);
    // A second load into the same document decodes by the declaration just read.
    TBytesStream again(out.Bytes());
    doc.LoadFromStream(again, bufferSize);
    Walk(doc);
    TXmlDocument::Unescape(text);
    TXmlAttributeList attrs;
    doc.ParseAttributes(text.substr(0, 512), attrs);
  } catch (const Error&) {
    // Stream errors are expected results, not findings.
  }
  return 0;
}
