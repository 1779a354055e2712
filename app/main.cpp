#include "app/main.h"

#include "app/about.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

TForm1* Form1 = nullptr;

namespace {
AnsiString Ru(const char* utf8) { return Utf8ToAnsi(utf8); }
}  // namespace

TMenuItem* TForm1::AddItem(TMenuItem& parent, const char* name, const char* caption, TShortCut shortcut) {
  auto* item = new TMenuItem(this);
  item->SetName(name);
  item->SetCaption(Ru(caption));
  if (shortcut) item->SetShortCut(shortcut);
  parent.Add(item);
  return item;
}

void TForm1::AddLine(TMenuItem& parent) {
  auto* line = new TMenuItem(this);
  line->SetCaption("-");
  parent.Add(line);
}

TToolButton* TForm1::AddButton(const char* name, int image_index, const char* hint) {
  auto* button = new TToolButton(this);
  button->SetName(name);
  button->SetParent(ToolBar1);
  button->SetImageIndex(image_index);
  button->SetHint(Ru(hint));
  return button;
}

TForm1::TForm1(TComponent* owner) : TForm(owner) {
  SetName("Form1");
  SetCaption(Ru("ЛИВТ - КС7"));
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 800, 560);

  MainMenu1 = new TMainMenu(this);
  MainMenu1->SetName("MainMenu1");
  TMenuItem& bar = MainMenu1->Items();
  N1 = AddItem(bar, "N1", "Файл");
  N2 = AddItem(*N1, "N2", "Создать", ShortCut('N', {ssCtrl}));
  N3 = AddItem(*N1, "N3", "Открыть", ShortCut('O', {ssCtrl}));
  N4 = AddItem(*N1, "N4", "Дополнить");
  N5 = AddItem(*N1, "N5", "Сохранить", ShortCut('S', {ssCtrl}));
  N7 = AddItem(*N1, "N7", "Закрыть");
  AddLine(*N1);
  N8 = AddItem(*N1, "N8", "Предварительный просмотр");
  N9 = AddItem(*N1, "N9", "Печать", ShortCut('P', {ssCtrl}));
  AddLine(*N1);
  N11 = AddItem(*N1, "N11", "Выход");
  N12 = AddItem(bar, "N12", "Вид");
  N27 = AddItem(*N12, "N27", "Выровнять столбцы");
  AddLine(*N12);
  N29 = AddItem(*N12, "N29", "Задать цвет");
  N30 = AddItem(*N12, "N30", "Убрать цвет");
  N31 = AddItem(*N12, "N31", "Убрать все цвета");
  AddLine(*N12);
  N33 = AddItem(*N12, "N33", "Убрать сортировку");
  N13 = AddItem(bar, "N13", "Правка");
  N34 = AddItem(*N13, "N34", "Удалить строки");
  N35 = AddItem(bar, "N35", "Сервис");
  Excel1 = AddItem(*N35, "Excel1", "Экспорт в Excel");
  N37 = AddItem(*N35, "N37", "Перенумеровать строки");
  N14 = AddItem(bar, "N14", "Справка");
  N24 = AddItem(*N14, "N24", "Помощь", ShortCut(VK_F1, {}));
  AddLine(*N14);
  N26 = AddItem(*N14, "N26", "О программе");
  N11->OnClick = [this](TComponent* s) { N11Click(s); };
  N24->OnClick = [this](TComponent* s) { N24Click(s); };
  N26->OnClick = [this](TComponent* s) { N26Click(s); };

  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->SetName("PopupMenu1");
  TMenuItem& popup = PopupMenu1->Items();
  N22 = AddItem(popup, "N22", "Печать");
  AddLine(popup);
  N17 = AddItem(popup, "N17", "Задать цвет");
  N18 = AddItem(popup, "N18", "Убрать цвет");
  N19 = AddItem(popup, "N19", "Убрать все цвета");
  AddLine(popup);
  N23 = AddItem(popup, "N23", "Выровнять столбцы");
  AddLine(popup);
  N21 = AddItem(popup, "N21", "Удалить");

  ImageList1 = new TImageList(this);
  ImageList1->SetName("ImageList1");
  DrawToolImages(*ImageList1);

  ToolBar1 = new TToolBar(this);
  ToolBar1->SetName("ToolBar1");
  ToolBar1->SetParent(this);
  ToolBar1->SetImages(ImageList1);
  ToolButton1 = AddButton("ToolButton1", 0, "Создать");
  ToolButton2 = AddButton("ToolButton2", 1, "Открыть");
  ToolButton3 = AddButton("ToolButton3", 2, "Сохранить");
  ToolButton4 = AddButton("ToolButton4", 3, "Предварительный просмотр");
  ToolButton5 = AddButton("ToolButton5", 4, "Печать");
  ToolButton6 = AddButton("ToolButton6", 5, "Помощь");
  // Each button runs its menu item's handler, whatever that is at the time.
  const std::pair<TToolButton*, TMenuItem*> twins[] = {{ToolButton1, N2}, {ToolButton2, N3}, {ToolButton3, N5},
                                                       {ToolButton4, N8}, {ToolButton5, N9}, {ToolButton6, N24}};
  for (const auto& [button, item] : twins)
    button->OnClick = [item](TComponent* s) {
      if (item->OnClick) item->OnClick(s);
    };

  PageControl1 = new TPageControl(this);
  PageControl1->SetName("PageControl1");
  PageControl1->SetParent(this);
  PageControl1->SetAlign(alClient);
  TabSheet1 = new TTabSheet(this);
  TabSheet1->SetName("TabSheet1");
  TabSheet1->SetCaption(Ru("ТЕФ-КС7"));
  TabSheet1->SetPageControl(PageControl1);
  TabSheet2 = new TTabSheet(this);
  TabSheet2->SetName("TabSheet2");
  TabSheet2->SetCaption(Ru("ЛИВТ - КС7"));
  TabSheet2->SetPageControl(PageControl1);

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->SetName("OpenDialog1");
  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->SetName("SaveDialog1");
  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->SetName("ColorDialog1");

  SetMenu(MainMenu1);
  OnCreate = [this](TComponent* s) { FormCreate(s); };
  OnClose = [this](TComponent* s, TCloseAction& a) { FormClose(s, a); };
}

