#include "xml/xml_document.h"

#include <algorithm>
#include <cstring>

#include "common/error.h"
#include "xml/messages.h"
#include "xml/text_codec.h"
#include "xml/xml_reader.h"

namespace zorvane {

namespace {

constexpr TXmlNodeType ntElement = TXmlNodeType::ntElement;

bool IsBlank(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

bool HasNonBlank(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return !IsBlank(c); });
}

// Removes leading characters with codes 0 to 32.
void TrimLeft(std::string_view& text) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
  text.remove_prefix(i);
}

// CutToDelimiter over a view: the part before the first delimiter, cut off text.
std::string_view Cut(std::string_view& text, std::string_view delimiters, bool drop) {
  const size_t pos = text.find_first_of(delimiters);
  if (pos == std::string_view::npos) {
    const std::string_view all = text;
    text = {};
    return all;
  }
  const std::string_view part = text.substr(0, pos);
  text.remove_prefix(pos + (drop ? 1 : 0));
  return part;
}

std::string_view WithoutPrefix(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool ListNameMatches(const TXmlDocument* doc, std::string_view stored, std::string_view searched) {
  return doc ? doc->NameMatches(stored, searched) : stored == searched;
}

// Replaces the five predefined entities in one pass, which does what
// replacing &lt; &gt; &quot; &apos; and then &amp; does: no replacement but the
// last makes an "&", and the last comes after the others. The text only
// shrinks, so it is rewritten where it stands.
void UnescapeInPlace(std::string& text) {
  static constexpr struct {
    std::string_view entity;
    char c;
  } kEntities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
  size_t amp = text.find('&');
  if (amp == std::string::npos) return;
  const std::string_view in(text);
  size_t out = 0;   // where the next kept character goes
  size_t done = 0;  // the first character of in not yet kept
  while (amp != std::string::npos) {
    // keep the part before the "&"
    std::memmove(text.data() + out, in.data() + done, amp - done);
    out += amp - done;
    done = amp + 1;
    char c = '&';
    for (const auto& e : kEntities) {
      if (in.substr(amp, e.entity.size()) == e.entity) {
        c = e.c;
        done = amp + e.entity.size();
        break;
      }
    }
    text[out++] = c;
    amp = in.find('&', done);
  }
  std::memmove(text.data() + out, in.data() + done, in.size() - done);
  text.resize(out + in.size() - done);
}

// Reads the attributes of a tag (name="value", name='value' or a bare name)
// into list. added counts them; more than limit (0: no limit) is an error.
void ReadAttributes(std::string_view text, TXmlAttributeList& list, size_t& added, size_t limit) {
  std::string_view V = text;
  TrimLeft(V);
  while (!V.empty()) {
    if (limit && added >= limit) throw TXmlLimitError(msg::kXmlAttributes, limit);
    ++added;
    // name, up to a blank or "="
    TXmlAttribute& attribute = list.Add(std::string(Cut(V, " =", false)));
    TrimLeft(V);
    if (V.empty() || V[0] != '=') continue;
    V.remove_prefix(1);
    attribute.SetValue(std::string());
    // skip to the opening quote
    Cut(V, "'\"", false);
    TrimLeft(V);
    if (V.empty()) continue;
    const char quote[] = {V[0], '\0'};
    V.remove_prefix(1);
    std::string value(Cut(V, quote, true));
    UnescapeInPlace(value);
    attribute.SetValue(std::move(value));
    TrimLeft(V);
  }
}

[[noreturn]] void ThrowIndexError(size_t index) {
  throw Error(msg::ListIndexOutOfBounds(index));
}

}  // namespace

// ---- attributes ---------------------------------------------------------------

std::string TXmlAttribute::Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string TXmlAttribute::AsString() const {
  if (AttributeType == TXmlAttributeType::atSingle) return Name;
  return Name + "=\"" + Escape(FValue) + "\"";
}

TXmlAttribute& TXmlAttributeList::Add(std::string name) {
  FItems.push_back(std::make_unique<TXmlAttribute>(std::move(name)));
  return *FItems.back();
}

TXmlAttribute* TXmlAttributeList::Find(std::string_view name) const {
  for (const auto& a : FItems) {
    if (ListNameMatches(Document, a->Name, name)) return a.get();
  }
  return nullptr;
}

