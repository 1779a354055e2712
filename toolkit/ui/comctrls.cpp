#include "toolkit/ui/comctrls.h"

#include <algorithm>

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QProgressBar>
#include <QTabWidget>
#include <QToolButton>

#include "toolkit/ui/qt_host.h"

// ---- TProgressBar ----------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) {
  auto* bar = new Hosted<QProgressBar>(this);
  bar->setTextVisible(false);
  SetBounds(0, 0, 150, 16);
  AttachWidget(bar);
  Apply();
}

void TProgressBar::SetMin(int value) {
  min_ = value;
  if (max_ < min_) max_ = min_;
  Apply();
}

void TProgressBar::SetMax(int value) {
  max_ = value;
  if (min_ > max_) min_ = max_;
  Apply();
}

void TProgressBar::SetPosition(int value) {
  position_ = std::clamp(value, min_, max_);
  Apply();
}

void TProgressBar::Apply() {
  position_ = std::clamp(position_, min_, max_);
  if (auto* bar = static_cast<QProgressBar*>(Widget())) {
    bar->setRange(min_, max_);
    bar->setValue(position_);
  }
}

// ---- TImageList -------------------------------------------------------------------

struct TImageList::Entry {
  QImage image;
};

TChangeLink::~TChangeLink() { Leave(); }

void TChangeLink::Leave() {
  if (sender_) sender_->UnRegisterChanges(this);
}

TImageList::TImageList(TComponent* owner) : TComponent(owner) {}

TImageList::~TImageList() {
  for (TChangeLink* link : links_) link->sender_ = nullptr;
}

void TImageList::SetWidth(int value) {
  if (width_ == value) return;
  width_ = value;
  Change();
}

void TImageList::SetHeight(int value) {
  if (height_ == value) return;
  height_ = value;
  Change();
}

void TImageList::RegisterChanges(TChangeLink* link) {
  if (!link || link->sender_ == this) return;
  if (link->sender_) link->sender_->UnRegisterChanges(link);
  link->sender_ = this;
  links_.push_back(link);
}

void TImageList::UnRegisterChanges(TChangeLink* link) {
  if (!link || link->sender_ != this) return;
  link->sender_ = nullptr;
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TImageList::Change() {
  // A handler may unregister links while the list is told.
  const std::vector<TChangeLink*> links = links_;
  for (TChangeLink* link : links)
    if (link->sender_ == this && link->OnChange) link->OnChange(link);
}

namespace {

// The picture with the pixels of mask_color made transparent (clNone: none).
QImage Masked(TBitmap& image, TColor mask_color) {
  QImage result = image.Image().convertToFormat(QImage::Format_ARGB32);
  if (mask_color != clNone) {
    const TColor rgb = ColorToRGB(mask_color);
    const QRgb mask = qRgb(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
    for (int y = 0; y < result.height(); ++y)
      for (int x = 0; x < result.width(); ++x)
        if ((result.pixel(x, y) & 0xFFFFFF) == (mask & 0xFFFFFF)) result.setPixel(x, y, 0);
  }
  return result;
}

}  // namespace

int TImageList::AddMasked(TBitmap& image, TColor mask_color) {
  auto entry = std::make_unique<Entry>();
  entry->image = Masked(image, mask_color);
  images_.push_back(std::move(entry));
  Change();
  return Count() - 1;
}

bool TImageList::ReplaceMasked(int index, TBitmap& image, TColor mask_color) {
  if (index < 0 || index >= Count()) return false;
  images_[size_t(index)]->image = Masked(image, mask_color);
  Change();
  return true;
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index) const {
  if (index < 0 || index >= Count()) return;
  const QImage& image = images_[size_t(index)]->image;
  for (int j = 0; j < image.height(); ++j)
    for (int i = 0; i < image.width(); ++i) {
      const QRgb pixel = image.pixel(i, j);
      if (qAlpha(pixel) != 0) canvas.SetPixel(x + i, y + j, RGB(qRed(pixel), qGreen(pixel), qBlue(pixel)));
    }
}

bool TImageList::GetBitmap(int index, TBitmap& bitmap) const {
  if (index < 0 || index >= Count()) return false;
  bitmap.SetImage(images_[size_t(index)]->image);
  return true;
}

QIcon TImageList::Icon(int index) const {
  if (index < 0 || index >= Count()) return QIcon();
  return QIcon(QPixmap::fromImage(images_[size_t(index)]->image));
}

// ---- Tool bar -------------------------------------------------------------------

TToolButton::TToolButton(TComponent* owner) : TControl(owner) {
  auto* button = new Hosted<QToolButton>(this);
  button->setAutoRaise(true);
  button->setIconSize(QSize(16, 16));
  // A tool button is never focused: no focus rectangle after a click, and
  // the window gives its focus back to the control that had it.
  button->setFocusPolicy(Qt::NoFocus);
  QObject::connect(button, &QToolButton::clicked, button, [this] { Click(); });
  SetBounds(0, 0, 23, 22);
  AttachWidget(button);
}

void TToolButton::SetImageIndex(int value) {
  image_index_ = value;
  UpdateImage();
}

void TToolButton::SetStyle(TToolButtonStyle value) {
  style_ = value;
  if (auto* button = static_cast<QToolButton*>(Widget())) {
    const bool line = value == tbsSeparator || value == tbsDivider;
    button->setAttribute(Qt::WA_TransparentForMouseEvents, line);
  }
  if (Parent()) Parent()->AlignControls();
}

void TToolButton::SetParent(TWinControl* parent) {
  TControl::SetParent(parent);
  UpdateImage();
}

void TToolButton::UpdateImage() {
  auto* button = static_cast<QToolButton*>(Widget());
  auto* bar = dynamic_cast<TToolBar*>(Parent());
  if (!button) return;
  if (bar && bar->Images() && style_ == tbsButton)
    button->setIcon(bar->Images()->Icon(image_index_));
  else
    button->setIcon(QIcon());
}

TToolBar::TToolBar(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 150, 29);
  AttachWidget(new Hosted<QWidget>(this));
  SetAlign(alTop);
}

void TToolBar::SetImages(TImageList* value) {
  images_ = value;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto* button = dynamic_cast<TToolButton*>(Controls(i))) button->UpdateImage();
}

