// A one-line-per-node text of an XML tree, for tests to compare trees with.
#pragma once

#include <string>

#include "xml/xml_document.h"

namespace zorvane::testing {

// Each node on its own line, two spaces of indent per level:
//   <name a="v" b> text=...   element (b: attribute without value)
//   text:...  cdata:...  comment:...  doctype:...  pi:name attrs text:...  decl:xml attrs
std::string DumpTree(const TXmlDocument& doc);

}  // namespace zorvane::testing