TForm1::~TForm1() = default;

void TForm1::FormCreate(TComponent*) {
  SetWindowState(wsMaximized);
  SetColor(clBtnShadow);
  PageControl1->Hide();
  const std::string help = FindFileIgnoringCase(ExtractFilePath(Application->ExeName()) + "kiv7.hlp");
  if (!help.empty()) Application->SetHelpFile(help);

  AppRegistry = std::make_unique<TRegistry>();
  AppRegistry->OpenKey(kAppRegistryKey, true);
  if (AppRegistry->ValueExists("Default_dir")) {
    DefaultDir = AnsiToUtf8(AppRegistry->ReadString("Default_dir"));
  } else {
    DefaultDir = GetCurrentDir();
    WriteDefaultDir();
  }
  OpenDialog1->SetInitialDir(DefaultDir);
  SaveDialog1->SetInitialDir(DefaultDir);

  TableOpen = false;
  TableModified = false;
  disable_button();
  tab_vis_dis();
}

void TForm1::WriteDefaultDir() {
  if (!AppRegistry) return;
  // The store keeps 1251 text; a folder whose name 1251 cannot spell is not
  // written at all rather than written wrong.
  const AnsiString ansi = Utf8ToAnsi(DefaultDir);
  if (AnsiToUtf8(ansi) != DefaultDir) return;
  AppRegistry->WriteString("Default_dir", ansi);
}

void TForm1::FormClose(TComponent*, TCloseAction&) { WriteDefaultDir(); }

void TForm1::N11Click(TComponent*) {
  // Through the window's own close, so that what it saves is saved.
  Close();
}

void TForm1::N24Click(TComponent*) { Application->HelpCommand(HELP_FINDER, 0); }

void TForm1::N26Click(TComponent*) { form6->ShowModal(); }

