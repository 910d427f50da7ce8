#include "ui/ComboBox.h"

#include <QComboBox>
#include <QLineEdit>

#include "ui/QtConversions.h"

namespace talvinor {

namespace {
QComboBox* Box(QWidget* widget) { return qobject_cast<QComboBox*>(widget); }
}  // namespace

QWidget* ComboBox::CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) {
  auto* box = new QComboBox(parent);
  const bool editable = (style & 0x3) == kCbsDropDown;
  box->setEditable(editable);
  box->setInsertPolicy(QComboBox::NoInsert);
  if (editable) {
    box->setEditText(ToQString(text));
    QObject::connect(box->lineEdit(), &QLineEdit::textEdited, box, [this] { CommandParent(kCbnEditChange); });
  }
  QObject::connect(box, &QComboBox::activated, box, [this] { CommandParent(kCbnSelChange); });
  return box;
}

void ComboBox::SetText(const std::wstring& text) {
  if (QComboBox* box = Box(Widget()); box && box->isEditable()) box->setEditText(ToQString(text));
}

std::wstring ComboBox::GetText() const {
  QComboBox* box = Box(Widget());
  return box ? FromQString(box->currentText()) : std::wstring();
}

int ComboBox::AddString(const std::wstring& text, intptr_t data) {
  QComboBox* box = Box(Widget());
  if (!box) return kNone;
  const int selected = box->currentIndex();
  box->addItem(ToQString(text), QVariant::fromValue<qlonglong>(data));
  // The handset's list selects nothing until asked.
  if (selected == -1) box->setCurrentIndex(-1);
  return box->count() - 1;
}

int ComboBox::InsertString(int index, const std::wstring& text, intptr_t data) {
  QComboBox* box = Box(Widget());
  if (!box) return kNone;
  if (index < 0 || index > box->count()) index = box->count();
  const int selected = box->currentIndex();
  box->insertItem(index, ToQString(text), QVariant::fromValue<qlonglong>(data));
  if (selected == -1) box->setCurrentIndex(-1);
  return index;
}

bool ComboBox::DeleteString(int index) {
  QComboBox* box = Box(Widget());
  if (!box || index < 0 || index >= box->count()) return false;
  box->removeItem(index);
  return true;
}

void ComboBox::ResetContent() {
  if (QComboBox* box = Box(Widget())) box->clear();
}

int ComboBox::GetCount() const {
  QComboBox* box = Box(Widget());
  return box ? box->count() : 0;
}

int ComboBox::GetCurSel() const {
  QComboBox* box = Box(Widget());
  return box ? box->currentIndex() : kNone;
}

bool ComboBox::SetCurSel(int index) {
  QComboBox* box = Box(Widget());
  if (!box) return false;
  if (index < -1 || index >= box->count()) {
    box->setCurrentIndex(-1);
    return index == kNone;
  }
  box->setCurrentIndex(index);
  return index != kNone;
}

intptr_t ComboBox::GetItemData(int index) const {
  QComboBox* box = Box(Widget());
  if (!box || index < 0 || index >= box->count()) return -1;
  return static_cast<intptr_t>(box->itemData(index).toLongLong());
}

bool ComboBox::SetItemData(int index, intptr_t data) {
  QComboBox* box = Box(Widget());
  if (!box || index < 0 || index >= box->count()) return false;
  box->setItemData(index, QVariant::fromValue<qlonglong>(data));
  return true;
}

std::wstring ComboBox::GetItemText(int index) const {
  QComboBox* box = Box(Widget());
  if (!box || index < 0 || index >= box->count()) return {};
  return FromQString(box->itemText(index));
}

bool ComboBox::SetItemText(int index, const std::wstring& text) {
  QComboBox* box = Box(Widget());
  if (!box || index < 0 || index >= box->count()) return false;
  box->setItemText(index, ToQString(text));
  return true;
}

int ComboBox::FindItemData(intptr_t data) const {
  QComboBox* box = Box(Widget());
  if (!box) return kNone;
  for (int i = 0; i < box->count(); ++i)
    if (static_cast<intptr_t>(box->itemData(i).toLongLong()) == data) return i;
  return kNone;
}

void ComboBox::SetLimitText(int characters) {
  QComboBox* box = Box(Widget());
  if (box && box->lineEdit()) box->lineEdit()->setMaxLength(characters > 0 ? characters : 32767);
}

}  // namespace talvinor