void TXmlAttributeList::Delete(std::string_view name) {
  const auto it = std::find_if(FItems.begin(), FItems.end(), [&](const auto& a) {
    return ListNameMatches(Document, a->Name, name);
  });
  if (it != FItems.end()) FItems.erase(it);
}

std::string TXmlAttributeList::AsString() const {
  std::string text;
  for (const auto& a : FItems) text += " " + a->AsString();
  return text;
}

// ---- node lists ---------------------------------------------------------------

size_t TXmlNodeList::Add(std::unique_ptr<TXmlNode> node) {
  node->Parent = Parent;
  FItems.push_back(std::move(node));
  return FItems.size() - 1;
}

TXmlNode& TXmlNodeList::Add(TXmlNodeType type) {
  return Add(std::string(), type);
}

TXmlNode& TXmlNodeList::Add(std::string name, TXmlNodeType type) {
  auto node = std::make_unique<TXmlNode>(type);
  node->Name = std::move(name);
  node->SetDocument(Document);
  TXmlNode& ref = *node;
  Add(std::move(node));
  return ref;
}

TXmlNode& TXmlNodeList::Insert(std::string name, size_t position, TXmlNodeType type) {
  if (position > FItems.size()) ThrowIndexError(position);
  auto node = std::make_unique<TXmlNode>(type);
  node->Name = std::move(name);
  node->SetDocument(Document);
  node->Parent = Parent;
  TXmlNode& ref = *node;
  FItems.insert(FItems.begin() + static_cast<long>(position), std::move(node));
  return ref;
}

TXmlNode* TXmlNodeList::Find(std::string_view name, TXmlNodeTypes types) const {
  for (const auto& n : FItems) {
    if (types.Passes(n->NodeType) && ListNameMatches(Document, n->Name, name)) return n.get();
  }
  return nullptr;
}

TXmlNode* TXmlNodeList::Find(std::string_view name, std::string_view attrName,
                             TXmlNodeTypes types) const {
  for (const auto& n : FItems) {
    if (types.Passes(n->NodeType) && ListNameMatches(Document, n->Name, name) &&
        n->HasAttribute(attrName)) {
      return n.get();
    }
  }
  return nullptr;
}

TXmlNode* TXmlNodeList::Find(std::string_view name, std::string_view attrName,
                             std::string_view attrValue, TXmlNodeTypes types) const {
  for (const auto& n : FItems) {
    if (!types.Passes(n->NodeType) || !ListNameMatches(Document, n->Name, name)) continue;
    const TXmlAttribute* a = n->AttributeList.Find(attrName);
    if (a && ListNameMatches(Document, a->Value(), attrValue)) return n.get();
  }
  return nullptr;
}

std::vector<TXmlNode*> TXmlNodeList::FindNodes(std::string_view name, TXmlNodeTypes types) const {
  std::vector<TXmlNode*> found;
  for (const auto& n : FItems) {
    if (types.Passes(n->NodeType) && ListNameMatches(Document, n->Name, name)) {
      found.push_back(n.get());
    }
  }
  return found;
}

TXmlNode& TXmlNodeList::Get(size_t index) const {
  if (index >= FItems.size()) ThrowIndexError(index);
  return *FItems[index];
}

long TXmlNodeList::IndexOf(const TXmlNode* node) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].get() == node) return static_cast<long>(i);
  }
  return -1;
}

TXmlNode* TXmlNodeList::NextSibling(const TXmlNode* node) const {
  if (!node) return FItems.empty() ? nullptr : FItems.front().get();
  const long i = IndexOf(node);
  if (i < 0 || static_cast<size_t>(i) + 1 >= FItems.size()) return nullptr;
  return FItems[static_cast<size_t>(i) + 1].get();
}

TXmlNode* TXmlNodeList::PreviousSibling(const TXmlNode* node) const {
  const long i = IndexOf(node);
  if (i <= 0) return nullptr;
  return FItems[static_cast<size_t>(i) - 1].get();
}

void TXmlNodeList::Remove(TXmlNode* node) {
  const long i = IndexOf(node);
  if (i >= 0) FItems.erase(FItems.begin() + i);
}

void TXmlNodeList::Clear() {
  FItems.clear();
}

