#include "ui/Edit.h"

#include <algorithm>

#include <QAbstractTextDocumentLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include "ui/QtConversions.h"

namespace talvinor {

namespace {

// Screen lines before the cursor's block plus the cursor's line in it.
int VisualLine(const QPlainTextEdit* edit, const QTextCursor& cursor) {
  int line = 0;
  const QTextBlock current = cursor.block();
  for (QTextBlock b = edit->document()->firstBlock(); b.isValid() && b != current; b = b.next()) {
    const QTextLayout* layout = b.layout();
    line += layout && layout->lineCount() > 0 ? layout->lineCount() : 1;
  }
  const QTextLayout* layout = current.layout();
  if (layout && layout->lineCount() > 0) {
    const QTextLine inBlock = layout->lineForTextPosition(cursor.positionInBlock());
    if (inBlock.isValid()) line += inBlock.lineNumber();
  }
  return line;
}

}  // namespace

QWidget* Edit::CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) {
  if (style & kEsMultiLine) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setPlainText(ToDisplayText(text));
    edit->setReadOnly(style & kEsReadOnly);
    // A read-only text keeps a caret, as the handset's edit does, so that
    // the keys move through it line by line.
    if (style & kEsReadOnly)
      edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    edit->setVerticalScrollBarPolicy((style & kWsVScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setFrameShape(QFrame::NoFrame);
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [this] {
      if (!m_settingText) CommandParent(kEnChange);
    });
    return edit;
  }
  auto* edit = new QLineEdit(ToDisplayText(text), parent);
  edit->setReadOnly(style & kEsReadOnly);
  if (style & kEsPassword) edit->setEchoMode(QLineEdit::Password);
  if (style & kEsCenter) edit->setAlignment(Qt::AlignHCenter);
  if (style & kEsRight) edit->setAlignment(Qt::AlignRight);
  QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { CommandParent(kEnChange); });
  return edit;
}

void Edit::SetText(const std::wstring& text) {
  m_settingText = true;
  if (auto* multi = qobject_cast<QPlainTextEdit*>(Widget())) {
    multi->setPlainText(ToDisplayText(text));
    MoveCaretToStart();
  } else if (auto* line = qobject_cast<QLineEdit*>(Widget())) {
    line->setText(ToQString(text));
  }
  m_settingText = false;
}

std::wstring Edit::GetText() const {
  if (auto* multi = qobject_cast<QPlainTextEdit*>(Widget())) return FromQString(multi->toPlainText());
  if (auto* line = qobject_cast<QLineEdit*>(Widget())) return FromQString(line->text());
  return {};
}

bool Edit::IsMultiLine() const { return qobject_cast<QPlainTextEdit*>(Widget()) != nullptr; }

void Edit::SetReadOnly(bool readOnly) {
  if (auto* multi = qobject_cast<QPlainTextEdit*>(Widget())) multi->setReadOnly(readOnly);
  if (auto* line = qobject_cast<QLineEdit*>(Widget())) line->setReadOnly(readOnly);
}

bool Edit::IsReadOnly() const {
  if (auto* multi = qobject_cast<QPlainTextEdit*>(Widget())) return multi->isReadOnly();
  if (auto* line = qobject_cast<QLineEdit*>(Widget())) return line->isReadOnly();
  return false;
}

void Edit::SetLimitText(int characters) {
  m_limit = characters > 0 ? characters : 0;
  if (auto* line = qobject_cast<QLineEdit*>(Widget())) line->setMaxLength(m_limit > 0 ? m_limit : 32767);
}

int Edit::GetLineCount() const {
  auto* multi = qobject_cast<QPlainTextEdit*>(Widget());
  if (!multi) return 1;
  int lines = 0;
  for (QTextBlock b = multi->document()->firstBlock(); b.isValid(); b = b.next()) {
    const QTextLayout* layout = b.layout();
    lines += layout && layout->lineCount() > 0 ? layout->lineCount() : 1;
  }
  return lines > 0 ? lines : 1;
}

int Edit::GetCaretLine() const {
  auto* multi = qobject_cast<QPlainTextEdit*>(Widget());
  return multi ? VisualLine(multi, multi->textCursor()) : 0;
}

bool Edit::IsCaretOnFirstLine() const { return GetCaretLine() == 0; }

bool Edit::IsCaretOnLastLine() const { return GetCaretLine() >= GetLineCount() - 1; }

void Edit::SetSelection(int start, int end) {
  if (auto* multi = qobject_cast<QPlainTextEdit*>(Widget())) {
    QTextCursor cursor = multi->textCursor();
    const int last = multi->document()->characterCount() - 1;
    cursor.setPosition(std::clamp(start, 0, last));
    cursor.setPosition(end < 0 ? last : std::clamp(end, 0, last), QTextCursor::KeepAnchor);
    multi->setTextCursor(cursor);
  } else if (auto* line = qobject_cast<QLineEdit*>(Widget())) {
    const int last = static_cast<int>(line->text().size());
    const int from = std::clamp(start, 0, last);
    const int to = end < 0 ? last : std::clamp(end, 0, last);
    line->setSelection(from, to - from);
  }
}

void Edit::MoveCaretToStart() {
  if (auto* multi = qobject_cast<QPlainTextEdit*>(Widget())) {
    QTextCursor cursor = multi->textCursor();
    cursor.setPosition(0);
    multi->setTextCursor(cursor);
    multi->verticalScrollBar()->setValue(0);
  } else if (auto* line = qobject_cast<QLineEdit*>(Widget())) {
    line->setCursorPosition(0);
  }
}

}  // namespace talvinor
