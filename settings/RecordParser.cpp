#include "settings/RecordParser.h"

#include <unordered_set>

namespace talvinor {

const RecordAttribute* RecordAttributes::Find(std::wstring_view name) const {
  for (const RecordAttribute& a : items) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

bool RecordAttributes::TextOf(std::wstring_view name, std::wstring* text) const {
  const RecordAttribute* a = Find(name);
  if (!a || !a->hasValue) return false;
  if (a->value.kind != TokenKind::Text && a->value.kind != TokenKind::Symbol) return false;
  *text = a->value.text;
  return true;
}

bool RecordParser::Fail(RecordParseError error) {
  m_error = error;
  m_errorPos = m_tok ? m_tok->Position() : 0;
  return false;
}

bool RecordParser::FailToken() {
  m_error = m_tok->LastError() == TokenError::EndOfText ? RecordParseError::UnexpectedEnd : RecordParseError::Token;
  m_tokenError = m_tok->LastError();
  m_errorPos = m_tok->ErrorPosition();
  return false;
}

void RecordParser::SetRejectDetail(std::wstring detail, size_t position) {
  m_rejectDetail = std::move(detail);
  if (position != std::wstring::npos) m_errorPos = position;
}

bool RecordParser::Parse(std::wstring_view text) {
  m_tok = Create<Tokenizer>(text, TokenizerOptions());
  m_types = Create<TypeRegistry>();
  m_error = RecordParseError::None;
  m_tokenError = TokenError::None;
  m_errorPos = 0;
  m_rejectDetail.clear();

  // The magic line must be the very first thing: no blank, no byte-order mark.
  std::wstring_view magic = MagicLine();
  if (!m_tok->LooksAt(magic)) return Fail(RecordParseError::BadMagic);
  m_tok->Advance(magic.size());

  bool headerSeen = false;
  for (;;) {
    m_tok->SkipBlanks();
    if (m_tok->AtEnd()) return Fail(RecordParseError::NoMainBlock);
    size_t statementStart = m_tok->Position();
    std::wstring keyword;
    if (!m_tok->ReadName(&keyword)) return FailToken();

    if (keyword == L"type") {
      if (!ParseTypeStatement()) return false;
    } else if (keyword == L"define" || keyword == L"header") {
      RecordAttributes attributes, body;
      if (!ParseAttributes(&attributes) || !ParseAttributeBlock(&body)) return false;
      bool accepted = keyword == L"define" ? OnDefine(attributes, body) : OnHeader(attributes, body);
      if (!accepted) {
        m_errorPos = statementStart;
        m_error = RecordParseError::Rejected;
        return false;
      }
      if (keyword == L"header") headerSeen = true;
    } else if (keyword == L"data") {
      RecordAttributes attributes;
      std::vector<RecordItem> record;
      if (!ParseAttributes(&attributes) || !ParseRecord(&record, 0)) return false;
      if (attributes.items.empty() || attributes.items.front().name != L"main") continue;
      if (RequiresHeader() && !headerSeen) {
        m_errorPos = statementStart;
        m_error = RecordParseError::HeaderMissing;
        return false;
      }
      m_errorPos = statementStart;
      if (!OnMainData(attributes, record)) {
        m_error = RecordParseError::Rejected;
        return false;
      }
      // Whatever follows the main block is not read.
      return true;
    } else {
      if (!m_tok->SkipStatement()) return FailToken();
    }
  }
}

bool RecordParser::ParseAttributeItem(RecordAttributes* list) {
  RecordAttribute item;
  if (!m_tok->ReadName(&item.name)) return FailToken();
  m_tok->SkipBlanks();
  if (m_tok->Accept(L'=')) {
    m_tok->SkipBlanks();
    if (!m_tok->ReadValue(&item.value)) return FailToken();
    item.hasValue = true;
    m_tok->SkipBlanks();
  }
  if (!m_tok->Accept(L';')) return Fail(m_tok->AtEnd() ? RecordParseError::UnexpectedEnd : RecordParseError::ExpectedSemicolon);
  list->items.push_back(std::move(item));
  return true;
}

// An attribute list runs up to (not including) the next "{".
bool RecordParser::ParseAttributes(RecordAttributes* attributes) {
  std::unordered_set<std::wstring> seen;
  for (;;) {
    m_tok->SkipBlanks();
    if (m_tok->AtEnd()) return Fail(RecordParseError::UnexpectedEnd);
    if (m_tok->Peek() == L'{') return true;
    size_t start = m_tok->Position();
    if (!ParseAttributeItem(attributes)) return false;
    if (!seen.insert(attributes->items.back().name).second) {
      m_tok->SetPosition(start);
      return Fail(RecordParseError::RepeatedAttribute);
    }
  }
}

// "{" attribute items "}" (the body of "define" and "header").
bool RecordParser::ParseAttributeBlock(RecordAttributes* body) {
  m_tok->SkipBlanks();
  if (!m_tok->Accept(L'{')) return Fail(m_tok->AtEnd() ? RecordParseError::UnexpectedEnd : RecordParseError::ExpectedOpenBrace);
  std::unordered_set<std::wstring> seen;
  for (;;) {
    m_tok->SkipBlanks();
    if (m_tok->AtEnd()) return Fail(RecordParseError::UnexpectedEnd);
    if (m_tok->Accept(L'}')) return true;
    size_t start = m_tok->Position();
    if (!ParseAttributeItem(body)) return false;
    if (!seen.insert(body->items.back().name).second) {
      m_tok->SetPosition(start);
      return Fail(RecordParseError::RepeatedAttribute);
    }
  }
}

bool RecordParser::ParseTypeStatement() {
  size_t start = m_tok->Position();
  RecordAttributes attributes;
  if (!ParseAttributes(&attributes)) return false;
  RecordType type;
  if (!attributes.TextOf(L"name", &type.name)) {
    m_tok->SetPosition(start);
    return Fail(RecordParseError::TypeWithoutName);
  }
  type.isBase = attributes.Find(L"base") != nullptr;

  m_tok->SkipBlanks();
  if (!m_tok->Accept(L'{')) return Fail(RecordParseError::ExpectedOpenBrace);
  for (;;) {
    m_tok->SkipBlanks();
    if (m_tok->AtEnd()) return Fail(RecordParseError::UnexpectedEnd);
    if (m_tok->Accept(L'}')) break;
    RecordField field;
    if (!m_tok->ReadName(&field.typeName)) return FailToken();
    m_tok->SkipBlanks();
    if (!m_tok->ReadName(&field.name)) return FailToken();
    m_tok->SkipBlanks();
    if (m_tok->HasClass(m_tok->Peek(), kClassNameStart)) {
      std::wstring word;
      size_t wordStart = m_tok->Position();
      if (!m_tok->ReadName(&word)) return FailToken();
      if (word != L"array") {
        m_tok->SetPosition(wordStart);
        return Fail(RecordParseError::ExpectedSemicolon);
      }
      field.isArray = true;
      m_tok->SkipBlanks();
    }
    if (!m_tok->Accept(L';')) return Fail(m_tok->AtEnd() ? RecordParseError::UnexpectedEnd : RecordParseError::ExpectedSemicolon);
    type.fields.push_back(std::move(field));
  }
  m_types->Add(std::move(type));
  return true;
}

bool RecordParser::ParseRecord(std::vector<RecordItem>* items, int depth) {
  m_tok->SkipBlanks();
  if (!m_tok->Accept(L'{')) return Fail(m_tok->AtEnd() ? RecordParseError::UnexpectedEnd : RecordParseError::ExpectedOpenBrace);
  // Bounded so that a text of nothing but "{" cannot exhaust the stack.
  if (depth >= kMaxDepth) return Fail(RecordParseError::NestingTooDeep);
  for (;;) {
    m_tok->SkipBlanks();
    if (m_tok->AtEnd()) return Fail(RecordParseError::UnexpectedEnd);
    if (m_tok->Accept(L'}')) return true;
    RecordItem item;
    item.position = m_tok->Position();
    if (m_tok->Peek() == L'{') {
      item.kind = RecordItemKind::Record;
      if (!ParseRecord(&item.items, depth + 1)) return false;
    } else if (m_tok->Accept(L'@')) {
      item.kind = RecordItemKind::Tagged;
      if (!ParseAttributes(&item.attributes) || !ParseRecord(&item.items, depth + 1)) return false;
    } else {
      item.kind = RecordItemKind::Value;
      if (!m_tok->ReadValue(&item.value)) return FailToken();
      m_tok->SkipBlanks();
      if (!m_tok->Accept(L';')) return Fail(m_tok->AtEnd() ? RecordParseError::UnexpectedEnd : RecordParseError::ExpectedSemicolon);
    }
    items->push_back(std::move(item));
  }
}

std::wstring RecordParser::DescribeError() const {
  static const wchar_t* const kWhat[] = {
      L"no error",
      L"the text does not start with the magic line",
      L"bad value or name",
      L"unexpected end of the text",
      L"'{' expected",
      L"';' expected",
      L"repeated attribute",
      L"records nested too deeply",
      L"no \"main\" data block",
      L"header block missing",
      L"type definition without a name",
      L"content refused",
  };
  static const wchar_t* const kTokenWhat[] = {
      L"", L"end of text", L"unexpected character", L"unterminated text", L"unknown escape",
      L"malformed number", L"repeated operator", L"number too large", L"unbalanced brace",
  };
  size_t line = 1, column = 1;
  if (m_tok) m_tok->LineAndColumn(m_errorPos, &line, &column);
  int code = static_cast<int>(m_error);
  std::wstring out = L"line " + std::to_wstring(line) + L", column " + std::to_wstring(column) + L": ";
  out += (code >= 0 && code < static_cast<int>(std::size(kWhat))) ? kWhat[code] : L"error";
  if (m_error == RecordParseError::Token) {
    int t = static_cast<int>(m_tokenError);
    if (t > 0 && t < static_cast<int>(std::size(kTokenWhat))) out += std::wstring(L" (") + kTokenWhat[t] + L")";
  }
  if (!m_rejectDetail.empty()) out += L" (" + m_rejectDetail + L")";
  out += L" [error " + std::to_wstring(code) + L"]";
  return out;
}

}  // namespace talvinor
