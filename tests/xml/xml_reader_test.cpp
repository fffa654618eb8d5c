#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm::xml {
namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

// The text of the root of `xml`, or "<none>" when it has no root.
std::string RootText(std::string_view xml) {
  const Document doc = Document::Parse(xml);
  return doc.Root() ? doc.Root()->Text() : "<none>";
}

TEST(XmlReferencesTest, NamedAndNumeric) {
  EXPECT_EQ(DecodeReferences("&lt;&gt;&amp;&quot;&apos;"), "<>&\"'");
  EXPECT_EQ(DecodeReferences("&LT;&Amp;"), "&LT;&Amp;");  // letter case matters
  EXPECT_EQ(DecodeReferences("&#65;&#x42;&#X43;&#00068;"), "ABCD");
  EXPECT_EQ(DecodeReferences("&#20013;&#x4e2d;"), "\xE4\xB8\xAD\xE4\xB8\xAD");
  EXPECT_EQ(DecodeReferences("&#xD800;"), "\xED\xA0\x80");  // a lone surrogate unit as such
  EXPECT_EQ(DecodeReferences("a&#13;b&#10;c"), "a\nb\nc");
  EXPECT_EQ(DecodeReferences("&#0;"), std::string(1, '\0'));
}

TEST(XmlReferencesTest, AnythingElseIsKept) {
  EXPECT_EQ(DecodeReferences("&#65536;&#x10000;&#99999999999999999999;"),
            "&#65536;&#x10000;&#99999999999999999999;");
  EXPECT_EQ(DecodeReferences("&nbsp;&#;&#x;&#12a;&#xG;&;&a<b;"), "&nbsp;&#;&#x;&#12a;&#xG;&;&a<b;");
  EXPECT_EQ(DecodeReferences("tail &amp"), "tail &amp");  // no ";" follows
  EXPECT_EQ(DecodeReferences("&foo&amp;"), "&foo&");
  EXPECT_EQ(DecodeReferences("& lt;&lt;"), "& lt;<");
  EXPECT_EQ(DecodeReferences("&&&lt;"), "&&<");
}

TEST(XmlTextTest, TrimmingAndLineBreaks) {
  EXPECT_EQ(ElementText(" \t\n\x01 a b \x1F\x20"), "a b");
  EXPECT_EQ(ElementText(" \n\t "), "");
  EXPECT_EQ(ElementText("a\nb"), "a\r\nb");
  EXPECT_EQ(ElementText("a&#10;b"), "a\nb");               // decoded after the CR LF step
  EXPECT_EQ(ElementText("&#32;a&#32;"), " a ");            // decoded after trimming
  EXPECT_EQ(ElementText("\xD6\xD0\xA0"), "\xD6\xD0\xA0");  // bytes from 80 up stay

  EXPECT_EQ(RootText("<s>  x\r\ny\rz  </s>"), "x\r\ny\r\nz");
  EXPECT_EQ(RootText("<s>&lt;b&gt; &amp; &#20013;</s>"), "<b> & \xE4\xB8\xAD");
  EXPECT_EQ(RootText("<string>   </string>"), "");
  EXPECT_EQ(RootText("<true/>"), "");
  EXPECT_EQ(RootText("<a><b>x</b></a>"), "");  // no character data of its own
}

TEST(XmlTextTest, FirstRunOnly) {
  EXPECT_EQ(RootText("<a>one<b/>two</a>"), "one");
  EXPECT_EQ(RootText("<a><b/>two<c/>three</a>"), "two");
  EXPECT_EQ(RootText("<a>  <b/>two</a>"), "");  // blank first run: no further look

  const Document doc = Document::Parse("<a>one<b/>two</a>");
  ASSERT_EQ(doc.Root()->children.size(), 3u);
  EXPECT_EQ(doc.Root()->children[2]->Text(), "two");
}

