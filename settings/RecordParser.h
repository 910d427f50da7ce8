#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/RefPtr.h"
#include "settings/Tokenizer.h"
#include "settings/TypeRegistry.h"

namespace talvinor {

// Why a parse failed. The numbers are stable and show in diagnostics only.
enum class RecordParseError : int {
  None = 0,
  BadMagic = 1,           // the text does not start with the magic line
  Token = 2,              // the tokenizer refused a value or name (see TokenError())
  UnexpectedEnd = 3,      // the text ended inside a statement or record
  ExpectedOpenBrace = 4,
  ExpectedSemicolon = 5,
  RepeatedAttribute = 6,  // the same attribute name twice in one list
  NestingTooDeep = 7,     // records nested deeper than any real file does
  NoMainBlock = 8,        // the text ended before the "main" data block
  HeaderMissing = 9,      // a header block is required and none came first
  TypeWithoutName = 10,   // a "type" statement without a name attribute
  Rejected = 11,          // the concrete parser refused the main block's content
};

// "name", "name=value" items of an attribute list.
struct RecordAttribute {
  std::wstring name;
  bool hasValue = false;
  Token value;
};

struct RecordAttributes {
  std::vector<RecordAttribute> items;
  const RecordAttribute* Find(std::wstring_view name) const;
  // The text of attribute `name` when it has a text or symbol value.
  bool TextOf(std::wstring_view name, std::wstring* text) const;
};

// How an item of a record was written.
enum class RecordItemKind {
  Value,   // a value followed by ";"
  Record,  // a nested "{ ... }"
  Tagged,  // "@" attributes, then a nested record (the form arrays use)
};

struct RecordItem {
  RecordItemKind kind = RecordItemKind::Value;
  Token value;                  // Value
  RecordAttributes attributes;  // Tagged
  std::vector<RecordItem> items;  // Record and Tagged
  size_t position = 0;
};

// Reads a typed record text: the magic line, "type" definitions, "define"
// and "header" blocks, and "data" blocks until the one named "main", which
// the concrete parser maps into its model. Anything after the main block is
// not read. Other statements are skipped with their brace block.
class RecordParser : public RefObject {
  TALVINOR_CLASS_CODES(0x18200)

 public:
  // True when the main block was read and accepted.
  bool Parse(std::wstring_view text);

  const TypeRegistry* Types() const { return m_types.Get(); }
  RecordParseError LastError() const { return m_error; }
  TokenError LastTokenError() const { return m_tokenError; }
  size_t ErrorPosition() const { return m_errorPos; }
  // "line L, column C: <what>" for messages and trace lines.
  std::wstring DescribeError() const;

 protected:
  virtual std::wstring_view MagicLine() const = 0;
  virtual uint32_t TokenizerOptions() const = 0;
  virtual bool RequiresHeader() const { return false; }
  virtual bool OnHeader(const RecordAttributes& /*attributes*/, const RecordAttributes& /*body*/) { return true; }
  virtual bool OnDefine(const RecordAttributes& /*attributes*/, const RecordAttributes& /*body*/) { return true; }
  // The main data block; return false (with RejectDetail set) to fail the parse.
  virtual bool OnMainData(const RecordAttributes& attributes, const std::vector<RecordItem>& record) = 0;

  // Concrete parsers say why they rejected the main block, and where
  // (npos: at the start of the block).
  void SetRejectDetail(std::wstring detail, size_t position);

 private:
  static constexpr int kMaxDepth = 16;

  bool Fail(RecordParseError error);
  bool FailToken();
  bool ParseAttributes(RecordAttributes* attributes);
  bool ParseAttributeBlock(RecordAttributes* body);
  bool ParseAttributeItem(RecordAttributes* list);
  bool ParseTypeStatement();
  bool ParseRecord(std::vector<RecordItem>* items, int depth);

  RefPtr<Tokenizer> m_tok;
  RefPtr<TypeRegistry> m_types;
  RecordParseError m_error = RecordParseError::None;
  TokenError m_tokenError = TokenError::None;
  size_t m_errorPos = 0;
  std::wstring m_rejectDetail;
};

}  // namespace talvinor
