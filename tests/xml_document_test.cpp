// The XML model: forgiving reading into a tree, finding by name, escaping,
// decoding, writing, files, and documents nobody would write by hand (deep,
// broken, split at awkward places).
#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "common/error.h"
#include "tests/support/checks.h"
#include "tests/support/process.h"
#include "tests/support/xml_dump.h"
#include "xml/text_codec.h"

using namespace zorvane;
using zorvane::testing::DumpTree;
using zorvane::testing::ReadFile;
using zorvane::testing::TempDir;
using zorvane::testing::WriteFile;

namespace {

constexpr TXmlNodeType ntElement = TXmlNodeType::ntElement;

std::string Parse(std::string_view text, TXmlOptions extra = 0, size_t bufferSize = 4096) {
  TXmlDocument doc;
  doc.Options |= extra;
  TBytesStream stream(text);
  doc.LoadFromStream(stream, bufferSize);
  return DumpTree(doc);
}

std::string Written(TXmlDocument& doc) {
  TMemoryStream out;
  doc.SaveToStream(out);
  return out.Bytes();
}

}  // namespace

TEST(XmlReadTest, Trees) {
  struct Case {
    const char* input;
    const char* tree;
    TXmlOptions options = 0;
  };
  const Case cases[] = {
      {"<a>  </a>", "<a>"},
      {"<a>  </a>", "<a> text=  ", doPreserveWhiteSpace},
      {"<a> x </a>", "<a> text= x "},
      {"<a>&lt;b&gt; &amp;amp;</a>", "<a> text=<b> &amp;"},
      {"<a>&#65;&unknown;</a>", "<a> text=&#65;&unknown;"},
      {"<a>x<b/>y &amp; z</a>", "<a> text=x\n  <b>\n  text:y &amp; z"},
      {"<a><![CDATA[<x>]]></a>", "<a>\n  cdata:<x>"},
      {"<a><!-- c -- d --></a>", "<a>\n  comment: c -- d "},
      {"<s:Envelope xmlns:s=\"urn:x\"><s:Body/></s:Envelope>",
       "<s:Envelope xmlns:s=\"urn:x\">\n  <s:Body>"},
      // End tag names are ignored; a surplus end tag at top level stays at the root.
      {"<a><b></c></d></e><f/>", "<a>\n  <b>\n<f>"},
      // Attributes: both quotes, the other quote inside, bare names, blanks around "=".
      {"<a x='1' y=\"it's\" c z = \"2\"/>", "<a x=\"1\" y=\"it's\" c z=\"2\">"},
      // An unquoted value takes the next quoted value; its attribute is lost.
      {"<a d=e f='g'/>", "<a d=\"g\">"},
      {"<a x=\"&lt;&quot;&#10;\"/>", "<a x=\"<\"&#10;\">"},
      {"<a x=\"1\"\ny=\"2\"/>", "<a x=\"1\" y=\"2\">"},
      // Only a space separates the name from the attributes.
      {"<a\tx=\"1\">t</a>", "<a\tx=\"1\"> text=t"},
      {"<?xml version='1.0' encoding='UTF-8'?><r/>",
       "decl:xml version=\"1.0\" encoding=\"UTF-8\"\n<r>"},
      {"<?php echo 1?><r/>", "pi:php text:php echo 1\n<r>"},
      {"<?pi a=\"1\"?>", "pi:pi a=\"1\" text:", doParseProcessingInstr},
      {"<?/x?><r/>", "pi:/x text:/x\n<r>"},
      {"<!DOCTYPE note [<!ENTITY a 'b'>]><note/>", "doctype: note [<!ENTITY a 'b'>]\n<note>"},
      {"<!DOCTYPE html><html/>", "doctype: html\n<html>"},
      {"<!ELEMENT x ANY><y/>", "<!ELEMENT x ANY>\n  <y>"},
      {"lead<a/>trail", "text:lead\n<a>\ntext:trail"},
      {"<a>unterminated", "<a> text=unterminated"},
      {"<a x=\"1", "<a x=\"1\">"},
      {"<!-- open", "comment: open"},
      {"<![CDATA[open", "cdata:open"},
      {"<", ""},
      {"", ""},
      {"<>", "<>"},
      {"<a/><b/>", "<a>\n<b>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Parse(c.input, c.options), c.tree);
  }
}

TEST(XmlReadTest, DocumentElement) {
  struct Case {
    const char* input;
    const char* element;  // null: none
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"?><!-- c --><s:Envelope><s:Body/></s:Envelope>", "s:Envelope"},
      {"<a/><b></b>", "a"},
      {"text<b></b><c/>", "b"},
      {"<a><b/>", nullptr},  // never closed
      {"</x><a></a>", "a"},  // a surplus end tag closes nothing
      {"<!ELEMENT e><a/>", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    TXmlDocument doc;
    doc.SetXml(c.input);
    if (c.element) {
      ASSERT_NE(doc.DocumentElement(), nullptr);
      EXPECT_EQ(doc.DocumentElement()->Name, c.element);
    } else {
      EXPECT_EQ(doc.DocumentElement(), nullptr);
    }
  }
}

TEST(XmlFindTest, NamesMatchWithoutPrefix) {
  TXmlDocument doc;
  doc.SetXml(
      "<s:Envelope><s:Body><m:R a:token=\"p:one\"/><m:R token=\"two\" fixed/><Text>t</Text>"
      "<!--R--></s:Body></s:Envelope>");
  TXmlNode* env = doc.DocumentElement();
  ASSERT_NE(env, nullptr);
  TXmlNode* body = env->Find("Body", {ntElement});
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(env->Find("s:Body", {ntElement}), nullptr);
  EXPECT_EQ(env->Find("body", {ntElement}), nullptr);
  EXPECT_EQ(body->FindNodes("R", {ntElement}).size(), 2u);
  EXPECT_EQ(body->Find("R", "fixed", {ntElement})->GetAttr("token"), "two");
  EXPECT_EQ(body->Find("R", "token", "one", {ntElement}), &body->ChildNodes.Get(0));
  EXPECT_EQ(body->Find("R", "token", "two", {ntElement}), &body->ChildNodes.Get(1));
  EXPECT_EQ(body->ChildNodes.Get(0).GetAttr("token"), "p:one");  // found without prefix
  EXPECT_EQ(body->ChildNodes.Get(0).GetAttr("missing"), "");
  EXPECT_TRUE(body->HasChild("Text", {ntElement}));
  EXPECT_EQ(body->Find("R", {TXmlNodeType::ntComment}), nullptr);
  EXPECT_NE(body->Find("", {TXmlNodeType::ntComment}), nullptr);  // a comment has no name
  EXPECT_EQ(body->Find("Text")->Text, "t");

  doc.Options |= doCaseInsensitive;
  EXPECT_EQ(env->Find("BODY", {ntElement}), body);
  EXPECT_NE(body->Find("text", {ntElement}), nullptr);

  // Lists without a document compare whole names.
  TXmlNode loose(ntElement);
  loose.AddChild("s:Body");
  EXPECT_EQ(loose.Find("Body"), nullptr);
  EXPECT_NE(loose.Find("s:Body"), nullptr);
}

TEST(XmlFindTest, SiblingsAndIndices) {
  TXmlDocument doc;
  doc.SetXml("<r><a/><b/><c/></r>");
  TXmlNode& r = *doc.DocumentElement();
  TXmlNode& a = r.FirstChild();
  EXPECT_EQ(a.Name, "a");
  EXPECT_EQ(a.NextSibling()->Name, "b");
  EXPECT_EQ(a.NextSibling()->NextSibling()->NextSibling(), nullptr);
  EXPECT_EQ(a.PreviousSibling(), nullptr);
  EXPECT_EQ(r.LastChild()->PreviousSibling()->Name, "b");
  EXPECT_EQ(r.ChildNodes.NextSibling(nullptr), &a);
  TXmlNode stranger(ntElement);
  EXPECT_EQ(r.ChildNodes.NextSibling(&stranger), nullptr);
  EXPECT_EQ(doc.Root().NextSibling(), nullptr);
  EXPECT_EQ(a.LastChild(), nullptr);
  EXPECT_TRUE(r.HasChildNodes());
  EXPECT_FALSE(a.IsTextElement());

  const std::function<void()> calls[] = {[&] { r.ChildNodes.Get(3); }, [&] { a.FirstChild(); }};
  for (const auto& bad : calls) {
    try {
      bad();
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_TRUE(std::string(e.what()).starts_with("List index out of bounds (")) << e.what();
    }
  }
}

TEST(XmlTextTest, EscapeUnescapeAndCut) {
  struct Case {
    const char* raw;
    const char* unescaped;
  };
  const Case unescape[] = {
      {"&lt;&gt;&quot;&apos;&amp;", "<>\"'&"},
      {"&amp;lt;", "&lt;"},
      {"&amp;amp;", "&amp;"},
      {"&&lt;", "&<"},
      {"&LT;&#60;&nbsp;", "&LT;&#60;&nbsp;"},
      {"a & b &", "a & b &"},
      {"", ""},
  };
  for (const Case& c : unescape) EXPECT_EQ(TXmlDocument::Unescape(c.raw), c.unescaped) << c.raw;
  EXPECT_EQ(TXmlAttribute::Escape("a&<>\"'"), "a&amp;&lt;&gt;&quot;'");
  EXPECT_EQ(TXmlDocument::Escape("a&<>\"'"), "a&amp;&lt;&gt;&quot;&apos;");

  std::string text = "name=value";
  EXPECT_EQ(TXmlDocument::CutToDelimiter(text, " =", false), "name");
  EXPECT_EQ(text, "=value");
  EXPECT_EQ(TXmlDocument::CutToDelimiter(text, "=", true), "");
  EXPECT_EQ(text, "value");
  EXPECT_EQ(TXmlDocument::CutToDelimiter(text, ";", true), "value");
  EXPECT_EQ(text, "");
}

TEST(XmlWriteTest, ExactOutput) {
  TXmlDocument doc;
  TXmlNode& a = doc.AddChild("a");
  a.SetText("1 < 2").SetAttribute("x", "q");
  EXPECT_EQ(Written(doc),
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<a x=\"q\">1 &lt; 2</a>");

  struct Case {
    const char* input;
    const char* output;
    TXmlOptions options;
  };
  const Case cases[] = {
      {"<r><a>t</a><b/></r>", "<r>\r\n  <a>t</a>\r\n  <b/>\r\n</r>", 0},
      {"<r><a>t</a><b/></r>", "<r><a>t</a><b/></r>", doCompact},
      // Text and children: the text ends the indentation until the next node.
      {"<r>t<a/>u<b/></r>", "<r>t<a/>u<b/>\r\n</r>", 0},
      {"<r><a x='1' y/><!--c--><![CDATA[d]]></r>",
       "<r>\r\n  <a x=\"1\" y/>\r\n  <!--c--><![CDATA[d]]>\r\n</r>", 0},
      {"<?pi x?><!DOCTYPE d><r a='&quot;'>it's</r>",
       "<?pi x?>\r\n<!DOCTYPE  d>\r\n<r a=\"&quot;\">it&apos;s</r>", 0},
      {"<r><a><b><c/></b></a></r>",
       "<r>\r\n  <a>\r\n    <b>\r\n      <c/>\r\n    </b>\r\n  </a>\r\n</r>", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    TXmlDocument d;
    d.Options |= c.options;
    d.SetXml(c.input);
    EXPECT_EQ(d.Xml(), c.output);
  }

  // No declaration: written in the ANSI codeset, no byte-order mark.
  TXmlDocument bare;
  bare.SetXml("<r>x</r>");
  EXPECT_EQ(bare.Encoding(), "");
  EXPECT_EQ(Written(bare), "<r>x</r>");
}

TEST(XmlWriteTest, HeaderAndDocumentElement) {
  TXmlDocument doc;
  EXPECT_EQ(doc.Encoding(), "utf-8");
  EXPECT_EQ(doc.Version(), "1.0");
  doc.SetStandAlone("yes");
  auto node = doc.CreateNode("e");
  EXPECT_EQ(node->Document(), &doc);
  doc.SetDocumentElement(std::move(node)).AddChild("c").SetText("v");
  EXPECT_EQ(
      doc.Xml(),
      "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<e>\r\n  <c>v</c>\r\n</e>");
  doc.Clear();
  EXPECT_EQ(doc.Header(), nullptr);
  EXPECT_EQ(doc.DocumentElement(), nullptr);
  EXPECT_EQ(doc.Xml(), "");
  doc.SetEncoding("utf-8");
  EXPECT_EQ(doc.Xml(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
}

TEST(XmlDecodeTest, EncodingComesFromTheDeclarationReadBefore) {
  const std::string utf16le = std::string("\xFF\xFE<\0r\0>\0\x16\x04<\0/\0r\0>\0", 18);
  const std::string utf16be = std::string("\xFE\xFF\0<\0r\0>\x04\x16\0<\0/\0r\0>", 18);

  // A fresh document has a utf-8 declaration: no mark detection, bytes read as UTF-8.
  TXmlDocument fresh;
  fresh.SetXml(utf16le);
  EXPECT_EQ(fresh.DocumentElement(), nullptr);

  // After a document without declaration, a byte-order mark chooses the decoder.
  TXmlDocument doc;
  doc.SetXml("<x/>");
  EXPECT_EQ(doc.Encoding(), "");
  for (const std::string& bytes : {utf16le, utf16be}) {
    doc.SetXml(bytes);
    ASSERT_NE(doc.DocumentElement(), nullptr);
    EXPECT_EQ(doc.DocumentElement()->Text, "Ж");
  }
  doc.SetXml("\xEF\xBB\xBF<r>\xD0\x96</r>");
  EXPECT_EQ(doc.DocumentElement()->Text, "Ж");

  // A declaration of another encoding takes effect at the next load: ANSI.
  SetAnsiCodeset("CP1251");
  doc.SetXml("<?xml version=\"1.0\" encoding=\"windows-1251\"?><r/>");
  doc.SetXml("<?xml version=\"1.0\" encoding=\"windows-1251\"?><r>\xC6</r>");
  EXPECT_EQ(doc.DocumentElement()->Text, "Ж");
  EXPECT_EQ(Written(doc), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<r>\xC6</r>");
  SetAnsiCodeset("UTF-8");

  // Bytes that are no UTF-8 become U+FFFD.
  TXmlDocument broken;
  broken.SetXml(
      "<r>a\xFF"
      "b\xE2\x82</r>");
  EXPECT_EQ(broken.DocumentElement()->Text,
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

// The user's ANSI code set, both ways: what stands for bytes it cannot decode
// and characters it lacks, whole or split into one-byte chunks.
TEST(XmlDecodeTest, AnsiCodeSetsBothWays) {
  const std::string saved = AnsiCodeset();
  struct Decoding {
    const char* codeset;
    std::string bytes;
    std::string text;
  };
  const Decoding decodings[] = {
      {"CP1251", "\xC6\xB8\xEB \xCA\xEE\xE8", "Жёл Кои"},
      {"CP866", "\x86\xF1\xAB \x8A\xAE\xA8", "Жёл Кои"},
      {"KOI8-R", "\xF6\xA3\xCC \xEB\xCF\xC9", "Жёл Кои"},
      // an undefined byte: one U+FFFD, and on
      {"CP1251", "a\x98\xC6", "a\uFFFDЖ"},
      // a character split between chunks comes whole; one cut at the end
      // gives a U+FFFD for each of its bytes
      {"UTF-16LE", std::string("\x16\x04=\xD8\x00\xDE", 6), "Ж😀"},
      {"UTF-16LE", std::string("a\x00=\xD8", 4), "a\uFFFD\uFFFD"},
      {"UTF-16LE", std::string("a\x00=", 3), "a\uFFFD"},
      // a code set the system cannot convert: ASCII passes
      {"no-such-codeset", "a\xC6\xB8z", "a\uFFFD\uFFFDz"},
  };
  for (const Decoding& d : decodings) {
    SCOPED_TRACE(std::string(d.codeset) + " [" + d.bytes + "]");
    SetAnsiCodeset(d.codeset);
    std::string whole;
    MakeDecoder(TTextEncoding::Ansi)->Decode(d.bytes, true, whole);
    EXPECT_EQ(whole, d.text);
    std::string split;
    const std::unique_ptr<TTextDecoder> decoder = MakeDecoder(TTextEncoding::Ansi);
    for (size_t i = 0; i < d.bytes.size(); ++i)
      decoder->Decode(d.bytes.substr(i, 1), i + 1 == d.bytes.size(), split);
    EXPECT_EQ(split, d.text);
  }

  struct Encoding {
    const char* codeset;
    std::string text;
    std::string bytes;
  };
  const Encoding encodings[] = {
      {"CP1251", "Жёл Кои", "\xC6\xB8\xEB \xCA\xEE\xE8"},
      {"CP866", "Жёл Кои", "\x86\xF1\xAB \x8A\xAE\xA8"},
      {"KOI8-R", "Жёл Кои", "\xF6\xA3\xCC \xEB\xCF\xC9"},
      // what the code set lacks, and malformed UTF-8: one "?" a character
      {"CP1251", "Ж日😀", "\xC6??"},
      {"CP1251", "a\xE2\x82z\xFFq\xD0", "a?z?q?"},
      {"no-such-codeset", "aЖb", "a??b"},
      {"UTF-8", "aЖ\xFF", "aЖ\xFF"},
  };
  for (const Encoding& e : encodings) {
    SCOPED_TRACE(std::string(e.codeset) + " [" + e.text + "]");
    SetAnsiCodeset(e.codeset);
    EXPECT_EQ(EncodeAnsi(e.text), e.bytes);
  }
  SetAnsiCodeset(saved);
}

TEST(XmlReadTest, ChunkBoundariesChangeNothing) {
  // Multi-byte characters, stop strings and entities placed across every
  // possible chunk boundary of the smallest buffer.
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?><r>";
  for (int i = 0; i < 60; ++i) {
    text += std::string(static_cast<size_t>(i % 7), ' ') + "<n a=\"Ж" + std::to_string(i) +
            "\">Камера &amp; 😀</n><!-- комментарий --><![CDATA[]]]]><?pi данные?>";
  }
  text += "</r>";
  const std::string reference = Parse(text, 0, 1 << 20);
  for (size_t size : {1, 128, 129, 130, 131, 200, 4096}) {
    EXPECT_EQ(Parse(text, 0, size), reference) << size;
  }
}

TEST(XmlReadTest, LongTokensComeWholeWithWhatFollows) {
  // Texts, names, values and comments long enough to be handed over in the
  // reader's own buffer, entities at their ends, read from memory (whose size
  // the reader knows) and from a file (whose size it does not).
  const std::string big(300000, 'x');
  const std::string text = "<r><" + big + " k='" + big + "&amp;'>" + big + "&lt;</" + big +
                           "><!--" + big + "--><b/>tail</r>";
  const std::string tree = "<r>\n  <" + big + " k=\"" + big + "&\"> text=" + big +
                           "<\n  comment:" + big + "\n  <b>\n  text:tail";
  EXPECT_EQ(Parse(text), tree);
  EXPECT_EQ(Parse(text, 0, 128), tree);
  TempDir dir;
  WriteFile(dir.path() + "/long.xml", text);
  TXmlDocument doc;
  doc.LoadFromFile(dir.path() + "/long.xml");
  EXPECT_EQ(DumpTree(doc), tree);
}

TEST(XmlLimitTest, NodesAndAttributesStopTheParse) {
  struct Case {
    const char* input;
    size_t maxNodes, maxAttributes;
    const char* error;  // empty: the document loads
  };
  const Case cases[] = {
      {"<a><b/><c/></a>", 3, 0, ""},
      {"<a><b/><c/></a>", 2, 0, "В XML-документе больше 2 узлов"},
      // a text between elements, a comment, a declaration: nodes as well
      {"<a>x<b/>y</a>", 2, 0, "В XML-документе больше 2 узлов"},
      {"<?xml version=\"1.0\"?><!--c--><a/>", 2, 0, "В XML-документе больше 2 узлов"},
      {"<a><>", 1, 0, "В XML-документе больше 1 узлов"},
      {"<a b c='1'><d e/></a>", 0, 3, ""},
      {"<a b c='1'><d e/></a>", 0, 2, "В XML-документе больше 2 атрибутов"},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?><a/>", 9, 1,
       "В XML-документе больше 1 атрибутов"},
      {"<a b b b b b b b b b b b b b b b b", 0, 4, "В XML-документе больше 4 атрибутов"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    TXmlDocument doc;
    doc.MaxNodes = c.maxNodes;
    doc.MaxAttributes = c.maxAttributes;
    TBytesStream stream(c.input);
    try {
      doc.LoadFromStream(stream);
      EXPECT_EQ(std::string(c.error), "");
    } catch (const TXmlLimitError& e) {
      EXPECT_EQ(e.what(), std::string(c.error));
      // what was read is gone at once
      EXPECT_EQ(doc.ChildNodes().Count(), 0u);
      EXPECT_EQ(doc.DocumentElement(), nullptr);
    }
  }
  // Attributes parsed apart from a document have no limit.
  TXmlDocument doc;
  doc.MaxAttributes = 1;
  TXmlAttributeList list;
  doc.ParseAttributes("a b c", list);
  EXPECT_EQ(list.Count(), 3u);
}

TEST(XmlFileTest, LoadAndSave) {
  TempDir dir;
  const std::string path = dir.path() + "/doc.xml";
  TXmlDocument doc;
  doc.AddChild("settings").AddChild("Parameter").SetAttribute("Name", "Host");
  doc.SaveToFile(path);
  EXPECT_EQ(ReadFile(path),
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<settings>\r\n  <Parameter "
            "Name=\"Host\"/>\r\n</settings>");
  TXmlDocument back;
  back.LoadFromFile(path);
  EXPECT_EQ(DumpTree(back), DumpTree(doc));

  try {
    back.LoadFromFile(dir.path() + "/missing.xml");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("missing.xml"), std::string::npos) << e.what();
  }
  EXPECT_THROW(doc.SaveToFile(dir.path() + "/no/such/folder.xml"), Error);
}

TEST(XmlDepthTest, DeepDocumentsLoadWriteAndFree) {
  // 10 MiB of nested start tags: no recursion may follow the depth. Under the sanitizers,
  // with their larger frames, a tenth of it still overflows any stack a recursion would use.
  const size_t depth = static_cast<size_t>(zorvane::testing::Rounds(10 << 20, 1 << 20)) / 3;
  std::string text;
  text.reserve(depth * 3);
  for (size_t i = 0; i < depth; ++i) text += "<a>";
  {
    TXmlDocument doc;
    doc.SetXml(text);
    EXPECT_EQ(doc.DocumentElement(), nullptr);  // never closed
    doc.Options |= doCompact;
    TMemoryStream out;
    doc.SaveToStream(out);
    EXPECT_EQ(out.Bytes().size(), (depth - 1) * 3 + 4 + (depth - 1) * 4);  // <a>..., <a/>, </a>...
  }
  // The same depth closed again, indented writing at a depth that stays small on disk.
  std::string closed;
  for (int i = 0; i < 3000; ++i) closed += "<b>";
  for (int i = 0; i < 3000; ++i) closed += "</b>";
  TXmlDocument doc;
  doc.SetXml(closed);
  ASSERT_NE(doc.DocumentElement(), nullptr);
  EXPECT_GT(doc.Xml().size(), 3000u * 3000u);
}
