#include "ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <vector>

#include "platform/Trace.h"
#include "ui/QtConversions.h"
#include "ui/UiTypes.h"
#include "ui/Window.h"

namespace talvinor {

namespace {

MessageBox::Answerer& CurrentAnswerer() {
  static MessageBox::Answerer answerer;
  return answerer;
}

}  // namespace

MessageBox::Answerer MessageBox::SetAnswerer(Answerer answerer) {
  Answerer previous = std::move(CurrentAnswerer());
  CurrentAnswerer() = std::move(answerer);
  return previous;
}

int MessageBox::Show(WindowId owner, const std::wstring& text, const std::wstring& caption, uint32_t flags) {
  MessageBoxRequest request{owner, text, caption, flags};
  if (CurrentAnswerer()) return CurrentAnswerer()(request);
  return ShowQtBox(request);
}

int MessageBox::ShowQtBox(const MessageBoxRequest& request) {
  if (!qApp || QThread::currentThread() != qApp->thread()) {
    Trace("MessageBox::Show - not on the UI thread\r\n");
    return 0;
  }
  Window* ownerWindow = Window::FromId(request.owner);
  QWidget* parent = ownerWindow && ownerWindow->Widget() ? ownerWindow->Widget()->window() : nullptr;

  QMessageBox box(parent);
  box.setWindowTitle(ToQString(request.caption));
  box.setText(ToDisplayText(request.text));
  box.setTextFormat(Qt::PlainText);
  switch (request.flags & 0xF0) {
    case kMbIconHand: box.setIcon(QMessageBox::Critical); break;
    case kMbIconQuestion: box.setIcon(QMessageBox::Question); break;
    case kMbIconExclamation: box.setIcon(QMessageBox::Warning); break;
    case kMbIconAsterisk: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }

  struct Choice {
    const wchar_t* text;
    QMessageBox::ButtonRole role;
    int answer;
  };
  std::vector<Choice> choices;
  switch (request.flags & 0x0F) {
    case kMbOkCancel:
      choices = {{L"OK", QMessageBox::AcceptRole, kIdOk}, {L"キャンセル", QMessageBox::RejectRole, kIdCancel}};
      break;
    case kMbYesNoCancel:
      choices = {{L"はい", QMessageBox::YesRole, kIdYes},
                 {L"いいえ", QMessageBox::NoRole, kIdNo},
                 {L"キャンセル", QMessageBox::RejectRole, kIdCancel}};
      break;
    case kMbYesNo:
      choices = {{L"はい", QMessageBox::YesRole, kIdYes}, {L"いいえ", QMessageBox::NoRole, kIdNo}};
      break;
    default:
      choices = {{L"OK", QMessageBox::AcceptRole, kIdOk}};
      break;
  }
  std::vector<QPushButton*> buttons;
  for (const Choice& c : choices) buttons.push_back(box.addButton(ToQString(c.text), c.role));

  size_t defaultIndex = 0;
  if ((request.flags & 0xF00) == kMbDefButton2) defaultIndex = 1;
  if ((request.flags & 0xF00) == kMbDefButton3) defaultIndex = 2;
  if (defaultIndex >= buttons.size()) defaultIndex = 0;
  box.setDefaultButton(buttons[defaultIndex]);
  // Escape answers as the handset does: Cancel when there is one, else No,
  // else OK.
  size_t escapeIndex = buttons.size() - 1;
  box.setEscapeButton(buttons[escapeIndex]);

  DispatchScope scope;
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (size_t i = 0; i < buttons.size(); ++i)
    if (buttons[i] == clicked) return choices[i].answer;
  return choices[escapeIndex].answer;
}

}  // namespace talvinor
