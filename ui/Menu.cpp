#include "ui/Menu.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "ui/QtConversions.h"
#include "ui/UiTypes.h"
#include "ui/Window.h"

namespace talvinor {

namespace {
constexpr char kIdProperty[] = "talvinorCommand";

int ActionId(const QAction* action) {
  QVariant v = action->property(kIdProperty);
  return v.isValid() ? v.toInt() : 0;
}
}  // namespace

Menu::Menu() : m_menu(std::make_unique<QMenu>()) {}

Menu::~Menu() = default;

void Menu::SetOwner(Window* owner) {
  m_owner = owner ? owner->Id() : 0;
  for (auto& popup : m_popups) popup->SetOwner(owner);
}

void Menu::AppendItem(int id, const std::wstring& text) {
  QAction* action = m_menu->addAction(ToQString(text));
  action->setProperty(kIdProperty, id);
  QObject::connect(action, &QAction::triggered, m_menu.get(), [this, id] {
    if (!m_tracking) SendCommand(id);
  });
}

void Menu::AppendSeparator() { m_menu->addSeparator(); }

RefPtr<Menu> Menu::AppendPopup(const std::wstring& text) {
  RefPtr<Menu> popup = talvinor::Create<Menu>();
  popup->m_menu->setTitle(ToQString(text));
  popup->m_owner = m_owner;
  m_menu->addMenu(popup->m_menu.get());
  m_popups.push_back(popup);
  return popup;
}

void Menu::Clear() {
  m_menu->clear();
  m_popups.clear();
}

int Menu::ItemCount() const { return static_cast<int>(m_menu->actions().size()); }

int Menu::ItemId(int position) const {
  const auto actions = m_menu->actions();
  if (position < 0 || position >= actions.size()) return 0;
  return ActionId(actions[position]);
}

std::wstring Menu::ItemText(int position) const {
  const auto actions = m_menu->actions();
  if (position < 0 || position >= actions.size()) return {};
  return FromQString(actions[position]->text());
}

namespace {
QAction* FindAction(QMenu* menu, int id) {
  for (QAction* action : menu->actions()) {
    if (ActionId(action) == id && !action->isSeparator()) return action;
    if (action->menu())
      if (QAction* found = FindAction(action->menu(), id)) return found;
  }
  return nullptr;
}
}  // namespace

bool Menu::HasItem(int id) const { return FindAction(m_menu.get(), id) != nullptr; }

void Menu::CheckItem(int id, bool checked) {
  if (QAction* action = FindAction(m_menu.get(), id)) {
    action->setCheckable(true);
    action->setChecked(checked);
  }
}

bool Menu::IsChecked(int id) const {
  QAction* action = FindAction(m_menu.get(), id);
  return action && action->isChecked();
}

void Menu::EnableItem(int id, bool enabled) {
  if (QAction* action = FindAction(m_menu.get(), id)) action->setEnabled(enabled);
}

int Menu::Track(Window* owner, int x, int y, bool sendCommand) {
  QWidget* widget = owner ? owner->ClientWidget() : nullptr;
  if (!widget) return 0;
  if (owner) m_owner = owner->Id();
  m_tracking = true;
  QAction* chosen = nullptr;
  {
    DispatchScope scope;
    chosen = m_menu->exec(widget->mapToGlobal(QPoint(x, y)));
  }
  m_tracking = false;
  const int id = chosen ? ActionId(chosen) : 0;
  if (id != 0 && sendCommand) SendCommand(id);
  return id;
}

bool Menu::Invoke(int id) {
  QAction* action = FindAction(m_menu.get(), id);
  if (!action || !action->isEnabled()) return false;
  action->trigger();
  return true;
}

void Menu::SendCommand(int id) {
  Window* owner = Window::FromId(m_owner);
  if (!owner) return;
  DispatchScope scope;
  RefPtr<Window> keep(owner);
  owner->HandleMessage(kWmCommand, MakeWParam(static_cast<uint32_t>(id), 0), 0);
}

}  // namespace talvinor