TEST(XmlTextTest, CdataCommentsAndInstructions) {
  EXPECT_EQ(RootText("<a><![CDATA[&lt; <b> ]]]]></a>"), "&lt; <b> ]]");
  EXPECT_EQ(RootText("<a>x&amp;<![CDATA[&amp;]]>y</a>"), "x&&amp;y");  // one run
  EXPECT_EQ(RootText("<a>x<!-- <b/> -->y<?pi ?>z</a>"), "xyz");

  const Document doc = Document::Parse(
      "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY e \"x>\"><!-- ] > -->]>"
      "<!-- c --><a><!-- c --><b/><?p?></a>");
  ASSERT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.Root()->name, "a");
  ASSERT_EQ(doc.Root()->children.size(), 1u);
  EXPECT_EQ(doc.Root()->children[0]->name, "b");
}

TEST(XmlAttributesTest, ValuesInOrder) {
  const Document doc = Document::Parse(
      "<invoke name=\"go&amp;stop\" returntype='xml' q = \"it's\" a='say \"hi\"'"
      " sp=\"  x\r\ny  \" ref=\"&#13;&#x4e2d;&nbsp;\" empty=''/>");
  ASSERT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.Root()->attributes, (Attributes{{"name", "go&stop"},
                                                {"returntype", "xml"},
                                                {"q", "it's"},
                                                {"a", "say \"hi\""},
                                                {"sp", "  x\ny  "},
                                                {"ref", "\n\xE4\xB8\xAD&nbsp;"},
                                                {"empty", ""}}));
}

TEST(XmlTreeTest, ChildrenAndLookup) {
  const Document doc = Document::Parse(
      "\xEF\xBB\xBF<invoke name=\"f\">\n  <ARGUMENTS>\n    <string>a</string>\n    <number>1"
      "</number>\n  </ARGUMENTS>\n</invoke>trailing <junk");
  const Node* root = doc.Root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name, "invoke");

  const Node* args = root->FindChildElement("arguments");
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->name, "ARGUMENTS");
  // Text nodes around and between the two elements.
  ASSERT_EQ(args->children.size(), 5u);
  EXPECT_FALSE(args->children[0]->IsElement());
  EXPECT_EQ(args->children[0]->raw_text, "\n    ");
  EXPECT_EQ(args->children[1]->Text(), "a");
  EXPECT_FALSE(args->children[2]->IsElement());
  EXPECT_EQ(args->children[3]->name, "number");
  EXPECT_EQ(args->children[3]->Text(), "1");

  EXPECT_EQ(root->FindChildElement("string"), nullptr);  // direct children only
  EXPECT_EQ(args->FindChildElement("NUMBER"), args->children[3].get());
  EXPECT_EQ(args->FindChildElement("numbe"), nullptr);
}

TEST(XmlTreeTest, FindChildElementFoldsOnlyAsciiLetters) {
  Node parent;
  for (const char* name : {"\xC3\x80x", "[x]"}) {
    parent.children.push_back(std::make_unique<Node>());
    parent.children.back()->name = name;
  }
  auto text = std::make_unique<Node>();
  text->kind = Node::Kind::kText;
  parent.children.insert(parent.children.begin(), std::move(text));

  EXPECT_EQ(parent.FindChildElement("\xC3\x80X"), parent.children[1].get());
  EXPECT_EQ(parent.FindChildElement("\xE3\x80x"), nullptr);  // 0xC3 and 0xE3 are no letters
  EXPECT_EQ(parent.FindChildElement("{x}"), nullptr);
  EXPECT_EQ(parent.FindChildElement("[X]"), parent.children[2].get());
  EXPECT_EQ(parent.FindChildElement(""), nullptr);  // the text node has no name
}

TEST(XmlTreeTest, NoRoot) {
  EXPECT_EQ(Document::Parse("").Root(), nullptr);
  EXPECT_EQ(Document::Parse("just text").Root(), nullptr);
  EXPECT_EQ(Document::Parse("<!-- only a comment -->").Root(), nullptr);
  EXPECT_EQ(Document::Parse("</a><b/>").Root(), nullptr);
  EXPECT_EQ(Document::Parse("< a/>").Root(), nullptr);
}

