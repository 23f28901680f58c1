#include <gtest/gtest.h>

#include "protocol/GDataXMLDocument.h"
#include "protocol/ReplyEnvelope.h"
#include "system/TextCodec.h"

namespace karv {
namespace {

TEST(ReplyDocument, BlanksDroppedCdataReadAsText) {
  auto pretty = GDataXMLDocument::initWithXMLString(
      "<?xml version=\"1.0\" encoding=\"Big5\"?>\n<Root>\n  <rtnCode>0</rtnCode>\n  <rtnMsg><![CDATA[好 "
      "<b>]]></rtnMsg>\n</Root>\n");
  ASSERT_TRUE(pretty);
  auto map = ReplyEnvelope::xmlNodeToMap(pretty->rootElement());  // no blank text children
  EXPECT_EQ(map, (ReplyMap{{"rtnCode", "0"}, {"rtnMsg", "好 <b>"}}));
  EXPECT_EQ(ReplyEnvelope::getXPathValue(pretty.get(), "//Root/rtnMsg"), "好 <b>");
  // Elements of the default namespace are found under a prefix of their own.
  auto doc = GDataXMLDocument::initWithXMLString("<Root xmlns=\"urn:d\"><plain>y</plain></Root>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->firstNodeForXPath("//_def_ns:plain")->stringValue(), "y");
}

TEST(ReplyDocument, EnvelopeXPathAndWhatIsNoDocument) {
  for (const char* text : {"", "plain", "<Root>", "<a></b>"})
    EXPECT_FALSE(GDataXMLDocument::initWithXMLString(text)) << text;
  EXPECT_FALSE(ReplyEnvelope::getXmlDoc(std::nullopt));
  std::optional<std::string> code = "keep";
  std::optional<std::string> msg = "keep";
  EXPECT_FALSE(ReplyEnvelope::getXmlDoc(std::string("nope"), code, msg));
  EXPECT_EQ(code.value_or("") + msg.value_or(""), "keepkeep");

  auto doc = ReplyEnvelope::getXmlDoc(std::string("<Root><rtnCode>53907</rtnCode></Root>"), code, msg);
  ASSERT_TRUE(doc);
  EXPECT_EQ(code, "53907");
  EXPECT_EQ(msg, "");                                                       // no rtnMsg reads as ""
  EXPECT_EQ(ReplyEnvelope::getXPathValue(doc.get(), "count(//Root)"), "");  // not a node set
  EXPECT_FALSE(doc->nodesForXPath("//Root[").has_value());                  // does not evaluate
  EXPECT_EQ(doc->firstNodeForXPath("//nothing"), nullptr);
}

// A document type is refused however it comes: its entities would expand at
// every read of a field.
TEST(ReplyDocument, DoctypeIsRefused) {
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE Root [<!ENTITY a \"" + std::string(100, 'x') + "\">";
  for (char e = 'b'; e <= 'k'; ++e) {
    const std::string prev(1, static_cast<char>(e - 1));
    laughs += "<!ENTITY " + std::string(1, e) + " \"";
    for (int i = 0; i < 10; ++i) laughs += "&" + prev + ";";
    laughs += "\">";
  }
  laughs += "]><Root><rtnCode>0</rtnCode><rtnMsg>&k;</rtnMsg></Root>";
  for (const std::string& text : {
           laughs,
           std::string("<!DOCTYPE Root SYSTEM \"file:///etc/passwd\"><Root><rtnCode>0</rtnCode></Root>"),
           std::string("<!DOCTYPE Root><Root><rtnCode>0</rtnCode></Root>"),
           std::string("<!DOCTYPE Root [<!ENTITY ok \"0\">]><Root><rtnCode>&ok;</rtnCode></Root>"),
       }) {
    std::optional<std::string> code = "caller's";
    std::optional<std::string> msg;
    EXPECT_FALSE(ReplyEnvelope::getXmlDoc(text, code, msg)) << text.substr(0, 60);
    EXPECT_EQ(code, "caller's");
  }
  // The words alone, as text, are no declaration.
  auto doc = GDataXMLDocument::initWithXMLString("<Root><rtnMsg><![CDATA[<!DOCTYPE x>]]></rtnMsg></Root>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(ReplyEnvelope::getXPathValue(doc.get(), "//Root/rtnMsg"), "<!DOCTYPE x>");
}

TEST(ReplyDocument, NodeToMapTakesLeavesOnly) {
  auto doc = GDataXMLDocument::initWithXMLString(
      "<Root><cn>王小明</cn><note/><certInfo><a>1</a><b>2</b></certInfo><wrap><x>inner</x></wrap><cn>later</cn></"
      "Root>");
  ASSERT_TRUE(doc);
  auto map = ReplyEnvelope::xmlNodeToMap(doc->rootElement());
  ASSERT_TRUE(map);
  EXPECT_EQ(map->at("cn"), "later");  // a later child overwrites
  EXPECT_EQ(map->at("note"), "");
  EXPECT_EQ(map->at("wrap"), "inner");
  EXPECT_EQ(map->count("certInfo"), 0u);
  EXPECT_FALSE(ReplyEnvelope::xmlNodeToMap(doc->firstNodeForXPath("//note")));
}

TEST(TextCodec, Big5IsStrict) {
  EXPECT_EQ(big5ToUtf8("\xa4\xa4\xa4\xe5 ok"), "中文 ok");
  EXPECT_FALSE(big5ToUtf8("\x81\x30").has_value());
  EXPECT_FALSE(big5ToUtf8("\xa4").has_value());  // truncated double byte
  EXPECT_EQ(utf8ToBig5("中文 ok"), "\xa4\xa4\xa4\xe5 ok");
  EXPECT_FALSE(utf8ToBig5("😀").has_value());
}

}  // namespace
}  // namespace karv
