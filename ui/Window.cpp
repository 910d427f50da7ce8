#include "ui/Window.h"

#include <QApplication>
#include <QPainter>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <unordered_map>

#include "ui/QtConversions.h"
#include "ui/QtMessageSink.h"
#include "ui/SkinImage.h"

namespace talvinor {

namespace {

constexpr char kWindowProperty[] = "talvinorWindow";

// Bound windows by id, UI thread only (posts from other threads go through
// the registry of WindowMessages.h instead).
std::unordered_map<WindowId, Window*>& BoundWindows() {
  static std::unordered_map<WindowId, Window*> windows;
  return windows;
}

uint64_t g_nextSerial = 0;  // UI thread only

// A plain window: paints its background image, if any, over its palette
// background.
class PlainWindowWidget : public QWidget {
 public:
  explicit PlainWindowWidget(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    Window* window = Window::FromWidget(this);
    if (!window || window->Widget() != this) return;
    if (SkinImage* image = window->BackgroundImage(); image && !image->IsNull()) {
      QPainter painter(this);
      painter.drawImage(rect(), image->Image());
    }
  }
};

}  // namespace

Window::Window() = default;

Window::~Window() {
  if (!m_widget) return;
  // Destroying the object destroys an owned window; an attached one is only
  // unbound. No messages now: the derived parts are already gone.
  const bool owned = m_owned;
  std::vector<Window*> descendants;
  CollectBoundDescendants(ClientWidget(), &descendants);
  for (Window* d : descendants) d->Unbind();
  QWidget* outer = m_outer;
  QWidget* widget = Unbind();
  if (owned) {
    QWidget* victim = outer ? outer : widget;
    if (DispatchScope::Active()) {
      victim->hide();
      victim->deleteLater();
    } else {
      delete victim;
    }
  }
}

QWidget* Window::CreateWidget(QWidget* parent, const std::wstring&, uint32_t) {
  return new PlainWindowWidget(parent);
}

bool Window::Create(const std::wstring& text, uint32_t style, const Rect& rect, Window* parent, int controlId) {
  if (m_widget) DestroyWindow();
  QWidget* parentWidget = nullptr;
  if (parent) {
    parentWidget = parent->ClientWidget();
    if (!parentWidget) return false;
  }
  m_style = style;
  m_controlId = controlId;
  QWidget* widget = CreateWidget(parentWidget, text, style);
  if (!widget) return false;
  if (!parent) {
    // A top-level window: a frame whose layout holds the client area and,
    // later, the menu bar.
    auto* outer = new QWidget;
    auto* layout = new QVBoxLayout(outer);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(widget);
    outer->setWindowTitle(ToQString(text));
    if (rect.width > 0 && rect.height > 0) outer->resize(rect.width, rect.height);
    if (rect.x != 0 || rect.y != 0) outer->move(rect.x, rect.y);
    m_outer = outer;
  } else {
    widget->setGeometry(rect.x, rect.y, std::max(rect.width, 0), std::max(rect.height, 0));
  }
  if ((style & kWsTabStop) && widget->focusPolicy() == Qt::NoFocus) widget->setFocusPolicy(Qt::StrongFocus);
  if (style & kWsDisabled) widget->setEnabled(false);
  Bind(widget, true);
  m_serial = ++g_nextSerial;
  OnBound();
  RefPtr<Window> keep(this);
  if (HandleMessage(kWmCreate, 0, 0) == -1) {
    DestroyWindow();
    return false;
  }
  if (!m_widget) return false;
  if (style & kWsVisible) {
    (m_outer ? m_outer : m_widget)->show();
  } else if (!m_outer) {
    m_widget->hide();
  }
  return true;
}

bool Window::Attach(QWidget* widget) {
  if (!widget || m_widget) return false;
  if (FromWidget(widget) && FromWidget(widget)->Widget() == widget) return false;  // bound elsewhere
  Bind(widget, false);
  m_serial = ++g_nextSerial;
  OnBound();
  return true;
}

QWidget* Window::Detach() {
  if (!m_widget) return nullptr;
  if (m_owned) {
    DestroyWindow();
    return nullptr;
  }
  return Unbind();
}

void Window::DestroyWindow() {
  if (!m_widget) return;
  RefPtr<Window> keep(this);
  HandleMessage(kWmDestroy, 0, 0);
  if (!m_widget) return;  // the handler destroyed it already
  std::vector<Window*> descendants;
  CollectBoundDescendants(ClientWidget(), &descendants);
  for (Window* d : descendants) {
    RefPtr<Window> keepChild(d);
    if (!d->m_widget) continue;
    d->HandleMessage(kWmDestroy, 0, 0);
    if (d->m_widget) d->Unbind();
  }
  if (!m_widget) return;
  const bool owned = m_owned;
  QWidget* outer = m_outer;
  QWidget* widget = Unbind();
  if (!owned) return;
  QWidget* victim = outer ? outer : widget;
  victim->hide();
  if (DispatchScope::Active()) {
    victim->deleteLater();
  } else {
    delete victim;
  }
}

void Window::Bind(QWidget* widget, bool owned) {
  m_widget = widget;
  m_owned = owned;
  widget->setProperty(kWindowProperty, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(this)));
  m_sink = new QtMessageSink(this, widget, m_outer);
  m_id = RegisterWindow(m_sink);
  BoundWindows()[m_id] = this;
}