// ---- nodes --------------------------------------------------------------------

TXmlNode::TXmlNode(TXmlNodeType type) : NodeType(type) {
  ChildNodes.Parent = this;
}

TXmlNode::~TXmlNode() {
  // Free the subtree from a work list: a deep tree must not recurse.
  std::vector<std::unique_ptr<TXmlNode>> pending;
  pending.swap(ChildNodes.FItems);
  while (!pending.empty()) {
    std::unique_ptr<TXmlNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->ChildNodes.FItems) pending.push_back(std::move(child));
    node->ChildNodes.FItems.clear();
  }
}

void TXmlNode::SetDocument(TXmlDocument* document) {
  FDocument = document;
  AttributeList.Document = document;
  ChildNodes.Document = document;
}

std::string TXmlNode::GetAttr(std::string_view name) const {
  const TXmlAttribute* a = AttributeList.Find(name);
  return a ? a->Value() : std::string();
}

TXmlNode& TXmlNode::SetAttribute(std::string_view name, std::string value) {
  TXmlAttribute* a = AttributeList.Find(name);
  if (!a) a = &AttributeList.Add(std::string(name));
  a->Name = std::string(name);
  a->SetValue(std::move(value));
  return *this;
}

TXmlNode* TXmlNode::NextSibling() const {
  return Parent && Parent != this ? Parent->ChildNodes.NextSibling(this) : nullptr;
}

TXmlNode* TXmlNode::PreviousSibling() const {
  return Parent && Parent != this ? Parent->ChildNodes.PreviousSibling(this) : nullptr;
}

// ---- the parser ---------------------------------------------------------------

class TXmlDocument::TParser {
 public:
  TParser(TXmlDocument& doc, TXmlStreamReader& reader)
      : FDoc(doc), FReader(reader), P(doc.FRoot.get()) {}

  void ReadDocument() {
    while (!FReader.EndOfData()) {
      std::string T = FReader.ReadText("<", etoDeleteStopChar);
      if (!T.empty()) {
        AddTextNode(std::move(T));
        if (FReader.EndOfData()) break;
      }
      const char C = FReader.FirstChar();
      if (C == '!') {
        if (FReader.IsUppercaseText("!--")) {
          ReadComment();
        } else if (FReader.IsUppercaseText("!DOCTYPE")) {
          ReadDocType();
        } else if (FReader.IsUppercaseText("![CDATA[")) {
          ReadCData();
        } else {
          ReadTag(false);
        }
      } else if (C == '?') {
        ReadInstruction();
      } else if (C != '\0') {
        TXmlNode* N = ReadTag(true);
        // The first top-level element becomes the document element once it is
        // complete; the invisible root never does.
        if (!FDoc.FDocumentElement && P == FDoc.FRoot.get() && N != FDoc.FRoot.get() &&
            N->NodeType == ntElement) {
          FDoc.FDocumentElement = N;
        }
      }
    }
  }

 private:
  bool KeepText(std::string_view T) const {
    return (FDoc.Options & doPreserveWhiteSpace) || HasNonBlank(T);
  }

  // A new child of the current parent, within the document's node limit.
  TXmlNode& AddNode(TXmlNodeType type, std::string name = {}) {
    if (FDoc.MaxNodes && FNodes >= FDoc.MaxNodes)
      throw TXmlLimitError(msg::kXmlNodes, FDoc.MaxNodes);
    ++FNodes;
    return P->ChildNodes.Add(std::move(name), type);
  }

  void AddTextNode(std::string&& T) {
    if (KeepText(T)) AddNode(TXmlNodeType::ntText).Text = std::move(T);
  }

  TXmlNode* ReadTag(bool withText) {
    TXmlNode* N = OpenOrCloseTag(FReader.ReadText(">", etoDeleteStopChar));
    if (withText && P == N) {
      std::string T = FReader.ReadText("<", 0);
      UnescapeInPlace(T);
      if (KeepText(T)) N->Text = std::move(T);
    }
    return N;
  }