void TForm1::enable_button() {
  for (TMenuItem* item : {N4, N5, N7, N8, N9, N27, N29, N30, N31, N33, N34, N37, Excel1}) item->SetEnabled(true);
  for (TToolButton* button : {ToolButton3, ToolButton4, ToolButton5}) button->SetEnabled(true);
}

void TForm1::disable_button() {
  for (TMenuItem* item : {N4, N5, N7, N8, N9, N27, N29, N30, N31, N33, N34, N37, Excel1}) item->SetEnabled(false);
  for (TToolButton* button : {ToolButton3, ToolButton4, ToolButton5}) button->SetEnabled(false);
}

void TForm1::tab_vis_dis() { PageControl1->Hide(); }

// ---- Tool bar pictures ---------------------------------------------------------

namespace {

constexpr TColor kGround = clFuchsia;

void Begin(TBitmap& b) {
  b.SetSize(16, 16);
  TCanvas& c = b.Canvas();
  c.Brush().SetColor(kGround);
  c.FillRect(Rect(0, 0, 16, 16));
  c.Pen().SetColor(clBlack);
  c.Pen().SetWidth(1);
}

void Page(TCanvas& c, int left, int top) {
  const TPoint sheet[] = {{left, top}, {left + 7, top}, {left + 10, top + 3}, {left + 10, top + 13}, {left, top + 13}};
  c.Brush().SetColor(clWhite);
  c.Polygon(sheet, 5);
  c.MoveTo(left + 7, top);
  c.LineTo(left + 7, top + 3);
  c.LineTo(left + 10, top + 3);
}

void DrawNew(TCanvas& c) {
  Page(c, 3, 1);
  c.Pen().SetColor(clYellow);
  c.MoveTo(12, 9);
  c.LineTo(15, 9);
  c.MoveTo(13, 8);
  c.LineTo(13, 11);
}

void DrawOpen(TCanvas& c) {
  c.Brush().SetColor(RGB(230, 200, 90));
  c.Rectangle(1, 4, 13, 14);
  c.Brush().SetColor(RGB(250, 225, 120));
  const TPoint flap[] = {{3, 7}, {15, 7}, {13, 13}, {1, 13}};
  c.Polygon(flap, 4);
}

void DrawSave(TCanvas& c) {
  c.Brush().SetColor(clNavy);
  c.Rectangle(1, 1, 15, 15);
  c.Brush().SetColor(clWhite);
  c.Rectangle(4, 2, 12, 8);
  c.Brush().SetColor(clSilver);
  c.Rectangle(5, 10, 11, 15);
}

void DrawPreview(TCanvas& c) {
  Page(c, 1, 1);
  c.Brush().SetColor(RGB(200, 230, 255));
  c.Ellipse(6, 5, 13, 12);
  c.Pen().SetWidth(2);
  c.MoveTo(12, 11);
  c.LineTo(15, 14);
  c.Pen().SetWidth(1);
}

void DrawPrint(TCanvas& c) {
  c.Brush().SetColor(clWhite);
  c.Rectangle(4, 1, 12, 7);
  c.Brush().SetColor(clSilver);
  c.Rectangle(1, 6, 15, 12);
  c.Brush().SetColor(clWhite);
  c.Rectangle(4, 10, 12, 15);
  c.SetPixel(12, 8, clLime);
}

void DrawHelp(TCanvas& c) {
  c.Brush().SetColor(clNavy);
  c.Ellipse(1, 1, 15, 15);
  c.Brush().SetStyle(bsClear);
  c.Font().SetName("Arial");
  c.Font().SetSize(8);
  c.Font().SetStyle({fsBold});
  c.Font().SetColor(clWhite);
  c.TextOut(5, 1, "?");
  c.Brush().SetStyle(bsSolid);
}

}  // namespace

void DrawToolImages(TImageList& images) {
  for (void (*draw)(TCanvas&) : {DrawNew, DrawOpen, DrawSave, DrawPreview, DrawPrint, DrawHelp}) {
    TBitmap bitmap;
    Begin(bitmap);
    draw(bitmap.Canvas());
    images.AddMasked(bitmap, kGround);
  }
}
