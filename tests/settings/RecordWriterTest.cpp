#include <gtest/gtest.h>

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

}  // namespace
}  // namespace talvinor
