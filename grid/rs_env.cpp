#include "grid/rs_env.h"

#include "toolkit/core/units.h"
#include "grid/rs_rtm.h"
#include "grid/rs_str.h"
#include "toolkit/gfx/graphics.h"

namespace {

TrsEnv* g_env = nullptr;

// The pictures are drawn here rather than shipped: a filled triangle for each
// arrow and sort state, simple figures for the footer aggregates and the blob
// markers, on a fuchsia background that the lists treat as transparent.
constexpr TColor kMask = clFuchsia;

TImageList* NewImageList(TComponent* owner, const char* name, int width, int height) {
  auto* list = new TImageList(owner);
  list->SetName(name);
  list->SetWidth(width);
  list->SetHeight(height);
  return list;
}

enum TArrowDirection { adRight, adDown, adLeft, adUp };

void AddPicture(TImageList& list, const std::function<void(TCanvas&, int w, int h)>& draw) {
  TBitmap bitmap;
  bitmap.SetSize(list.Width(), list.Height());
  TCanvas& canvas = bitmap.Canvas();
  canvas.Brush().SetColor(kMask);
  canvas.FillRect(Rect(0, 0, list.Width(), list.Height()));
  draw(canvas, list.Width(), list.Height());
  list.AddMasked(bitmap, kMask);
}

void Triangle(TCanvas& canvas, int w, int h, TArrowDirection direction, TColor color) {
  canvas.Pen().SetColor(clBlack);
  canvas.Brush().SetColor(color);
  const int l = 1, t = 1, r = w - 2, b = h - 2, cx = (w - 1) / 2, cy = (h - 1) / 2;
  TPoint p[3];
  switch (direction) {
    case adRight: p[0] = {l, t}, p[1] = {r, cy}, p[2] = {l, b}; break;
    case adDown: p[0] = {l, t}, p[1] = {r, t}, p[2] = {cx, b}; break;
    case adLeft: p[0] = {r, t}, p[1] = {l, cy}, p[2] = {r, b}; break;
    case adUp: p[0] = {l, b}, p[1] = {cx, t}, p[2] = {r, b}; break;
  }
  canvas.Polygon(p, 3);
}

void AddArrows(TImageList& list, TColor color) {
  for (TArrowDirection d : {adRight, adDown, adLeft, adUp})
    AddPicture(list, [&](TCanvas& c, int w, int h) { Triangle(c, w, h, d, color); });
}

void AddFooterPictures(TImageList& list) {
  // Average: a bar across the middle; count: three tally strokes; maximum and
  // minimum: a bar at the top or bottom over a column; sum: a sigma-like zigzag.
  auto pen = [](TCanvas& c) { c.Pen().SetColor(clNavy); };
  AddPicture(list, [&](TCanvas& c, int w, int h) {
    pen(c);
    for (int y = h / 2 - 1; y <= h / 2; ++y) c.MoveTo(2, y), c.LineTo(w - 2, y);
  });
  AddPicture(list, [&](TCanvas& c, int, int h) {
    pen(c);
    for (int x = 4; x <= 12; x += 4) c.MoveTo(x, 3), c.LineTo(x, h - 3);
  });
  AddPicture(list, [&](TCanvas& c, int w, int h) {
    pen(c);
    c.MoveTo(2, 2), c.LineTo(w - 2, 2);
    c.MoveTo(w / 2, 2), c.LineTo(w / 2, h - 2);
  });
  AddPicture(list, [&](TCanvas& c, int w, int h) {
    pen(c);
    c.MoveTo(2, h - 3), c.LineTo(w - 2, h - 3);
    c.MoveTo(w / 2, 2), c.LineTo(w / 2, h - 3);
  });
  AddPicture(list, [&](TCanvas& c, int w, int h) {
    pen(c);
    c.MoveTo(w - 3, 2), c.LineTo(3, 2), c.LineTo(w / 2, h / 2), c.LineTo(3, h - 3), c.LineTo(w - 3, h - 3);
  });
}

void AddBlobMarkers(TImageList& list) {
  AddPicture(list, [](TCanvas& c, int w, int h) {
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clNavy);
    c.Rectangle(3, 3, w - 3, h - 3);
  });
  AddPicture(list, [](TCanvas& c, int w, int h) {
    c.Pen().SetColor(clGray);
    c.Brush().SetColor(clWhite);
    c.Rectangle(3, 3, w - 3, h - 3);
  });
}

