// A small forgiving XML model: reads any text into a node tree (mismatched end
// tags, unquoted values and unknown declarations included), finds children by
// name with the namespace prefix ignored, and writes the tree back as indented
// text. Ownership: a document owns its root node; a node list owns its nodes;
// a node owns its attribute and child lists. Document, Parent and FHeader /
// FDocumentElement are back-references. No operation recurses over the tree,
// so a document of any depth can be read, written and freed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "xml/messages.h"
#include "xml/xml_stream.h"

namespace zorvane {

// A parse stopped at a limit of the document (MaxNodes, MaxAttributes).
class TXmlLimitError : public Error {
 public:
  TXmlLimitError(const char* what, size_t limit)
      : Error(msg::XmlDocumentOverLimit(limit, what)), What(what), Limit(limit) {}
  const char* What;  // msg::kXmlNodes or msg::kXmlAttributes
  size_t Limit;
};

enum class TXmlNodeType : uint8_t {
  ntElement,
  ntText,
  ntCData,
  ntProcessingInstr,
  ntComment,
  ntDocument,
  ntDocType,
  ntXmlDecl
};

// A set of node types; the empty set means any type.
class TXmlNodeTypes {
 public:
  constexpr TXmlNodeTypes() = default;
  constexpr TXmlNodeTypes(std::initializer_list<TXmlNodeType> types) {
    for (TXmlNodeType t : types) FBits |= Bit(t);
  }
  constexpr bool Passes(TXmlNodeType t) const { return FBits == 0 || (FBits & Bit(t)); }

 private:
  static constexpr unsigned Bit(TXmlNodeType t) { return 1u << static_cast<unsigned>(t); }
  unsigned FBits = 0;
};

enum class TXmlAttributeType : uint8_t { atValue, atSingle };

enum TXmlOption : unsigned {
  doNodeAutoIndent = 1,
  doCompact = 2,
  doParseProcessingInstr = 4,
  doPreserveWhiteSpace = 8,
  doCaseInsensitive = 16,
  doWriteBOM = 32
};
using TXmlOptions = unsigned;

class TXmlDocument;
class TXmlNode;

class TXmlAttribute {
 public:
  explicit TXmlAttribute(std::string name) : Name(std::move(name)) {}

  std::string Name;
  TXmlAttributeType AttributeType = TXmlAttributeType::atSingle;

  const std::string& Value() const { return FValue; }
  void SetValue(std::string value) {
    FValue = std::move(value);
    AttributeType = TXmlAttributeType::atValue;
  }
  // name, or name="escaped value"
  std::string AsString() const;
  // & < > " escaped
  static std::string Escape(std::string_view text);

 private:
  std::string FValue;
};

class TXmlAttributeList {
 public:
  TXmlDocument* Document = nullptr;

  TXmlAttribute& Add(std::string name);  // a new atSingle attribute
  TXmlAttribute* Find(std::string_view name) const;
  bool HasAttribute(std::string_view name) const { return Find(name) != nullptr; }
  void Delete(std::string_view name);
  void Clear() { FItems.clear(); }
  // Every attribute preceded by one space.
  std::string AsString() const;
  size_t Count() const { return FItems.size(); }
  TXmlAttribute& operator[](size_t i) const { return *FItems[i]; }

 private:
  std::vector<std::unique_ptr<TXmlAttribute>> FItems;
};

class TXmlNodeList {
 public:
  TXmlDocument* Document = nullptr;
  TXmlNode* Parent = nullptr;

  TXmlNodeList() = default;
  TXmlNodeList(const TXmlNodeList&) = delete;
  TXmlNodeList& operator=(const TXmlNodeList&) = delete;

  // Appends the node and makes it a child of Parent; returns its index.
  size_t Add(std::unique_ptr<TXmlNode> node);
  TXmlNode& Add(TXmlNodeType type);
  TXmlNode& Add(std::string name, TXmlNodeType type);
  TXmlNode& Insert(std::string name, size_t position, TXmlNodeType type);