QWidget* Window::Unbind() {
  QWidget* widget = m_widget;
  if (!widget) return nullptr;
  // After UnregisterWindow returns no Deliver runs for this id any more.
  UnregisterWindow(m_id);
  BoundWindows().erase(m_id);
  m_sink->Forget();
  if (DispatchScope::Active()) {
    m_sink->deleteLater();
  } else {
    delete m_sink;
  }
  widget->setProperty(kWindowProperty, QVariant());
  m_sink = nullptr;
  m_widget = nullptr;
  m_outer = nullptr;
  m_owned = false;
  m_id = 0;
  return widget;
}

void Window::OnWidgetGone() {
  // Qt deletes the widget (with its parent): the handle is gone.
  UnregisterWindow(m_id);
  BoundWindows().erase(m_id);
  m_sink = nullptr;
  m_widget = nullptr;
  m_outer = nullptr;
  m_owned = false;
  m_id = 0;
}

void Window::CollectBoundDescendants(QWidget* widget, std::vector<Window*>* out) const {
  if (!widget) return;
  for (QObject* child : widget->children()) {
    auto* childWidget = qobject_cast<QWidget*>(child);
    if (!childWidget) continue;
    QVariant v = childWidget->property(kWindowProperty);
    if (v.isValid()) out->push_back(reinterpret_cast<Window*>(v.value<quintptr>()));
    CollectBoundDescendants(childWidget, out);
  }
}

intptr_t Window::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return DefaultHandling(message, wParam, lParam);
}

intptr_t Window::DefaultHandling(uint32_t message, uintptr_t, intptr_t) {
  switch (message) {
    case kWmClose:
      DestroyWindow();
      return 0;
    case kWmPaint:
      Redraw();
      return 0;
    default:
      return 0;
  }
}

intptr_t Window::SendMessage(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  Window* target = FromId(window);
  if (!target) return 0;
  RefPtr<Window> keep(target);
  return target->HandleMessage(message, wParam, lParam);
}

Window* Window::FromId(WindowId window) {
  auto it = BoundWindows().find(window);
  return it == BoundWindows().end() ? nullptr : it->second;
}

Window* Window::FromWidget(QWidget* widget) {
  for (; widget; widget = widget->parentWidget()) {
    QVariant v = widget->property(kWindowProperty);
    if (v.isValid()) return reinterpret_cast<Window*>(v.value<quintptr>());
  }
  return nullptr;
}

Window* Window::FocusedWindow() { return FromWidget(QApplication::focusWidget()); }

Window* Window::Parent() const {
  if (!m_widget || m_outer) return nullptr;
  return FromWidget(m_widget->parentWidget());
}

std::vector<Window*> Window::Children() const {
  std::vector<Window*> children;
  std::vector<QWidget*> pending{ClientWidget()};
  while (!pending.empty()) {
    QWidget* w = pending.back();
    pending.pop_back();
    if (!w) continue;
    for (QObject* child : w->children()) {
      auto* childWidget = qobject_cast<QWidget*>(child);
      if (!childWidget) continue;
      QVariant v = childWidget->property(kWindowProperty);
      if (v.isValid()) {
        children.push_back(reinterpret_cast<Window*>(v.value<quintptr>()));
      } else {
        pending.push_back(childWidget);  // a helper widget between us and our children
      }
    }
  }
  std::sort(children.begin(), children.end(), [](Window* a, Window* b) { return a->m_serial < b->m_serial; });
  return children;
}