  TXmlNode* OpenOrCloseTag(std::string&& S) {
    if (!S.empty() && S[0] == '/') {
      TXmlNode* closed = P;
      P = P->Parent;
      return closed;
    }
    TXmlNode& N = AddNode(ntElement);
    if (!S.empty() && S.back() == '/') {
      S.pop_back();
    } else {
      P = &N;
    }
    const size_t space = S.find(' ');
    if (space == std::string::npos) {
      N.Name = std::move(S);
    } else {
      N.Name = S.substr(0, space);
      const std::string_view rest = std::string_view(S).substr(space + 1);
      if (!rest.empty()) ReadAttributes(rest, N.AttributeList, FAttributes, FDoc.MaxAttributes);
    }
    return &N;
  }

  void ReadComment() {
    AddNode(TXmlNodeType::ntComment).Text =
        FReader.ReadText("-->", etoDeleteStopChar | etoStopString);
  }

  void ReadCData() {
    AddNode(TXmlNodeType::ntCData).Text =
        FReader.ReadText("]]>", etoDeleteStopChar | etoStopString);
  }

  void ReadDocType() {
    TXmlNode& N = AddNode(TXmlNodeType::ntDocType);
    N.Text = FReader.ReadText(">[", 0);
    if (FReader.EndOfData()) return;
    const char stop = FReader.FirstChar();
    FReader.IncCharPos(1);
    if (stop == '[') {
      // Read in this order: the subset, then the rest up to ">".
      const std::string subset = FReader.ReadText("]", etoDeleteStopChar);
      const std::string rest = FReader.ReadText(">", etoDeleteStopChar);
      N.Text += "[" + subset + "]" + rest;
    }
  }

  void ReadInstruction() {
    FReader.IncCharPos(1);
    const std::string S = FReader.ReadText("?>", etoDeleteStopChar | etoStopString);
    TXmlNode* const parent = P;
    // An instruction is never an end tag: "<?/x?>" is an instruction named "/x".
    TXmlNode* N = nullptr;
    if (!S.empty() && S[0] == '/') {
      N = &AddNode(ntElement, S.substr(0, S.find(' ')));
    } else {
      N = OpenOrCloseTag(std::string(S));
    }
    std::string lower = N->Name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "xml") {
      N->NodeType = TXmlNodeType::ntXmlDecl;
      FDoc.FHeader = N;
    } else {
      N->NodeType = TXmlNodeType::ntProcessingInstr;
      if (!(FDoc.Options & doParseProcessingInstr)) {
        N->Text = S;
        N->AttributeList.Clear();
      }
    }
    P = parent;
  }

  TXmlDocument& FDoc;
  TXmlStreamReader& FReader;
  TXmlNode* P;        // the current parent
  size_t FNodes = 0;  // made so far, for the limits
  size_t FAttributes = 0;
};

// ---- the writer ---------------------------------------------------------------

class TXmlDocument::TWriter {
 public:
  TWriter(TXmlDocument& doc, TStream& stream, bool ansi)
      : FDoc(doc), FStream(stream), FAnsi(ansi) {}

  void WriteDocument() {
    if (FDoc.Options & doCompact) FDoc.LineBreak.clear();
    FDoc.SkipIndent = false;
    for (const auto& node : FDoc.FRoot->ChildNodes.FItems) WriteNode(*node);
    Flush();
  }

 private:
  struct Frame {
    const TXmlNode* node;
    size_t depth;
    size_t next;  // index of the next child to write
  };

