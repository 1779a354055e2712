// Pictures on a form, panels and bevels, and the timer component.
#pragma once

#include "toolkit/sys/event_loop.h"  // TTimer
#include "toolkit/ui/controls.h"
#include "toolkit/ui/customctrl.h"

class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner);
  ~TImage() override;
  TPicture& Picture() { return picture_; }
  // Scales the picture to the control's size.
  bool Stretch() const { return stretch_; }
  void SetStretch(bool value);
  // Centres the picture in the control.
  bool Center() const { return center_; }
  void SetCenter(bool value);
  // Takes the size of the picture.
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool value);
  void PictureChanged();

 private:
  TPicture picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool auto_size_ = false;
};

// The edge a panel is drawn with.
enum TPanelBevel { bvNone, bvLowered, bvRaised };

// A plain area that holds other controls, with a one-pixel edge (raised by
// default). Children align over the whole client area, edge included.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* owner);
  TPanelBevel BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TPanelBevel value);

 protected:
  void Paint() override;

 private:
  TPanelBevel bevel_outer_ = bvRaised;
};

// A sunken frame drawn around the area it covers.
class TBevel : public TGraphicControl {
 public:
  explicit TBevel(TComponent* owner);

 protected:
  void Paint() override;
};
