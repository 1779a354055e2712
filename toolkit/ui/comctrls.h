// Common controls: progress bars, tool bars with image lists, page controls.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "toolkit/ui/controls.h"

class QIcon;

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* owner);
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetMin(int value);
  void SetMax(int value);
  // Clamped to Min ... Max.
  int Position() const { return position_; }
  void SetPosition(int value);

 private:
  void Apply();
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
};

class TImageList;

// Tells its user when the image list it is registered with changes (its
// size or its pictures). The user keeps the link; registering and the list's
// end keep Sender current.
class TChangeLink {
 public:
  TChangeLink() = default;
  // Leaves the list it is registered with.
  ~TChangeLink();
  TChangeLink(const TChangeLink&) = delete;
  TChangeLink& operator=(const TChangeLink&) = delete;
  // The list the link is registered with; nullptr when none.
  TImageList* Sender() const { return sender_; }
  // Leaves its list, if any. Safe while that list is being destroyed: the
  // list lets go of its links first, so nothing calls into what is left of it.
  void Leave();
  std::function<void(TChangeLink* link)> OnChange;

 private:
  friend class TImageList;
  TImageList* sender_ = nullptr;
};

// A list of same-sized pictures that tool bars and menus show by index.
class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner);
  ~TImageList() override;
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int value);
  void SetHeight(int value);
  // Registered links hear of every change until they are unregistered (a
  // link is registered with one list at a time).
  void RegisterChanges(TChangeLink* link);
  void UnRegisterChanges(TChangeLink* link);
  int Count() const { return int(images_.size()); }
  // Adds a copy of the picture; pixels of mask_color are transparent
  // (clNone: none). Returns its index.
  int AddMasked(TBitmap& image, TColor mask_color);
  // Puts a copy of the picture in place of picture index, masked as
  // AddMasked masks; false for a bad index.
  bool ReplaceMasked(int index, TBitmap& image, TColor mask_color);
  // Copies picture index into bitmap; false for a bad index.
  bool GetBitmap(int index, TBitmap& bitmap) const;
  // Draws picture index at (x, y), its masked pixels leaving the canvas as
  // it is; nothing for a bad index.
  void Draw(TCanvas& canvas, int x, int y, int index) const;

  // ---- For the toolkit's hosts --------------------------------------------
  QIcon Icon(int index) const;

 private:
  struct Entry;
  void Change();
  int width_ = 16;
  int height_ = 16;
  std::vector<std::unique_ptr<Entry>> images_;
  std::vector<TChangeLink*> links_;
};

enum TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };

class TToolBar;

class TToolButton : public TControl {
 public:
  explicit TToolButton(TComponent* owner);
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int value);
  TToolButtonStyle Style() const { return style_; }
  void SetStyle(TToolButtonStyle value);
  void SetParent(TWinControl* parent) override;
  void UpdateImage();

 private:
  int image_index_ = -1;
  TToolButtonStyle style_ = tbsButton;
};

// A bar of tool buttons, laid out left to right in the order placed;
// aligned to the top of its parent by default.
class TToolBar : public TWinControl {
 public:
  explicit TToolBar(TComponent* owner);
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* value);
  int ButtonWidth() const { return button_width_; }
  int ButtonHeight() const { return button_height_; }
  void SetButtonWidth(int value) { button_width_ = value; AlignControls(); }
  void SetButtonHeight(int value) { button_height_ = value; AlignControls(); }
  void AlignControls() override;

 protected:
  void ColorChanged() override;

 private:
  TComponentRef<TImageList> images_;
  int button_width_ = 23;
  int button_height_ = 22;
};

class TPageControl;

// One page of a page control. OnShow runs whenever it becomes the shown page.
class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return page_control_; }
  void SetPageControl(TPageControl* value);
  // Whether its tab is shown in the tab row (the page may still be active).
  bool TabVisible() const { return tab_visible_; }
  void SetTabVisible(bool value);
  int PageIndex() const;
  TNotifyEvent OnShow;
  void WidgetResized() override;

 protected:
  void CaptionChanged() override;
  // The page control places and shows its pages.
  void ApplyGeometry() override {}
  void ApplyVisible() override {}

 private:
  friend class TPageControl;
  TPageControl* page_control_ = nullptr;
  bool tab_visible_ = true;
};

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  int PageCount() const { return int(pages_.size()); }
  TTabSheet* Pages(int index) const { return pages_.at(size_t(index)); }
  TTabSheet* ActivePage() const;
  void SetActivePage(TTabSheet* page);
  TNotifyEvent OnChange;

 protected:
  void InsertControl(TControl* control) override;
  void RemoveControl(TControl* control) override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void CurrentChanged(int index);
  std::vector<TTabSheet*> pages_;
  bool switching_ = false;
};