  TXmlNode* Find(std::string_view name, TXmlNodeTypes types = {}) const;
  TXmlNode* FindNode(std::string_view name, TXmlNodeTypes types = {}) const {
    return Find(name, types);
  }
  TXmlNode* Find(std::string_view name, std::string_view attrName, TXmlNodeTypes types) const;
  TXmlNode* Find(std::string_view name, std::string_view attrName, std::string_view attrValue,
                 TXmlNodeTypes types) const;
  // All matching nodes in order; the list returned owns nothing.
  std::vector<TXmlNode*> FindNodes(std::string_view name, TXmlNodeTypes types = {}) const;
  bool HasNode(std::string_view name, TXmlNodeTypes types = {}) const {
    return Find(name, types) != nullptr;
  }

  size_t Count() const { return FItems.size(); }
  // Throws "List index out of bounds (i)" outside the list.
  TXmlNode& Get(size_t index) const;
  TXmlNode& FirstChild() const { return Get(0); }
  TXmlNode* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }
  // The item after / before node; null at the ends or when node is not here.
  // NextSibling(nullptr) is the first item.
  TXmlNode* NextSibling(const TXmlNode* node) const;
  TXmlNode* PreviousSibling(const TXmlNode* node) const;
  long IndexOf(const TXmlNode* node) const;

  // Removes and frees the node (and everything under it).
  void Remove(TXmlNode* node);
  void Clear();

 private:
  friend class TXmlNode;
  friend class TXmlDocument;
  std::vector<std::unique_ptr<TXmlNode>> FItems;
};

class TXmlNode {
 public:
  explicit TXmlNode(TXmlNodeType type);
  ~TXmlNode();  // frees the subtree without recursion
  TXmlNode(const TXmlNode&) = delete;
  TXmlNode& operator=(const TXmlNode&) = delete;

  TXmlAttributeList AttributeList;
  TXmlNodeList ChildNodes;
  std::string Name;  // with its prefix as written, e.g. "s:Body"
  TXmlNodeType NodeType;
  TXmlNode* Parent = nullptr;
  std::string Text;

  TXmlDocument* Document() const { return FDocument; }
  void SetDocument(TXmlDocument* document);

  std::string GetAttr(std::string_view name) const;
  TXmlNode& SetAttr(std::string_view name, std::string value) {
    return SetAttribute(name, std::move(value));
  }
  TXmlNode& SetAttribute(std::string_view name, std::string value);
  bool HasAttribute(std::string_view name) const { return AttributeList.HasAttribute(name); }

  TXmlNode* Find(std::string_view name, TXmlNodeTypes types = {}) const {
    return ChildNodes.Find(name, types);
  }
  TXmlNode* Find(std::string_view name, std::string_view attrName, TXmlNodeTypes types) const {
    return ChildNodes.Find(name, attrName, types);
  }
  TXmlNode* Find(std::string_view name, std::string_view attrName, std::string_view attrValue,
                 TXmlNodeTypes types) const {
    return ChildNodes.Find(name, attrName, attrValue, types);
  }
  std::vector<TXmlNode*> FindNodes(std::string_view name, TXmlNodeTypes types = {}) const {
    return ChildNodes.FindNodes(name, types);
  }
  bool HasChild(std::string_view name, TXmlNodeTypes types = {}) const {
    return Find(name, types) != nullptr;
  }

  TXmlNode& AddChild(std::string name, TXmlNodeType type = TXmlNodeType::ntElement) {
    return ChildNodes.Add(std::move(name), type);
  }
  TXmlNode& InsertChild(std::string name, size_t position,
                        TXmlNodeType type = TXmlNodeType::ntElement) {
    return ChildNodes.Insert(std::move(name), position, type);
  }
  TXmlNode& SetText(std::string value) {
    Text = std::move(value);
    return *this;
  }
  TXmlNode& SetNodeType(TXmlNodeType type) {
    NodeType = type;
    return *this;
  }

