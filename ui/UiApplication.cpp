#include "ui/UiApplication.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

#include <cstdlib>

#include "ui/QtConversions.h"
#include "ui/Window.h"

namespace talvinor {

namespace {

UiApplication::KeyHook& Hook() {
  static UiApplication::KeyHook hook;
  return hook;
}

class KeyFilter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    if (!Hook() || !watched->isWidgetType()) return false;
    // A key event travels from the focus widget up to its parents; the hook
    // sees it once, at the widget that has the focus.
    if (watched != static_cast<QObject*>(QApplication::focusWidget())) return false;
    WindowMessage key;
    if (!ToKeyMessage(*static_cast<QKeyEvent*>(event), &key)) return false;
    Window* window = Window::FromWidget(qobject_cast<QWidget*>(watched));
    key.window = window ? window->Id() : 0;
    DispatchScope scope;
    return Hook()(key);
  }
};

}  // namespace

struct UiApplication::Impl {
  std::unique_ptr<QApplication> app;
  KeyFilter filter;
};

bool UiApplication::DisplayAvailable(std::string* why) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform) return true;  // chosen by the user (offscreen, xcb, ...)
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((x11 && *x11) || (wayland && *wayland)) return true;
  if (why) {
    *why =
        "no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
        "Start Talvinor from a desktop session, or run it under a virtual display:\n"
        "  xvfb-run -a ./talvinor\n"
        "or without any screen:  QT_QPA_PLATFORM=offscreen ./talvinor";
  }
  return false;
}

UiApplication::UiApplication(int& argc, char** argv) : m_impl(std::make_unique<Impl>()) {
  m_impl->app = std::make_unique<QApplication>(argc, argv);
  InstallFontSubstitutions();
  QApplication::setFont(ToQFont(FontSpec{kFacePGothic, 0, false}));
  m_impl->app->installEventFilter(&m_impl->filter);
}

UiApplication::~UiApplication() {
  m_impl->app->removeEventFilter(&m_impl->filter);
  Hook() = nullptr;
  // Windows destroyed while the loop ran are deleted later; finish that.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int UiApplication::Run() {
  const int code = QApplication::exec();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return code;
}

void UiApplication::Quit(int code) { QCoreApplication::exit(code); }

void UiApplication::ProcessEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool UiApplication::IsModalDialogOpen() { return QApplication::activeModalWidget() != nullptr; }

void UiApplication::CloseModalDialogs() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
  }
}

bool UiApplication::GetScreenSize(int* width, int* height) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  const QSize size = screen->size();
  *width = size.width();
  *height = size.height();
  return true;
}

void UiApplication::SetKeyHook(KeyHook hook) { Hook() = std::move(hook); }

}  // namespace talvinor