TMenuItem* NewItem(TComponent* owner, TMenuItem& parent, const char* name, int tag) {
  auto* item = new TMenuItem(owner);
  item->SetName(name);
  item->SetTag(tag);
  parent.Add(item);
  return item;
}

}  // namespace

TrsEnv::TrsEnv() : TForm(nullptr) {
  SetName("rsEnv");
  ArrowsYwImgs = NewImageList(this, "ArrowsYwImgs", 15, 15);
  ArrowsGrImgs = NewImageList(this, "ArrowsGrImgs", 15, 15);
  TitleStateImgs = NewImageList(this, "TitleStateImgs", 10, 9);
  FooterStateImgs = NewImageList(this, "FooterStateImgs", 16, 16);
  DesigntimeImgs = NewImageList(this, "DesigntimeImgs", 16, 16);
  ToolbarImages = NewImageList(this, "ToolbarImages", 16, 16);
  BlobMarkers = NewImageList(this, "BlobMarkers", 16, 16);
  AddArrows(*ArrowsYwImgs, clYellow);
  AddArrows(*ArrowsGrImgs, clGray);
  AddPicture(*TitleStateImgs, [](TCanvas& c, int w, int h) { Triangle(c, w, h, adUp, clGray); });
  AddPicture(*TitleStateImgs, [](TCanvas& c, int w, int h) { Triangle(c, w, h, adDown, clGray); });
  AddFooterPictures(*FooterStateImgs);
  AddBlobMarkers(*BlobMarkers);

  pumFooterMenu = new TPopupMenu(this);
  pumFooterMenu->SetName("pumFooterMenu");
  TMenuItem& root = pumFooterMenu->Items();
  miAverage = NewItem(this, root, "miAverage", 0);
  miCount = NewItem(this, root, "miCount", 1);
  miMax = NewItem(this, root, "miMax", 2);
  miMin = NewItem(this, root, "miMin", 3);
  miSum = NewItem(this, root, "miSum", 4);
  miSep1 = NewItem(this, root, "miSep1", 0);
  miSep1->SetCaption("-");
  miNone = NewItem(this, root, "miNone", 5);
  pumFooterMenu->SetImages(FooterStateImgs);
  pumFooterMenu->SetAlignment(paCenter);

  // The captions come from the texts, not from the names the items were
  // designed with (miMax shows "Maximum").
  const AnsiString captions = rsLoadStr(SFooterCaptions);
  for (int state = 0; state <= 5; ++state) {
    TMenuItem* item = MenuItemOf(state);
    item->SetCaption(ListItem(captions, state, ';'));
    item->SetRadioItem(true);
    item->SetImageIndex(state < 5 ? state : -1);
    item->OnClick = [this](TComponent* sender) { FooterMenuItemClick(sender); };
  }
  pumFooterMenu->OnPopup = [this](TComponent* sender) { FooterMenuPopup(sender); };
}

TrsEnv::~TrsEnv() {
  if (g_env == this) g_env = nullptr;
}

TMenuItem* TrsEnv::MenuItemOf(int footer_state) const {
  switch (footer_state) {
    case 0: return miAverage;
    case 1: return miCount;
    case 2: return miMax;
    case 3: return miMin;
    case 4: return miSum;
    case 5: return miNone;
    default: return nullptr;
  }
}

void TrsEnv::FooterMenuPopup(TComponent*) { miSep1->SetVisible(miNone->Visible()); }

void TrsEnv::FooterMenuItemClick(TComponent* Sender) {
  auto* item = dynamic_cast<TMenuItem*>(Sender);
  auto* client = dynamic_cast<IrsFooterMenuClient*>(pumFooterMenu->PopupComponent());
  if (item != nullptr && client != nullptr) client->FooterMenuItemClick(item);
}

namespace {
const char kEnvUnit = 0;
void FinalizeEnvUnit() {
  TrsEnv* env = g_env;
  g_env = nullptr;
  if (env != nullptr) env->Free();
}
}  // namespace

TrsEnv* rsEnv() {
  if (g_env == nullptr) {
    g_env = new TrsEnv();
    RegisterUnit(&kEnvUnit, "rs_env", FinalizeEnvUnit);
  }
  return g_env;
}

// The units made after the environment hold its menus and pictures: they go first.
void FreeRsEnv() { FinalizeUnit(&kEnvUnit); }
