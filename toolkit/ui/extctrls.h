// Pictures on a form, and the timer component.
#pragma once

#include "toolkit/sys/event_loop.h"  // TTimer
#include "toolkit/ui/controls.h"

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
