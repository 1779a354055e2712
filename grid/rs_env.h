// The grid library's process-wide environment: the image lists every grid,
// designer and vision draws from (sort arrows, title and footer states, blob
// markers) and the popup menu with which a user picks a column's footer
// aggregate.
#pragma once

#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/menus.h"

// What the footer menu's popup component implements: the grid that popped
// the menu up takes the chosen item (its tag is the footer state).
class IrsFooterMenuClient {
 public:
  virtual ~IrsFooterMenuClient() = default;
  virtual void FooterMenuItemClick(TMenuItem* item) = 0;
};

// The environment form. It has no owner: rsEnv() makes it on first use and
// FreeRsEnv() frees it at shut-down.
class TrsEnv : public TForm {
 public:
  TrsEnv();
  ~TrsEnv() override;

  // Mark arrows for column dragging (15 × 15): right, down, left, up.
  TImageList* ArrowsYwImgs;
  TImageList* ArrowsGrImgs;
  // Title sort states (10 wide, 9 high): ascending, descending.
  TImageList* TitleStateImgs;
  // Footer aggregates (16 × 16) in footer-state order: average, count,
  // maximum, minimum, sum.
  TImageList* FooterStateImgs;
  TImageList* DesigntimeImgs;
  TImageList* ToolbarImages;
  // Blob markers (16 × 16): 0 a value, 1 null.
  TImageList* BlobMarkers;

  TPopupMenu* pumFooterMenu;
  TMenuItem* miAverage;
  TMenuItem* miCount;
  TMenuItem* miMax;
  TMenuItem* miMin;
  TMenuItem* miSum;
  TMenuItem* miSep1;
  TMenuItem* miNone;

  // The item of footer state 0 (average) to 5 (none); nullptr outside.
  TMenuItem* MenuItemOf(int footer_state) const;

  // The menu is about to pop up: the separator shows exactly when miNone does.
  void FooterMenuPopup(TComponent* Sender);
  // An item was chosen: handed to the grid that popped the menu up.
  void FooterMenuItemClick(TComponent* Sender);
};

// The environment, made on first use (the application must be initialised).
TrsEnv* rsEnv();
// Frees the environment; the next rsEnv() makes a new one.
void FreeRsEnv();
