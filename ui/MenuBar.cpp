#include "ui/MenuBar.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "ui/QtConversions.h"
#include "ui/UiTypes.h"
#include "ui/Window.h"

namespace talvinor {

MenuBar::MenuBar() = default;

MenuBar::~MenuBar() { DestroyBar(); }

bool MenuBar::Create(Window* topLevel) {
  DestroyBar();
  if (!topLevel || !topLevel->Widget()) return false;
  QWidget* frame = topLevel->Widget()->window();
  if (!frame->layout()) return false;
  m_bar = new QMenuBar(frame);
  m_bar->setNativeMenuBar(false);
  // The bar goes with its window's frame; forget it then.
  QObject::connect(m_bar, &QObject::destroyed, [this] { m_bar = nullptr; });
  frame->layout()->setMenuBar(m_bar);
  m_owner = topLevel->Id();
  return true;
}

void MenuBar::DestroyBar() {
  for (auto& popup : m_popups) {
    if (m_bar) m_bar->removeAction(popup->Handle()->menuAction());
  }
  m_popups.clear();
  if (m_bar) {
    if (m_bar->parentWidget() && m_bar->parentWidget()->layout()) m_bar->parentWidget()->layout()->setMenuBar(nullptr);
    delete m_bar;
    m_bar = nullptr;
  }
  m_owner = 0;
}

void MenuBar::AppendItem(int id, const std::wstring& text) {
  if (!m_bar) return;
  QAction* action = m_bar->addAction(ToQString(text));
  action->setProperty("talvinorCommand", id);
  const WindowId owner = m_owner;
  QObject::connect(action, &QAction::triggered, m_bar, [owner, id] {
    Window* window = Window::FromId(owner);
    if (!window) return;
    DispatchScope scope;
    RefPtr<Window> keep(window);
    window->HandleMessage(kWmCommand, MakeWParam(static_cast<uint32_t>(id), 0), 0);
  });
}

RefPtr<Menu> MenuBar::AppendPopup(const std::wstring& text) {
  RefPtr<Menu> popup = talvinor::Create<Menu>();
  if (!m_bar) return popup;
  popup->Handle()->setTitle(ToQString(text));
  popup->SetOwner(Window::FromId(m_owner));
  m_bar->addMenu(popup->Handle());
  m_popups.push_back(popup);
  return popup;
}

bool MenuBar::Invoke(int id) {
  if (!m_bar) return false;
  for (QAction* action : m_bar->actions()) {
    if (!action->menu() && action->property("talvinorCommand").toInt() == id && action->isEnabled()) {
      action->trigger();
      return true;
    }
  }
  for (auto& popup : m_popups)
    if (popup->Invoke(id)) return true;
  return false;
}

void MenuBar::SetFont(const FontSpec& font) {
  if (!m_bar) return;
  m_bar->setFont(ToQFont(font));
  for (auto& popup : m_popups) popup->Handle()->setFont(ToQFont(font));
}

int MenuBar::Height() const { return m_bar ? m_bar->sizeHint().height() : 0; }

}  // namespace talvinor
