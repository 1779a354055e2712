#include "toolkit/ui/stdctrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include <algorithm>

#include "toolkit/gfx/qt_canvas.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/qt_host.h"

// ---- TLabel ------------------------------------------------------------------

namespace {

// A label's widget: a press and release on it click the label, a second
// press right after is its double click.
class LabelWidget : public Hosted<QLabel> {
 public:
  explicit LabelWidget(TLabel* label) : Hosted<QLabel>(label), label_(label) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) pressed_ = true;
    Hosted<QLabel>::mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const bool clicked = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    Hosted<QLabel>::mouseReleaseEvent(event);
    if (clicked) label_->Click();
  }
  // Not handed on: the widget's own handling takes it for one more press,
  // whose release would click the label a second time.
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) label_->DblClick();
  }

 private:
  TLabel* label_;
  bool pressed_ = false;
};

}  // namespace

void TLabel::DblClick() {
  RunGuarded([this] {
    if (OnDblClick) OnDblClick(this);
  });
}

TLabel::TLabel(TComponent* owner) : TControl(owner) {
  auto* label = new LabelWidget(this);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetBounds(0, 0, 65, 13);
  AttachWidget(label);
}

void TLabel::SetBounds(int left, int top, int width, int height) {
  TControl::SetBounds(left, top, width, height);
  Fit();
}

void TLabel::SetAutoSize(bool value) {
  auto_size_ = value;
  Fit();
}

void TLabel::SetAlignment(TAlignment value) {
  alignment_ = value;
  if (auto* label = static_cast<QLabel*>(Widget())) {
    Qt::Alignment h = value == taCenter ? Qt::AlignHCenter : value == taRightJustify ? Qt::AlignRight : Qt::AlignLeft;
    label->setAlignment(h | Qt::AlignTop);
  }
}

void TLabel::SetWordWrap(bool value) {
  word_wrap_ = value;
  if (auto* label = static_cast<QLabel*>(Widget())) label->setWordWrap(value);
  ShowCaption();
}

void TLabel::SetTransparent(bool value) {
  transparent_ = value;
  ColorChanged();
}

void TLabel::SetFocusControl(TWinControl* value) {
  if (value == focus_control_) return;
  focus_control_ = value;
  ShowCaption();
}

namespace {

// Whether the caption has an accelerator: a single '&' before a character.
bool HasAccelerator(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != u'&') continue;
    if (caption[i + 1] != u'&') return true;
    ++i;
  }
  return false;
}

// The caption as rich text with its accelerator underlined, for a label
// with no control to focus (the GUI library underlines only for a buddy).
QString UnderlinedAccelerator(const QString& caption, bool wrap) {
  QString html;
  bool underlined = false;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    QChar c = caption[i];
    if (c == u'&' && i + 1 < caption.size()) {
      c = caption[++i];
      if (c != u'&' && !underlined) {
        underlined = true;
        html += QStringLiteral("<u>") + QString(c).toHtmlEscaped() + QStringLiteral("</u>");
        continue;
      }
    }
    html += c == u'\n' ? QStringLiteral("<br>") : QString(c).toHtmlEscaped();
  }
  return QStringLiteral("<span style=\"white-space:%1\">%2</span>").arg(wrap ? "pre-wrap" : "pre", html);
}

}  // namespace

void TLabel::ShowCaption() {
  auto* label = static_cast<QLabel*>(Widget());
  if (!label) return;
  const QString caption = ToQString(Caption());
  const bool accelerator = HasAccelerator(caption);
  QWidget* buddy = accelerator && focus_control_ != nullptr ? focus_control_->Widget() : nullptr;
  // With a control to focus the GUI library underlines the accelerator and
  // takes its key; otherwise the text is drawn underlined here and no key is
  // taken from the window.
  label->setBuddy(nullptr);
  if (buddy != nullptr) {
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
    label->setBuddy(buddy);
  } else if (!accelerator) {
    label->setTextFormat(Qt::PlainText);
    label->setText(QString(caption).replace(QStringLiteral("&&"), QStringLiteral("&")));
  } else {
    label->setTextFormat(Qt::RichText);
    label->setText(UnderlinedAccelerator(caption, word_wrap_));
  }
  Fit();
}

void TLabel::CaptionChanged() { ShowCaption(); }

void TLabel::FontChanged() {
  TControl::FontChanged();
  Fit();
}

void TLabel::ColorChanged() { SetWidgetBackground(Widget(), Color(), !transparent_); }

void TLabel::Fit() {
  auto* label = static_cast<QLabel*>(Widget());
  if (!label || !auto_size_) return;
  // The size the text needs, the width kept for a wrapping label.
  const QSize need = word_wrap_ ? QSize(Width(), label->heightForWidth(Width())) : label->sizeHint();
  if (need.width() != Width() || need.height() != Height())
    TControl::SetBounds(Left(), Top(), need.width(), need.height());
}

