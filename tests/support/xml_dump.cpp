#include "tests/support/xml_dump.h"

#include <vector>

namespace zorvane::testing {

namespace {

std::string Attributes(const TXmlNode& node) {
  std::string text;
  for (size_t i = 0; i < node.AttributeList.Count(); ++i) {
    const TXmlAttribute& a = node.AttributeList[i];
    text += " " + a.Name;
    if (a.AttributeType == TXmlAttributeType::atValue) text += "=\"" + a.Value() + "\"";
  }
  return text;
}

std::string Line(const TXmlNode& node) {
  switch (node.NodeType) {
    case TXmlNodeType::ntText:
      return "text:" + node.Text;
    case TXmlNodeType::ntCData:
      return "cdata:" + node.Text;
    case TXmlNodeType::ntComment:
      return "comment:" + node.Text;
    case TXmlNodeType::ntDocType:
      return "doctype:" + node.Text;
    case TXmlNodeType::ntProcessingInstr:
      return "pi:" + node.Name + Attributes(node) + " text:" + node.Text;
    case TXmlNodeType::ntXmlDecl:
      return "decl:" + node.Name + Attributes(node);
    default:
      return "<" + node.Name + Attributes(node) + ">" +
             (node.Text.empty() ? "" : " text=" + node.Text);
  }
}

}  // namespace

std::string DumpTree(const TXmlDocument& doc) {
  std::string out;
  // Preorder walk with an explicit stack: trees in tests may be deep.
  std::vector<std::pair<const TXmlNode*, size_t>> stack;
  const TXmlNodeList& top = doc.ChildNodes();
  for (size_t i = top.Count(); i-- > 0;) stack.push_back({&top.Get(i), 0});
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    if (!out.empty()) out += "\n";
    out += std::string(depth * 2, ' ') + Line(*node);
    for (size_t i = node->ChildNodes.Count(); i-- > 0;) {
      stack.push_back({&node->ChildNodes.Get(i), depth + 1});
    }
  }
  return out;
}

}  // namespace zorvane::testing
