// Menus: the main menu bar, context menus and their items.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/core/component.h"
#include "toolkit/core/sets.h"
#include "toolkit/ui/controls.h"

class QAction;
class QActionGroup;
class QMenu;
class TImageList;

// A key combination: a virtual-key code with scShift/scCtrl/scAlt added.
using TShortCut = uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;
inline constexpr uint16_t VK_F1 = 0x70;
// Modifier keys, and the mouse buttons held (ssLeft ... ssDouble) in mouse events.
enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateFlag>;
TShortCut ShortCut(uint16_t key, TShiftState shift);
// "Ctrl+N", "F1" (empty for none).
AnsiString ShortCutToText(TShortCut shortcut);
// Whether key (a character, or the virtual-key code of a letter or digit) is
// the accelerator of caption: the character after a single '&', in either case.
bool IsAccel(uint16_t key, const AnsiString& caption);

// One item; a caption of "-" makes a separator. Items own their sub-items.
class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value);
  TShortCut ShortCut() const { return shortcut_; }
  void SetShortCut(TShortCut value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  bool IsLine() const { return caption_ == "-"; }
  // The picture of the item in its menu's image list; -1 for none.
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int value) { image_index_ = value; }
  // One of the radio items of its parent: checked, it shows as the chosen
  // one of them.
  bool RadioItem() const { return radio_item_; }
  void SetRadioItem(bool value);

  int Count() const { return int(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(size_t(index)); }
  TMenuItem* Parent() const { return parent_; }
  // Appends item (which this item then owns).
  void Add(TMenuItem* item);
  // The item of that caption below this one, searching depth first; nullptr when none.
  TMenuItem* Find(const AnsiString& caption) const;

  TNotifyEvent OnClick;
  // What choosing the item does: OnClick, with any exception shown by the application.
  void Click();

  // ---- For the toolkit's hosts --------------------------------------------
  QAction* Action() const { return action_; }
  QMenu* SubMenu() const { return menu_; }

 private:
  void ApplyCaption();
  AnsiString caption_;
  TShortCut shortcut_ = 0;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  int image_index_ = -1;
  bool radio_item_ = false;
  TMenuItem* parent_ = nullptr;
  // The radio items among the sub-items (made with the first of them).
  QActionGroup* radio_group_ = nullptr;
  void JoinRadioGroup();
  std::vector<TMenuItem*> items_;
  QAction* action_ = nullptr;
  QMenu* menu_ = nullptr;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* owner);
  // Gives the items their pictures from Images (they are taken when the
  // menu shows, so a list filled later serves).
  void ApplyImages();
  // The root item whose sub-items are the menu.
  TMenuItem& Items() { return *items_; }
  // The pictures the items may show; nullptr once the list is freed.
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* value);

 private:
  TMenuItem* items_;
  TComponentRef<TImageList> images_;
};

// The menu bar of a form (TForm::SetMenu).
class TMainMenu : public TMenu {
 public:
  using TMenu::TMenu;
};

// Where a popped-up menu stands against its point: its left edge, its right
// edge or its middle at the point.
enum TPopupAlignment { paLeft, paRight, paCenter };

// A menu that pops up at a point, such as a control's context menu.
class TPopupMenu : public TMenu {
 public:
  using TMenu::TMenu;
  // Shows the menu at the screen point (its top there, placed across by
  // Alignment) and runs the chosen item.
  void Popup(int x, int y);
  TPopupAlignment Alignment() const { return alignment_; }
  void SetAlignment(TPopupAlignment value) { alignment_ = value; }
  TComponent* PopupComponent() const { return popup_component_; }
  void SetPopupComponent(TComponent* value) { popup_component_ = value; }
  TNotifyEvent OnPopup;

 private:
  TComponentRef<TComponent> popup_component_;
  TPopupAlignment alignment_ = paLeft;
};
