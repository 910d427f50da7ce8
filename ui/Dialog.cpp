#include "ui/Dialog.h"

#include <QDialog>
#include <QKeyEvent>

#include "ui/QtConversions.h"

namespace talvinor {

namespace {

class DialogWidget : public QDialog {
 public:
  using QDialog::QDialog;

 protected:
  // Escape and the close button become the cancel command of the dialog's
  // object, which decides.
  void reject() override {
    Window* window = Window::FromWidget(this);
    if (!window || window->Widget() != this) return QDialog::reject();
    DispatchScope scope;
    RefPtr<Window> keep(window);
    window->HandleMessage(kWmCommand, MakeWParam(kIdCancel, 0), 0);
  }
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    reject();
  }
  void keyPressEvent(QKeyEvent* event) override {
    // Enter goes to the focused control, not to an implicit default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return QWidget::keyPressEvent(event);
    QDialog::keyPressEvent(event);
  }
};

}  // namespace

QWidget* Dialog::CreateWidget(QWidget* parent, const std::wstring& text, uint32_t) {
  auto* dialog = new DialogWidget(parent);
  dialog->setWindowTitle(ToQString(text));
  dialog->setModal(true);
  return dialog;
}

int Dialog::DoModal(Window* parent, const std::wstring& caption, int width, int height) {
  if (!parent || !parent->Widget()) return -1;
  if (Widget()) DestroyWindow();
  RefPtr<Window> keep(this);
  // The dialog is a window of its own over the parent's frame; its widget is
  // built here rather than by Create, which would make it a child control.
  QWidget* dialog = CreateWidget(parent->Widget()->window(), caption, 0);
  dialog->setFixedSize(width, height);
  if (!Attach(dialog)) {
    delete dialog;
    return -1;
  }
  if (HandleMessage(kWmInitDialog, 0, 0) == -1 || !Widget()) {
    QWidget* widget = Detach();
    delete widget;
    return -1;
  }
  m_running = true;
  int result;
  {
    DispatchScope scope;
    result = static_cast<QDialog*>(dialog)->exec();
  }
  m_running = false;
  HandleMessage(kWmDestroy, 0, 0);
  QWidget* widget = Detach();
  if (widget) {
    if (DispatchScope::Active()) widget->deleteLater();
    else delete widget;
  }
  return result;
}

void Dialog::EndDialog(int result) {
  if (auto* dialog = qobject_cast<QDialog*>(Widget())) dialog->done(result);
}

intptr_t Dialog::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kWmCommand && LowWord(wParam) == kIdCancel && lParam == 0) {
    EndDialog(kIdCancel);
    return 0;
  }
  return Window::HandleMessage(message, wParam, lParam);
}

}  // namespace talvinor
