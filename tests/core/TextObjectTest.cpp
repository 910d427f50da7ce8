#include <gtest/gtest.h>

#include "core/NarrowTextObject.h"
#include "core/TextObject.h"

namespace talvinor {
namespace {

TEST(TextObject, AssignsAndTrims) {
  RefPtr<TextObject> t = Create<TextObject>(L"  name\t");
  EXPECT_EQ(t->GetTypeCode(), 0x1101u);
  t->TrimBlanks();
  EXPECT_STREQ(t->CStr(), L"name");
  RefPtr<TextObject> u = Create<TextObject>(static_cast<const wchar_t*>(nullptr));
  EXPECT_EQ(u->Length(), 0u);
  u->Assign(*t);
  EXPECT_EQ(u->Text(), L"name");
  RefPtr<NarrowTextObject> n = Create<NarrowTextObject>(" x ");
  n->TrimBlanks();
  EXPECT_STREQ(n->CStr(), "x");
  EXPECT_EQ(n->GetTypeCode(), 0x1102u);
}

}  // namespace
}  // namespace talvinor
