#include "toolkit/ui/menus.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QPixmap>

#include <functional>

#include "toolkit/core/text.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/qt_host.h"

TShortCut ShortCut(uint16_t key, TShiftState shift) {
  TShortCut result = key & 0xFF;
  if (shift.Contains(ssShift)) result |= scShift;
  if (shift.Contains(ssCtrl)) result |= scCtrl;
  if (shift.Contains(ssAlt)) result |= scAlt;
  return result;
}

bool IsAccel(uint16_t key, const AnsiString& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return key < 0x100 && AnsiUpperCase(AnsiString(1, char(key))) == AnsiUpperCase(caption.substr(i + 1, 1));
  }
  return false;
}

namespace {

// The GUI library's key for a virtual-key code; 0 when it has none here.
int QtKeyOf(uint16_t vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return vk;  // same codes
  if (vk >= VK_F1 && vk < VK_F1 + 24) return Qt::Key_F1 + (vk - VK_F1);
  switch (vk) {
    case 0x08: return Qt::Key_Backspace;
    case 0x09: return Qt::Key_Tab;
    case 0x0D: return Qt::Key_Return;
    case 0x1B: return Qt::Key_Escape;
    case 0x20: return Qt::Key_Space;
    case 0x2D: return Qt::Key_Insert;
    case 0x2E: return Qt::Key_Delete;
    default: return 0;
  }
}

QKeySequence SequenceOf(TShortCut shortcut) {
  const int key = QtKeyOf(shortcut & 0xFF);
  if (!key) return QKeySequence();
  int modifiers = 0;
  if (shortcut & scShift) modifiers |= Qt::SHIFT;
  if (shortcut & scCtrl) modifiers |= Qt::CTRL;
  if (shortcut & scAlt) modifiers |= Qt::ALT;
  return QKeySequence(key | modifiers);
}

}  // namespace

AnsiString ShortCutToText(TShortCut shortcut) {
  const QKeySequence sequence = SequenceOf(shortcut);
  return FromQString(sequence.toString(QKeySequence::PortableText));
}

// ---- TMenuItem -----------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {
  action_ = new QAction();
  QObject::connect(action_, &QAction::triggered, action_, [this] { Click(); });
}

TMenuItem::~TMenuItem() {
  // The sub-items are owned and go after this body; their actions leave the menu then.
  for (TMenuItem* item : items_) item->parent_ = nullptr;
  if (parent_) std::erase(parent_->items_, this);
  delete menu_;
  delete action_;
}

void TMenuItem::ApplyCaption() {
  // A line carries no text: some styles draw a separator's text beside it.
  action_->setSeparator(IsLine());
  action_->setText(IsLine() ? QString() : ToQString(caption_));
}

void TMenuItem::SetCaption(const AnsiString& value) {
  caption_ = value;
  ApplyCaption();
}

void TMenuItem::SetShortCut(TShortCut value) {
  shortcut_ = value;
  action_->setShortcut(SequenceOf(value));
}

void TMenuItem::SetEnabled(bool value) {
  enabled_ = value;
  action_->setEnabled(value);
}

void TMenuItem::SetVisible(bool value) {
  visible_ = value;
  action_->setVisible(value);
}

void TMenuItem::SetChecked(bool value) {
  checked_ = value;
  action_->setCheckable(value || action_->isCheckable());
  action_->setChecked(value);
}

void TMenuItem::SetRadioItem(bool value) {
  radio_item_ = value;
  if (value) {
    action_->setCheckable(true);
    JoinRadioGroup();
  } else if (action_->actionGroup()) {
    action_->actionGroup()->removeAction(action_);
  }
}

void TMenuItem::JoinRadioGroup() {
  if (!radio_item_ || !parent_ || !parent_->menu_) return;
  if (!parent_->radio_group_) {
    parent_->radio_group_ = new QActionGroup(parent_->menu_);
    // The program sets which one is checked; none may be.
    parent_->radio_group_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  }
  parent_->radio_group_->addAction(action_);
}

void TMenuItem::Add(TMenuItem* item) {
  if (item->parent_) std::erase(item->parent_->items_, item);
  if (item->Owner() != this) InsertComponent(item);
  item->parent_ = this;
  items_.push_back(item);
  if (!menu_) {
    menu_ = new QMenu();
    action_->setMenu(menu_);
  }
  menu_->addAction(item->action_);
  item->JoinRadioGroup();
}

TMenuItem* TMenuItem::Find(const AnsiString& caption) const {
  for (TMenuItem* item : items_) {
    if (item->caption_ == caption) return item;
    if (TMenuItem* found = item->Find(caption)) return found;
  }
  return nullptr;
}

void TMenuItem::Click() {
  if (!enabled_) return;
  RunGuarded([this] {
    if (OnClick) OnClick(this);
  });
}

// ---- Menus ---------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(this)) {}

void TMenu::ApplyImages() {
  std::function<void(TMenuItem&)> apply = [&](TMenuItem& parent) {
    for (int i = 0; i < parent.Count(); ++i) {
      TMenuItem& item = *parent.Items(i);
      TBitmap picture;
      if (images_ != nullptr && item.ImageIndex() >= 0 && images_->GetBitmap(item.ImageIndex(), picture))
        item.Action()->setIcon(QIcon(QPixmap::fromImage(picture.Image())));
      else
        item.Action()->setIcon(QIcon());
      apply(item);
    }
  };
  apply(*items_);
}

void TMenu::SetImages(TImageList* value) { images_ = value; }

void TPopupMenu::Popup(int x, int y) {
  RunGuarded([this] {
    if (OnPopup) OnPopup(this);
  });
  QMenu* menu = Items().SubMenu();
  ApplyImages();
  if (!menu) return;
  // The size of the menu as it will show (items hidden by OnPopup left out).
  menu->ensurePolished();
  const int width = menu->sizeHint().width();
  if (alignment_ == paRight)
    x -= width;
  else if (alignment_ == paCenter)
    x -= width / 2;
  menu->exec(QPoint(x, y));
}