  void WriteNode(const TXmlNode& top) {
    std::vector<Frame> stack;
    Open(top, 0, stack);
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next < f.node->ChildNodes.Count()) {
        const TXmlNode& child = *f.node->ChildNodes.FItems[f.next++];
        const size_t depth = f.depth + 1;
        Open(child, depth, stack);  // may grow the stack: f is not used after this
      } else {
        if (f.node->HasChildNodes() && !FDoc.SkipIndent) {
          Put(FDoc.LineBreak);
          Indent(f.depth);
        }
        Put("</");
        Put(f.node->Name);
        Put(">");
        stack.pop_back();
      }
    }
  }

  // Writes a node's opening (or all of it); pushes a frame when children or an end tag follow.
  void Open(const TXmlNode& node, size_t depth, std::vector<Frame>& stack) {
    const bool first = !FDoc.FRoot->ChildNodes.FItems.empty() &&
                       FDoc.FRoot->ChildNodes.FItems.front().get() == &node;
    const bool plainPrefix = first || FDoc.SkipIndent;
    FDoc.SkipIndent = false;
    auto prefix = [&] {
      if (!plainPrefix) {
        Put(FDoc.LineBreak);
        Indent(depth);
      }
      Put("<");
    };
    switch (node.NodeType) {
      case TXmlNodeType::ntText:
        Put(node.Text);
        FDoc.SkipIndent = true;
        return;
      case TXmlNodeType::ntCData:
        Put("<![CDATA[");
        Put(node.Text);
        Put("]]>");
        return;
      case TXmlNodeType::ntComment:
        prefix();
        Put("!--");
        Put(node.Text);
        Put("-->");
        return;
      case TXmlNodeType::ntDocType:
        prefix();
        Put("!DOCTYPE ");
        Put(node.Text);
        Put(">");
        return;
      case TXmlNodeType::ntProcessingInstr:
        prefix();
        Put("?");
        if (node.AttributeList.Count() == 0) {
          Put(node.Text);
        } else {
          Put(node.Name);
          Put(node.AttributeList.AsString());
        }
        Put("?>");
        return;
      case TXmlNodeType::ntXmlDecl:
        prefix();
        Put("?");
        Put(node.Name);
        Put(node.AttributeList.AsString());
        Put("?>");
        return;
      default:
        break;
    }
    prefix();
    Put(node.Name);
    Put(node.AttributeList.AsString());
    if (node.Text.empty() && !node.HasChildNodes()) {
      Put("/>");
      return;
    }
    Put(">");
    Put(Escape(node.Text));
    if (!node.Text.empty() && node.HasChildNodes()) FDoc.SkipIndent = true;
    stack.push_back({&node, depth, 0});
  }

  void Indent(size_t depth) {
    if (FDoc.Options & doCompact) return;
    for (size_t i = 0; i < depth; ++i) Put(FDoc.NodeIndentStr);
  }

  void Put(std::string_view text) {
    FBuffer.append(text);
    if (FBuffer.size() >= kFlushSize) Flush();
  }

  void Flush() {
    if (FBuffer.empty()) return;
    if (FAnsi) {
      const std::string bytes = EncodeAnsi(FBuffer);
      FStream.Write(bytes.data(), bytes.size());
    } else {
      FStream.Write(FBuffer.data(), FBuffer.size());
    }
    FBuffer.clear();
  }

  static constexpr size_t kFlushSize = 64 * 1024;
  TXmlDocument& FDoc;
  TStream& FStream;
  bool FAnsi;
  std::string FBuffer;
};

// ---- the document -------------------------------------------------------------

TXmlDocument::TXmlDocument() : FRoot(std::make_unique<TXmlNode>(TXmlNodeType::ntDocument)) {
  FRoot->Parent = FRoot.get();
  FRoot->SetDocument(this);
  EnsureHeader();
}

TXmlDocument::~TXmlDocument() = default;

void TXmlDocument::Clear() {
  FDocumentElement = nullptr;
  FHeader = nullptr;
  FRoot->Text.clear();
  FRoot->AttributeList.Clear();
  FRoot->ChildNodes.Clear();
}

TXmlNode* TXmlDocument::EnsureHeader() {
  if (!FHeader) {
    TXmlNode& header = FRoot->ChildNodes.Insert("xml", 0, TXmlNodeType::ntXmlDecl);
    header.SetAttribute("version", "1.0");
    header.SetAttribute("encoding", "utf-8");
    FHeader = &header;
  }
  return FHeader;
}

std::string TXmlDocument::Encoding() const {
  return FHeader ? FHeader->GetAttr("encoding") : "";
}
std::string TXmlDocument::Version() const {
  return FHeader ? FHeader->GetAttr("version") : "";
}
std::string TXmlDocument::StandAlone() const {
  return FHeader ? FHeader->GetAttr("standalone") : "";
}
void TXmlDocument::SetEncoding(std::string value) {
  EnsureHeader()->SetAttribute("encoding", std::move(value));
}
void TXmlDocument::SetVersion(std::string value) {
  EnsureHeader()->SetAttribute("version", std::move(value));
}
void TXmlDocument::SetStandAlone(std::string value) {
  EnsureHeader()->SetAttribute("standalone", std::move(value));
}