Window* Window::Child(int controlId) const {
  for (Window* child : Children())
    if (child->ControlId() == controlId) return child;
  return nullptr;
}

void Window::SetText(const std::wstring& text) {
  if (!m_widget) return;
  if (m_outer) m_outer->setWindowTitle(ToQString(text));
  else m_widget->setWindowTitle(ToQString(text));
}

std::wstring Window::GetText() const {
  if (!m_widget) return {};
  return FromQString(m_outer ? m_outer->windowTitle() : m_widget->windowTitle());
}

void Window::Move(const Rect& rect) {
  if (!m_widget) return;
  if (m_outer) {
    m_outer->setGeometry(rect.x, rect.y, std::max(rect.width, 0), std::max(rect.height, 0));
  } else {
    m_widget->setGeometry(rect.x, rect.y, std::max(rect.width, 0), std::max(rect.height, 0));
  }
}

void Window::Resize(int width, int height) {
  if (!m_widget) return;
  (m_outer ? m_outer : m_widget)->resize(std::max(width, 0), std::max(height, 0));
}

Rect Window::GetRect() const {
  if (!m_widget) return {};
  const QRect r = m_outer ? m_outer->geometry() : m_widget->geometry();
  return {r.x(), r.y(), r.width(), r.height()};
}

void Window::GetClientSize(int* width, int* height) const {
  QWidget* client = ClientWidget();
  *width = client ? client->width() : 0;
  *height = client ? client->height() : 0;
}

void Window::Show(bool visible) {
  if (!m_widget) return;
  (m_outer ? m_outer : m_widget)->setVisible(visible);
}

bool Window::IsVisible() const { return m_widget && m_widget->isVisible(); }

void Window::Enable(bool enabled) {
  if (m_widget) m_widget->setEnabled(enabled);
}

bool Window::IsEnabled() const {
  // The window's own state, as the handset asks it; a disabled parent does
  // not count.
  return m_widget && !m_widget->testAttribute(Qt::WA_ForceDisabled);
}

void Window::SetFocus() {
  if (m_widget) m_widget->setFocus(Qt::OtherFocusReason);
}

bool Window::HasFocus() const { return m_widget && FocusedWindow() == this; }

void Window::Redraw() {
  if (m_widget) m_widget->update();
}

void Window::SetFont(const FontSpec& font) {
  m_font = font;
  if (m_widget) m_widget->setFont(ToQFont(font));
}

void Window::SetColours(ColorRef text, ColorRef background, bool opaque) {
  if (!m_widget) return;
  QPalette palette = m_widget->palette();
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Active, role, ToQColor(text));
    palette.setColor(QPalette::Inactive, role, ToQColor(text));
  }
  for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
    palette.setColor(role, ToQColor(background));
  }
  m_widget->setPalette(palette);
  m_widget->setAutoFillBackground(opaque);
  m_widget->update();
}

void Window::SetBackgroundImage(RefPtr<SkinImage> image) {
  m_background = std::move(image);
  Redraw();
}

bool Window::SetTimer(uint32_t timerId, uint32_t periodMs) { return m_sink && m_sink->SetTimer(timerId, periodMs); }

bool Window::KillTimer(uint32_t timerId) { return m_sink && m_sink->KillTimer(timerId); }

void Window::BringToFront() {
  if (!m_widget) return;
  QWidget* top = m_widget->window();
  if (top->isMinimized()) top->showNormal();
  top->show();
  top->raise();
  top->activateWindow();
}

void Window::SendToBack() {
  if (m_widget) m_widget->window()->lower();
}

intptr_t Window::CommandParent(int code) {
  Window* parent = Parent();
  if (!parent) return 0;
  DispatchScope scope;
  RefPtr<Window> keep(parent);
  return parent->HandleMessage(kWmCommand, MakeWParam(static_cast<uint32_t>(m_controlId), static_cast<uint32_t>(code)),
                               static_cast<intptr_t>(m_id));
}

intptr_t Window::NotifyParent(ControlNotify notify) {
  Window* parent = Parent();
  if (!parent) return 0;
  notify.from = m_id;
  notify.controlId = m_controlId;
  DispatchScope scope;
  RefPtr<Window> keep(parent);
  return parent->HandleMessage(kWmNotify, static_cast<uintptr_t>(m_controlId), reinterpret_cast<intptr_t>(&notify));
}

}  // namespace talvinor