  TXmlNode& FirstChild() const { return ChildNodes.FirstChild(); }  // throws when empty
  TXmlNode* LastChild() const { return ChildNodes.Last(); }
  TXmlNode* NextSibling() const;
  TXmlNode* PreviousSibling() const;
  bool HasChildNodes() const { return ChildNodes.Count() > 0; }
  bool IsTextElement() const { return !Text.empty() && !HasChildNodes(); }

 private:
  TXmlDocument* FDocument = nullptr;
};

class TXmlDocument {
 public:
  TXmlDocument();
  ~TXmlDocument();
  TXmlDocument(const TXmlDocument&) = delete;
  TXmlDocument& operator=(const TXmlDocument&) = delete;

  TXmlOptions Options = doNodeAutoIndent | doWriteBOM;
  // Limits of a parse, 0 for none: a text that would make more nodes (of any
  // type) or more attributes stops the parse with a TXmlLimitError, and the
  // document is left empty. Text from a peer can then cost only so much memory.
  size_t MaxNodes = 0;
  size_t MaxAttributes = 0;
  std::string NodeIndentStr = "  ";
  std::string LineBreak = "\r\n";
  bool SkipIndent = false;

  // The invisible document node; every top-level node is its child.
  TXmlNode& Root() const { return *FRoot; }
  TXmlNodeList& ChildNodes() const { return FRoot->ChildNodes; }
  TXmlNode* DocumentElement() const { return FDocumentElement; }
  void SetDocumentElement(TXmlNode* node);                       // a node already in the tree
  TXmlNode& SetDocumentElement(std::unique_ptr<TXmlNode> node);  // appended to the root
  TXmlNode* Header() const { return FHeader; }

  std::string Encoding() const;
  std::string Version() const;
  std::string StandAlone() const;
  void SetEncoding(std::string value);
  void SetVersion(std::string value);
  void SetStandAlone(std::string value);
  bool PreserveWhitespace() const { return Options & doPreserveWhiteSpace; }
  void SetPreserveWhitespace(bool on) {
    Options = on ? Options | doPreserveWhiteSpace : Options & ~doPreserveWhiteSpace;
  }

  void Clear();
  TXmlNode* EnsureHeader();

  // Parse, replacing the tree. Only stream and file failures and the limits
  // above throw.
  TXmlDocument& LoadFromStream(TStream& stream, size_t bufferSize = 4096);
  TXmlDocument& LoadFromFile(const std::string& fileName, size_t bufferSize = 4096);
  TXmlDocument& SaveToStream(TStream& stream);
  TXmlDocument& SaveToFile(const std::string& fileName);
  // The whole document as text (without a byte-order mark) / parse from UTF-8 text.
  std::string Xml();
  void SetXml(std::string_view text);
  std::string Text() { return Xml(); }
  void SetText(std::string_view text) { SetXml(text); }

  TXmlNode& AddChild(std::string name, TXmlNodeType type = TXmlNodeType::ntElement);
  std::unique_ptr<TXmlNode> CreateNode(std::string name,
                                       TXmlNodeType type = TXmlNodeType::ntElement);

  static std::string Escape(std::string_view text);    // attribute escape, then ' -> &apos;
  static std::string Unescape(std::string_view text);  // the five predefined entities only
  void ParseAttributes(std::string_view text, TXmlAttributeList& list) const;
  // Cuts the text before the first delimiter character off text (and the
  // delimiter too when drop); all of text when there is none.
  static std::string CutToDelimiter(std::string& text, std::string_view delimiters, bool drop);

  // Whether a stored name (or attribute value) matches the searched name.
  bool NameMatches(std::string_view stored, std::string_view searched) const;

 private:
  class TParser;
  class TWriter;

  std::unique_ptr<TXmlNode> FRoot;
  TXmlNode* FHeader = nullptr;
  TXmlNode* FDocumentElement = nullptr;
};

}  // namespace zorvane