void TToolBar::ColorChanged() { SetWidgetBackground(Widget(), Color(), true); }

void TToolBar::AlignControls() {
  // Buttons side by side in the order placed; a separator is a narrow gap.
  int x = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* control = Controls(i);
    if (!control->Visible()) continue;
    auto* button = dynamic_cast<TToolButton*>(control);
    const bool gap = button && (button->Style() == tbsSeparator || button->Style() == tbsDivider);
    const int width = gap ? 8 : button ? button_width_ : control->Width();
    control->SetBounds(x, 2, width, button ? button_height_ : control->Height());
    x += width;
  }
}

// ---- Page control ---------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {
  auto* page = new Hosted<QWidget>(this);
  page->setAutoFillBackground(true);
  AttachWidget(page);
}

TTabSheet::~TTabSheet() {
  if (page_control_) page_control_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* value) { SetParent(value); }

void TTabSheet::SetTabVisible(bool value) {
  tab_visible_ = value;
  if (!page_control_) return;
  if (auto* tabs = static_cast<QTabWidget*>(page_control_->Widget())) tabs->setTabVisible(PageIndex(), value);
}

int TTabSheet::PageIndex() const {
  if (!page_control_) return -1;
  const auto& pages = page_control_->pages_;
  for (size_t i = 0; i < pages.size(); ++i)
    if (pages[i] == this) return int(i);
  return -1;
}

void TTabSheet::CaptionChanged() {
  if (!page_control_) return;
  if (auto* tabs = static_cast<QTabWidget*>(page_control_->Widget())) tabs->setTabText(PageIndex(), ToQString(Caption()));
}

void TTabSheet::WidgetResized() {
  if (QWidget* page = Widget()) StoreBounds(page->x(), page->y(), page->width(), page->height());
  AlignControls();
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) {
  auto* tabs = new Hosted<QTabWidget>(this);
  QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [this](int index) { CurrentChanged(index); });
  SetBounds(0, 0, 289, 193);
  AttachWidget(tabs);
}

TPageControl::~TPageControl() {
  for (TTabSheet* page : pages_) page->page_control_ = nullptr;
}

void TPageControl::InsertControl(TControl* control) {
  TWinControl::InsertControl(control);
  if (auto* page = dynamic_cast<TTabSheet*>(control)) InsertPage(page);
}

void TPageControl::RemoveControl(TControl* control) {
  if (auto* page = dynamic_cast<TTabSheet*>(control)) RemovePage(page);
  TWinControl::RemoveControl(control);
}

void TPageControl::InsertPage(TTabSheet* page) {
  page->page_control_ = this;
  pages_.push_back(page);
  auto* tabs = static_cast<QTabWidget*>(Widget());
  if (!tabs || !page->Widget()) return;
  switching_ = true;
  const int index = tabs->addTab(page->Widget(), ToQString(page->Caption()));
  tabs->setTabVisible(index, page->TabVisible());
  switching_ = false;
}

void TPageControl::RemovePage(TTabSheet* page) {
  const int index = page->PageIndex();
  if (index < 0) return;
  auto* tabs = static_cast<QTabWidget*>(Widget());
  switching_ = true;
  if (tabs) tabs->removeTab(index);
  switching_ = false;
  pages_.erase(pages_.begin() + index);
  page->page_control_ = nullptr;
}

TTabSheet* TPageControl::ActivePage() const {
  auto* tabs = static_cast<QTabWidget*>(Widget());
  const int index = tabs ? tabs->currentIndex() : -1;
  return index >= 0 && index < PageCount() ? pages_[size_t(index)] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* page) {
  auto* tabs = static_cast<QTabWidget*>(Widget());
  if (!tabs || !page || page->page_control_ != this) return;
  if (tabs->currentIndex() == page->PageIndex()) return;
  tabs->setCurrentIndex(page->PageIndex());
}

void TPageControl::CurrentChanged(int index) {
  if (switching_ || index < 0 || index >= PageCount()) return;
  TTabSheet* page = pages_[size_t(index)];
  RunGuarded([&] {
    if (page->OnShow) page->OnShow(page);
  });
  RunGuarded([&] {
    if (OnChange) OnChange(this);
  });
}