void TXmlDocument::SetDocumentElement(TXmlNode* node) {
  FDocumentElement = node;
}

TXmlNode& TXmlDocument::SetDocumentElement(std::unique_ptr<TXmlNode> node) {
  TXmlNode& ref = *node;
  FRoot->ChildNodes.Add(std::move(node));
  FDocumentElement = &ref;
  return ref;
}

TXmlDocument& TXmlDocument::LoadFromStream(TStream& stream, size_t bufferSize) {
  // The encoding of the declaration read last decides how the text is decoded.
  const std::string encoding = Encoding();
  TTextEncoding decoder = TTextEncoding::Ansi;
  bool detectBOM = false;
  if (encoding.empty()) {
    decoder = TTextEncoding::Utf8;
    detectBOM = true;
  } else if (SameTextIgnoreCase(encoding, "utf-8")) {
    decoder = TTextEncoding::Utf8;
  }
  TXmlStreamReader reader(stream, decoder, detectBOM, bufferSize);
  Clear();
  try {
    TParser(*this, reader).ReadDocument();
  } catch (...) {
    // Half a document is none: free it at once.
    Clear();
    throw;
  }
  return *this;
}

TXmlDocument& TXmlDocument::LoadFromFile(const std::string& fileName, size_t bufferSize) {
  TFileStream stream(fileName, TFileStream::TMode::Read);
  return LoadFromStream(stream, bufferSize);
}

TXmlDocument& TXmlDocument::SaveToStream(TStream& stream) {
  const bool utf8 = SameTextIgnoreCase(Encoding(), "utf-8");
  if (utf8 && (Options & doWriteBOM) && stream.Position() == 0) stream.Write("\xEF\xBB\xBF", 3);
  TWriter(*this, stream, !utf8).WriteDocument();
  return *this;
}

TXmlDocument& TXmlDocument::SaveToFile(const std::string& fileName) {
  TFileStream stream(fileName, TFileStream::TMode::Create);
  return SaveToStream(stream);
}

std::string TXmlDocument::Xml() {
  const TXmlOptions saved = Options;
  Options &= ~doWriteBOM;
  TMemoryStream stream;
  try {
    SaveToStream(stream);
  } catch (...) {
    Options = saved;
    throw;
  }
  Options = saved;
  return stream.Bytes();
}

void TXmlDocument::SetXml(std::string_view text) {
  TBytesStream stream(text);
  LoadFromStream(stream, 4096);
}

TXmlNode& TXmlDocument::AddChild(std::string name, TXmlNodeType type) {
  TXmlNode& node = FRoot->ChildNodes.Add(std::move(name), type);
  if (type == ntElement && !FDocumentElement) FDocumentElement = &node;
  return node;
}

std::unique_ptr<TXmlNode> TXmlDocument::CreateNode(std::string name, TXmlNodeType type) {
  auto node = std::make_unique<TXmlNode>(type);
  node->Name = std::move(name);
  node->SetDocument(this);
  return node;
}

std::string TXmlDocument::Escape(std::string_view text) {
  std::string out = TXmlAttribute::Escape(text);
  if (out.find('\'') == std::string::npos) return out;
  std::string withApos;
  withApos.reserve(out.size() + 16);
  for (char c : out) {
    if (c == '\'') {
      withApos += "&apos;";
    } else {
      withApos += c;
    }
  }
  return withApos;
}

std::string TXmlDocument::Unescape(std::string_view text) {
  std::string out(text);
  UnescapeInPlace(out);
  return out;
}

std::string TXmlDocument::CutToDelimiter(std::string& text, std::string_view delimiters,
                                         bool drop) {
  std::string_view view(text);
  const std::string part(Cut(view, delimiters, drop));
  text = std::string(view);
  return part;
}

void TXmlDocument::ParseAttributes(std::string_view text, TXmlAttributeList& list) const {
  size_t added = 0;
  ReadAttributes(text, list, added, 0);
}

bool TXmlDocument::NameMatches(std::string_view stored, std::string_view searched) const {
  const std::string_view local = WithoutPrefix(stored);
  if (local == searched) return true;
  return (Options & doCaseInsensitive) && SameTextIgnoreCase(local, searched);
}

}  // namespace zorvane