// ---- TStaticText ---------------------------------------------------------------

TStaticText::TStaticText(TComponent* owner) : TLabel(owner) { SetTransparent(false); }

void TStaticText::SetBorderStyle(TStaticBorderStyle value) {
  border_style_ = value;
  if (auto* label = static_cast<QLabel*>(Widget())) {
    label->setFrameStyle(value == sbsNone     ? QFrame::NoFrame
                         : value == sbsSingle ? (QFrame::Box | QFrame::Plain)
                                              : (QFrame::Panel | QFrame::Sunken));
  }
  Fit();
}

// ---- TButton -------------------------------------------------------------------

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  auto* button = new Hosted<QPushButton>(this);
  button->setAutoDefault(false);
  QObject::connect(button, &QPushButton::clicked, button, [this] { Click(); });
  SetBounds(0, 0, 75, 25);
  AttachWidget(button);
}

void TButton::SetDefault(bool value) {
  default_ = value;
  if (auto* button = static_cast<QPushButton*>(Widget())) button->setDefault(value);
}

void TButton::SetCancel(bool value) { cancel_ = value; }

void TButton::Click() {
  // The form's modal result first, so that OnClick may still change it.
  if (modal_result_ != 0)
    if (TForm* form = ParentForm()) form->SetModalResult(modal_result_);
  TControl::Click();
}

// ---- TCheckBox -----------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
  auto* box = new Hosted<QCheckBox>(this);
  QObject::connect(box, &QCheckBox::clicked, box, [this] { Click(); });
  SetBounds(0, 0, 97, 17);
  AttachWidget(box);
}

bool TCheckBox::Checked() const {
  auto* box = static_cast<QCheckBox*>(Widget());
  return box && box->isChecked();
}

void TCheckBox::SetChecked(bool value) {
  if (auto* box = static_cast<QCheckBox*>(Widget())) box->setChecked(value);
}

// ---- TRadioButton --------------------------------------------------------------

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner) {
  auto* button = new Hosted<QRadioButton>(this);
  QObject::connect(button, &QRadioButton::clicked, button, [this] { Click(); });
  SetBounds(0, 0, 113, 17);
  AttachWidget(button);
}

bool TRadioButton::Checked() const {
  auto* button = static_cast<QRadioButton*>(Widget());
  return button && button->isChecked();
}

void TRadioButton::SetChecked(bool value) {
  if (auto* button = static_cast<QRadioButton*>(Widget())) button->setChecked(value);
}

// ---- TComboBox -----------------------------------------------------------------

namespace {

// The closed box of an owner-drawn combo box: the frame and arrow of the
// style, the chosen item drawn by its control.
class ComboWidget : public Hosted<QComboBox> {
 public:
  ComboWidget(TComboBox* control) : Hosted<QComboBox>(control), combo_(control) {}
  void Forget() { combo_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (!combo_ || combo_->Style() != csOwnerDrawFixed) return QComboBox::paintEvent(event);
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0) return;
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    TOwnerDrawState state;
    state.Include(odComboBoxEdit);
    if (hasFocus()) state.Include(odSelected).Include(odFocused);
    combo_->DrawItem(painter, currentIndex(), field, state);
  }

 private:
  TComboBox* combo_;
};

// The items of the open list of an owner-drawn combo box.
class ComboItemDelegate : public QStyledItemDelegate {
 public:
  ComboItemDelegate(TComboBox* combo, QObject* parent) : QStyledItemDelegate(parent), combo_(combo) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    TOwnerDrawState state;
    if (option.state & QStyle::State_Selected) state.Include(odSelected);
    if (option.state & QStyle::State_HasFocus) state.Include(odFocused);
    combo_->DrawItem(*painter, index.row(), option.rect, state);
  }

 private:
  TComboBox* combo_;
};

}  // namespace

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner) {
  auto* box = new ComboWidget(this);
  QObject::connect(box, &QComboBox::activated, box, [this] {
    if (OnChange) OnChange(this);
  });
  SetBounds(0, 0, 145, 21);
  AttachWidget(box);
}

TComboBox::~TComboBox() {
  if (auto* box = static_cast<ComboWidget*>(Widget())) box->Forget();
}

void TComboBox::SetStyle(TComboBoxStyle value) {
  style_ = value;
  auto* box = static_cast<QComboBox*>(Widget());
  if (!box) return;
  // The list's own delegate draws a plain item; ours hands it to the control.
  box->setItemDelegate(value == csOwnerDrawFixed ? static_cast<QAbstractItemDelegate*>(new ComboItemDelegate(this, box))
                                                 : new QStyledItemDelegate(box));
  box->update();
}

TCanvas& TComboBox::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TQtCanvas>(nullptr);
  return *canvas_;
}

