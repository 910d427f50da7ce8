#include <gtest/gtest.h>

#include "settings/RecordParser.h"

namespace talvinor {
namespace {

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
