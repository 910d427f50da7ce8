#include <gtest/gtest.h>

#include "core/MemoryBuffer.h"
#include "settings/RecordParser.h"
#include "settings/RecordWriter.h"

namespace talvinor {
namespace {

TEST(RecordWriter, TypeDefinitionsHaveTheirExactLayout) {
  auto w = Create<RecordWriter>();
  w->WriteTypeDefinition(RecordType{L"NUM", true, {}}, true);
  w->WriteTypeDefinition(RecordType{L"EMPTY", false, {}}, false);
  w->WriteTypeDefinition(RecordType{L"R", false, {{L"NUM", L"m_A", false}, {L"R2", L"m_B", true}}}, false);
  EXPECT_EQ(w->ToText(),
            L"type base; name=\"NUM\"; { }\r\n"
            L"type name=\"EMPTY\"; { }\r\n"
            L"type name=\"R\";\r\n{\r\n NUM m_A;\r\n R2 m_B array;\r\n}\r\n\r\n");
}

TEST(RecordWriter, ValuesHeadersAndCp932Bytes) {
  auto w = Create<RecordWriter>();
  w->WriteDataHeader(L"CONFIG");
  w->WriteArrayHeader(L"CONFIG_SCENE");
  w->WriteNumber(-12);
  w->WriteString(L"録音\\\"");
  w->WriteIndent(3, L'.');
  // Long enough to span several chunks.
  for (int i = 0; i < 200; ++i) w->WriteText(L"あ");
  std::wstring text = w->ToText();
  EXPECT_EQ(text.substr(0, 66), L"data main; type=\"CONFIG\";@array; type=\"CONFIG_SCENE\";-12;\"録音\\\\\\\"\";");
  EXPECT_EQ(text.substr(66, 3), L"...");
  auto bytes = Create<HeapBuffer>();
  ASSERT_TRUE(w->ToBytes(bytes.Get()));
  std::string stored(reinterpret_cast<const char*>(bytes->GetPointer()), bytes->GetSize());
  EXPECT_EQ(stored.size(), 66u + 2u + 3u + 400u);  // 録音 and each あ take two bytes
  EXPECT_EQ(stored.substr(58, 4), "\x98\x5E\x89\xB9");  // 録音 in CP932
}

// A parser that records what it was handed.
class ProbeParser : public RecordParser {
  TALVINOR_CLASS_CODES(0x18209, 0x18200)

 public:
  bool requireHeader = false;
  int defines = 0;
  std::vector<RecordItem> main;

 protected:
  std::wstring_view MagicLine() const override { return L"MAGIC"; }
  uint32_t TokenizerOptions() const override { return kSettingsTokenizerOptions; }
  bool RequiresHeader() const override { return requireHeader; }
  bool OnDefine(const RecordAttributes&, const RecordAttributes& body) override {
    ++defines;
    return body.Find(L"ok") != nullptr;
  }
  bool OnMainData(const RecordAttributes&, const std::vector<RecordItem>& record) override {
    main = record;
    return true;
  }
};

TEST(RecordParser, RecordsKeepTheirShape) {
  auto p = Create<ProbeParser>();
  ASSERT_TRUE(p->Parse(L"MAGIC type name=T; { NUM a; STR b array; }\r\n"
                       L"define d; { ok; x=\"y\"; }\r\n"
                       L"data main; { 1; sym; \"t\"; { 2; } @tag; k=0x10; { { 3; } } }"));
  ASSERT_EQ(p->main.size(), 5u);
  EXPECT_EQ(p->main[0].value.number.integer, 1);
  EXPECT_EQ(p->main[1].value.kind, TokenKind::Symbol);
  EXPECT_EQ(p->main[2].value.text, L"t");
  EXPECT_EQ(p->main[3].kind, RecordItemKind::Record);
  EXPECT_EQ(p->main[4].kind, RecordItemKind::Tagged);
  EXPECT_EQ(p->main[4].attributes.Find(L"k")->value.number.integer, 16);
  EXPECT_EQ(p->main[4].items[0].items[0].value.number.integer, 3);
  EXPECT_EQ(p->defines, 1);
  const RecordType* t = p->Types()->Find(L"T");  // a symbol names it as well as a text
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->FindField(L"b"), 1);
  EXPECT_TRUE(t->fields[1].isArray);
}

TEST(RecordParser, FailuresCarryAReasonAndAPosition) {
  auto p = Create<ProbeParser>();
  EXPECT_FALSE(p->Parse(L"MAGIC\r\ndata main; {\r\n 1;\r\n 2 }"));
  EXPECT_EQ(p->LastError(), RecordParseError::ExpectedSemicolon);
  EXPECT_EQ(p->DescribeError().rfind(L"line 4, column 4: ';' expected", 0), 0u);
  EXPECT_FALSE(p->Parse(L"MAGIC define d; { no; }"));
  EXPECT_EQ(p->LastError(), RecordParseError::Rejected);
  p->requireHeader = true;
  EXPECT_FALSE(p->Parse(L"MAGIC data main; { }"));
  EXPECT_EQ(p->LastError(), RecordParseError::HeaderMissing);
  EXPECT_TRUE(p->Parse(L"MAGIC header h; { v=1; } data main; { }"));
  EXPECT_FALSE(p->Parse(L"MAGIC type name=T; { NUM a b; }"));
  // The settings options tolerate an unknown escape and keep it literally.
  ASSERT_TRUE(p->Parse(L"MAGIC header h; { } data main; { \"x\\q\"; }"));
  EXPECT_EQ(p->main[0].value.text, L"x\\q");
}

}  // namespace
}  // namespace talvinor