void TComboBox::DrawItem(QPainter& painter, int index, const QRect& rect, TOwnerDrawState state) {
  auto& canvas = static_cast<TQtCanvas&>(Canvas());
  painter.save();
  canvas.SetPainter(&painter);
  canvas.Font().Assign(Font());
  const bool selected = state.Contains(odSelected);
  canvas.Brush().SetColor(selected ? clHighlight : clWindow);
  canvas.Font().SetColor(selected ? clHighlightText : clWindowText);
  const TRect r{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1};
  RunGuarded([&] {
    if (OnDrawItem) {
      OnDrawItem(this, index, r, state);
    } else {
      canvas.FillRect(r);
      canvas.TextOut(r.Left + 2, r.Top, ItemAt(index));
    }
  });
  canvas.SetPainter(nullptr);
  painter.restore();
}

void TComboBox::ClearItems() {
  if (auto* box = static_cast<QComboBox*>(Widget())) box->clear();
}

void TComboBox::AddItem(const AnsiString& text) {
  if (auto* box = static_cast<QComboBox*>(Widget())) box->addItem(ToQString(text));
}

int TComboBox::ItemCount() const {
  auto* box = static_cast<QComboBox*>(Widget());
  return box ? box->count() : 0;
}

AnsiString TComboBox::ItemAt(int index) const {
  auto* box = static_cast<QComboBox*>(Widget());
  if (!box || index < 0 || index >= box->count()) return {};
  return FromQString(box->itemText(index));
}

int TComboBox::ItemIndex() const {
  auto* box = static_cast<QComboBox*>(Widget());
  return box ? box->currentIndex() : -1;
}

void TComboBox::SetItemIndex(int value) {
  auto* box = static_cast<QComboBox*>(Widget());
  if (!box) return;
  box->setCurrentIndex(value >= 0 && value < box->count() ? value : -1);
}

// ---- TListBox -----------------------------------------------------------------

TListBox::TListBox(TComponent* owner) : TWinControl(owner) {
  auto* list = new Hosted<QListWidget>(this);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  QObject::connect(list, &QListWidget::itemClicked, list, [this] { Click(); });
  SetBounds(0, 0, 121, 97);
  AttachWidget(list);
}

void TListBox::ClearItems() {
  if (auto* list = static_cast<QListWidget*>(Widget())) list->clear();
}

void TListBox::AddItem(const AnsiString& text) {
  if (auto* list = static_cast<QListWidget*>(Widget())) list->addItem(ToQString(text));
}

int TListBox::ItemCount() const {
  auto* list = static_cast<QListWidget*>(Widget());
  return list ? list->count() : 0;
}

AnsiString TListBox::ItemAt(int index) const {
  auto* list = static_cast<QListWidget*>(Widget());
  if (!list || index < 0 || index >= list->count()) return {};
  return FromQString(list->item(index)->text());
}

int TListBox::ItemIndex() const {
  auto* list = static_cast<QListWidget*>(Widget());
  return list ? list->currentRow() : -1;
}

void TListBox::SetItemIndex(int value) {
  auto* list = static_cast<QListWidget*>(Widget());
  if (!list) return;
  list->setCurrentRow(value >= 0 && value < list->count() ? value : -1);
}

// ---- TGroupBox -----------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 105);
  AttachWidget(new Hosted<QGroupBox>(this));
}

// ---- TScrollBar -----------------------------------------------------------------

TScrollBar::TScrollBar(TComponent* owner) : TWinControl(owner) {
  auto* bar = new Hosted<QScrollBar>(this, Qt::Horizontal);
  // As the classic bar, it leaves the keys to the window's own control.
  bar->setFocusPolicy(Qt::NoFocus);
  QObject::connect(bar, &QScrollBar::valueChanged, bar, [this](int value) {
    if (!applying_) SetPosition(value);
  });
  SetBounds(0, 0, 121, 16);
  AttachWidget(bar);
  Apply();
}

void TScrollBar::SetKind(TScrollBarKind value) {
  if (value == kind_) return;
  kind_ = value;
  SetBounds(Left(), Top(), Height(), Width());
  Apply();
}

void TScrollBar::SetParams(int position, int min, int max) {
  max = std::max(max, min);
  position = std::clamp(position, min, max);
  const bool moved = position != position_;
  min_ = min;
  max_ = max;
  position_ = position;
  Apply();
  if (moved && OnChange) OnChange(this);
}

void TScrollBar::SetSmallChange(int value) {
  small_change_ = value;
  Apply();
}

void TScrollBar::SetLargeChange(int value) {
  large_change_ = value;
  Apply();
}

void TScrollBar::Apply() {
  auto* bar = static_cast<QScrollBar*>(Widget());
  if (!bar) return;
  applying_ = true;
  bar->setOrientation(kind_ == sbVertical ? Qt::Vertical : Qt::Horizontal);
  bar->setRange(min_, max_);
  bar->setSingleStep(small_change_);
  bar->setPageStep(large_change_);
  bar->setValue(position_);
  applying_ = false;
}