TEST(XmlFaultTest, KeepsWhatWasRead) {
  {
    const Document doc = Document::Parse("<invoke name=\"x\"><arguments><string>ab");
    const Node* root = doc.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->attributes, (Attributes{{"name", "x"}}));
    const Node* args = root->FindChildElement("arguments");
    ASSERT_NE(args, nullptr);
    const Node* string = args->FindChildElement("string");
    ASSERT_NE(string, nullptr);
    EXPECT_EQ(string->Text(), "ab");  // a run ended by the end of the text counts
  }
  // A faulty tag: the element it would start is not added; earlier ones stay.
  const std::vector<std::string> faulty = {
      "<r>t<a x=1/>",  "<r>t<a x/>",     "<r>t<a x=\"1/>",   "<r>t<a x=\"<\"/>",
      "<r>t<a",        "<r>t<a/",        "<r>t</x>",         "<r>t</r",
      "<r>t<!-- open", "<r>t<![CDATA[x", "<r>t<?pi",         "<r>t<!DOCTYPE x [",
      "<r>t<1/>",      "<r>t<",          "<r>t<!ELEMENT x>", "<r>t</R>",
  };
  for (const std::string& xml : faulty) {
    SCOPED_TRACE(xml);
    const Document doc = Document::Parse(xml + "<after/>more");
    ASSERT_NE(doc.Root(), nullptr);
    EXPECT_EQ(doc.Root()->name, "r");
    ASSERT_EQ(doc.Root()->children.size(), 1u);
    EXPECT_EQ(doc.Root()->Text(), "t");
  }
}

TEST(XmlFaultTest, ReadingEndsWithTheRoot) {
  const Document doc = Document::Parse("<a>x</a><b>y</b><");
  ASSERT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.Root()->name, "a");
  EXPECT_EQ(Document::Parse("<a/><b/>").Root()->children.size(), 0u);
}

TEST(XmlFaultTest, DeepNesting) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  deep += "x";
  const Document doc = Document::Parse(deep);
  const Node* node = doc.Root();
  int depth = 0;
  while (node != nullptr && !node->children.empty() && node->children[0]->IsElement()) {
    node = node->children[0].get();
    ++depth;
  }
  EXPECT_EQ(depth, 99999);
  EXPECT_EQ(node->Text(), "x");

  std::string closed;
  for (int i = 0; i < 100000; ++i) closed += "<b>";
  for (int i = 0; i < 100000; ++i) closed += "</b>";
  EXPECT_NE(Document::Parse(closed).Root(), nullptr);
}

TEST(XmlFaultTest, ArbitraryBytes) {
  // Every prefix of a document with every kind of construct: once the root's start
  // tag is complete, the root is there whatever follows.
  const std::string head = "<?x?><!DOCTYPE d [<!-- ] -->]><d a='1' b=\"&#x41;\">";
  const std::string xml =
      head + "\r\nt&amp;<![CDATA[c]]><!-- c --><e/>\xD6\xD0<f g='&foo&amp;'>&#65536;</f></d>";
  for (std::size_t n = 0; n <= xml.size(); ++n) {
    const Document doc = Document::Parse(std::string_view(xml).substr(0, n));
    ASSERT_EQ(doc.Root() != nullptr, n >= head.size()) << n;
    if (doc.Root()) {
      EXPECT_EQ(doc.Root()->attributes, (Attributes{{"a", "1"}, {"b", "A"}}));
    }
  }
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Document::Parse("<r>" + all).Root()->children.size(), 1u);
  EXPECT_EQ(Document::Parse(xml).Root()->FindChildElement("f")->attributes[0].second, "&foo&");
}

}  // namespace
}  // namespace qm::xml
