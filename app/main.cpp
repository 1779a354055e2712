#include "app/main.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

#include "app/about.h"
#include "app/flash.h"
#include "app/measure.h"
#include "app/receive.h"
#include "app/report_forms.h"
#include "report/fr_globals.h"
#include "report/fr_views.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"
#include "xls/BIFF8_Types.h"
#include "xls/vteWriters.h"

TForm1* Form1 = nullptr;

namespace {
AnsiString Ru(const char* utf8) { return Utf8ToAnsi(utf8); }

// The grids' walks over the table: neither grid repaints or hears of a step
// (each step heard would have the grid's selection handler count the rows
// again, which makes a walk over a long table take minutes); at the end they
// hear once where the table stands.
template <class F>
void Frozen(TDataSet& table, TDBGridPro& a, TDBGridPro& b, F&& body) {
  TFreezeScope frozen_a(a, true);
  TFreezeScope frozen_b(b, true);
  TMuteScope muted(table);
  body();
}

// Why the system refused a file, in the program's language.
AnsiString RefusalReason(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return Ru("нет прав доступа");
    case EROFS: return Ru("диск доступен только для чтения");
    case ENOENT: return Ru("папка не найдена");
    case ENOTDIR: return Ru("в пути к файлу нет такой папки");
    case EISDIR: return Ru("это папка");
    case ENOSPC: return Ru("нет места на диске");
    case EDQUOT: return Ru("превышена квота диска");
    case EFBIG: return Ru("превышен размер файла");
    case ENAMETOOLONG: return Ru("слишком длинное имя");
    case EMFILE:
    case ENFILE: return Ru("открыто слишком много файлов");
    default: return Ru("ошибка системы ") + IntToStr(err);
  }
}

// "Не удалось <action> файл <name>: <reason>." in an error box.
void ShowFileRefusal(const char* action, const std::string& file_name, const AnsiString& reason) {
  Application->MessageBox(Ru("Не удалось ") + Ru(action) + Ru(" файл ") + Utf8ToAnsi(file_name) + ": " + reason + ".",
                          Ru("Ошибка"), MB_OK | MB_ICONERROR);
}

void ShowFileRefusal(const char* action, const std::string& file_name, int err) {
  ShowFileRefusal(action, file_name, RefusalReason(err));
}

// Why a table file cannot be the measurement table ("" when it could be):
// the fields it lacks, else the fields of another type. A file whose header
// cannot be read gives "" too: it is a damaged one.
AnsiString MismatchReason(const std::string& file_name) {
  TMeasurementMismatch mismatch;
  try {
    mismatch = MeasurementMismatch(file_name);
  } catch (const Exception&) {
    return AnsiString();
  }
  auto list = [](const std::vector<std::string>& names) {
    AnsiString text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + AnsiString(name);
    return text;
  };
  if (!mismatch.Missing.empty())
    return Ru(mismatch.Missing.size() == 1 ? "в таблице нет поля " : "в таблице нет полей ") + list(mismatch.Missing);
  if (!mismatch.OtherType.empty())
    return Ru(mismatch.OtherType.size() == 1 ? "в таблице другого типа поле " : "в таблице другого типа поля ") +
           list(mismatch.OtherType);
  return AnsiString();
}

// "Не удалось <what> <file>." in an error box: what failed and the file in the
// program's language first, then the engine's own words as the cause.
void ShowFailure(const char* what, const std::string& file_name, const Exception& e) {
  Application->MessageBox(Ru("Не удалось ") + Ru(what) + " " + Utf8ToAnsi(file_name) + ".\n" + Ru("Причина: ") +
                              e.Message(),
                          Ru("Ошибка"), MB_OK | MB_ICONERROR);
}

// Whether an error number says the system keeps this user from the file
// (its permissions, a read-only disk), rather than that it is not there.
bool IsRefusal(int err) { return err == EACCES || err == EPERM || err == EROFS; }

// The system's refusal to let this user read and write the file (0: none).
// A file that is missing, or there but not a table, is another failure.
int AccessRefusal(const std::string& file_name) {
  const int fd = ::open(file_name.c_str(), O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return 0;
  }
  const int err = errno;
  return IsRefusal(err) ? err : 0;
}

// Why a new table could not be made as the file (0: it can): its folder
// must take a new file, and a file already there must be writable.
int CreationRefusal(const std::string& file_name) {
  const std::filesystem::path file(file_name);
  const std::string folder = file.parent_path().empty() ? std::string(".") : file.parent_path().string();
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return errno;
  if (::access(file_name.c_str(), F_OK) == 0 && ::access(file_name.c_str(), W_OK) != 0) return errno;
  return 0;
}
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

  Dbf1 = new TDbf(this);
  Dbf1->SetName("Dbf1");
  Dbf1->SetTableLevel(4);
  Dbf1->SetUseFloatFields(false);
  // Its field definitions are the measurement row's (TMeasurementRow).
  Dbf1->SetStoreDefs(true);
  // The sort tags are made and dropped on the open table.
  Dbf1->SetExclusive(true);
  BuildFields();
  Session = std::make_unique<TTableSession>(
      *Dbf1, [this](const std::function<void()>& walk) { Frozen(*Dbf1, *DBGridPro1, *DBGridPro2, walk); });
  DataSource1 = new TDataSource(this);
  DataSource1->SetName("DataSource1");
  DataSource1->SetDataSet(Dbf1);
  // A change of P or R posted to a row of the table moves the statistics.
  // Only edits count: the rows an add or a creation appends are counted
  // once when the command is done.
  DataSource1->OnDataChange = [this](TDataSource*, TField* field) {
    if (field && Dbf1->CurrentMode() == dsEdit && (field == Dbf1P || field == Dbf1R))
      stats_stale_ = true;
  };
  Dbf1->AfterPost = [this](TDataSet*) {
    if (!std::exchange(stats_stale_, false)) return;
    RefreshStatsFooters();
  };
  Dbf1->AfterCancel = [this](TDataSet*) { stats_stale_ = false; };
  BuildGrids();
  BuildReports();

  N2->OnClick = [this](TComponent* s) { N2Click(s); };
  N3->OnClick = [this](TComponent* s) { N3Click(s); };
  N4->OnClick = [this](TComponent* s) { N4Click(s); };
  N5->OnClick = [this](TComponent* s) { N5Click(s); };
  N7->OnClick = [this](TComponent* s) { N7Click(s); };
  N8->OnClick = [this](TComponent* s) { N8Click(s); };
  N9->OnClick = [this](TComponent* s) { N9Click(s); };
  N22->OnClick = [this](TComponent* s) { N22Click(s); };
  N27->OnClick = N23->OnClick = [this](TComponent* s) { N23Click(s); };
  N29->OnClick = N17->OnClick = [this](TComponent* s) { N17Click(s); };
  N30->OnClick = N18->OnClick = [this](TComponent* s) { N18Click(s); };
  N31->OnClick = N19->OnClick = [this](TComponent* s) { N19Click(s); };
  N33->OnClick = [this](TComponent* s) { N33Click(s); };
  N34->OnClick = N21->OnClick = [this](TComponent* s) { N21Click(s); };
  N37->OnClick = [this](TComponent* s) { N37Click(s); };
  Excel1->OnClick = [this](TComponent* s) { Excel1Click(s); };
  TabSheet1->OnShow = [this](TComponent* s) { TabSheet1Show(s); };
  TabSheet2->OnShow = [this](TComponent* s) { TabSheet2Show(s); };

  SetMenu(MainMenu1);
  OnCreate = [this](TComponent* s) { FormCreate(s); };
  OnClose = [this](TComponent* s, TCloseAction& a) { FormClose(s, a); };
}

TForm1::~TForm1() {
  if (exception_hook_ && Application) Application->OnException = nullptr;
}

void TForm1::AppException(const std::exception& error) {
  const auto* e = dynamic_cast<const Exception*>(&error);
  const bool editing = TableOpen && Dbf1->QueryActive() &&
                       (Dbf1->CurrentMode() == dsEdit || Dbf1->CurrentMode() == dsInsert);
  if (e == nullptr || !editing) {
    Application->ShowException(error);
    return;
  }
  ShowFailure("сохранить строку таблицы", TableFileName(), *e);
  ShowTableAsItIs();
}

namespace {
// The form's field object of that name, of its class.
template <class T>
T* FieldObject(const TForm1& form, const char* name) {
  auto* field = dynamic_cast<T*>(form.FindComponent(name));
  if (field == nullptr) throw Exception(AnsiString("no field object ") + name);
  return field;
}
}  // namespace

void TForm1::BuildFields() {
  CreateMeasurementFields(*Dbf1, this);
  Dbf1N = FieldObject<TIntegerField>(*this, "Dbf1N");
  Dbf1DATE = FieldObject<TStringField>(*this, "Dbf1DATE");
  Dbf1TIME = FieldObject<TStringField>(*this, "Dbf1TIME");
  Dbf1DEV_TYPE = FieldObject<TSmallintField>(*this, "Dbf1DEV_TYPE");
  Dbf1SERIAL = FieldObject<TIntegerField>(*this, "Dbf1SERIAL");
  Dbf1NB_TYPE = FieldObject<TSmallintField>(*this, "Dbf1NB_TYPE");
  Dbf1P = FieldObject<TFloatField>(*this, "Dbf1P");
  Dbf1R = FieldObject<TFloatField>(*this, "Dbf1R");
  Dbf1ZAV = FieldObject<TStringField>(*this, "Dbf1ZAV");
  Dbf1TYPE = FieldObject<TStringField>(*this, "Dbf1TYPE");
  Dbf1COMMENT = FieldObject<TStringField>(*this, "Dbf1COMMENT");
  Dbf1H = FieldObject<TFloatField>(*this, "Dbf1H");
  Dbf1T = FieldObject<TFloatField>(*this, "Dbf1T");
  Dbf1K = FieldObject<TFloatField>(*this, "Dbf1K");
  Dbf1A1 = FieldObject<TFloatField>(*this, "Dbf1A1");
  Dbf1A2 = FieldObject<TFloatField>(*this, "Dbf1A2");
  Dbf1A3 = FieldObject<TFloatField>(*this, "Dbf1A3");
  Dbf1D1 = FieldObject<TFloatField>(*this, "Dbf1D1");
  Dbf1D2 = FieldObject<TFloatField>(*this, "Dbf1D2");
  Dbf1D3 = FieldObject<TFloatField>(*this, "Dbf1D3");
}

void TForm1::FormCreate(TComponent*) {
  // Errors no command catches come from the grids: their edits, posted as
  // a row is left.
  Application->OnException = [this](TComponent*, const std::exception& e) { AppException(e); };
  exception_hook_ = true;
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

  Dbf1->Deactivate();
  TableOpen = false;
  TableModified = false;
  DBGridPro1->SetBookmarkFields("P;R");
  DBGridPro2->SetBookmarkFields("P;R");
  reset_sort(*DBGridPro2, "tab2");
  reset_sort(*DBGridPro1, "tab1");
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

void TForm1::FormClose(TComponent*, TCloseAction&) {
  WriteDefaultDir();
  Close_DB();
}

void TForm1::N11Click(TComponent*) {
  // Through the window's own close, so that what it saves is saved.
  Close();
}

void TForm1::SetTitles(const AnsiString& text) {
  Application->SetTitle(text);
  SetCaption(text);
}

// ---- Table lifecycle ---------------------------------------------------------

void TForm1::N2Click(TComponent*) {
  Close_DB();
  SaveDialog1->SetFileName("");
  SaveDialog1->SetFilter(Ru("Файлы данных|*.db"));
  SaveDialog1->SetFilterIndex(1);
  SaveDialog1->SetDefaultExt(".db");
  // The new table replaces a file of that name: the user says so first.
  SaveDialog1->SetOptions(SaveDialog1->Options().Include(ofOverwritePrompt));
  if (!SaveDialog1->Execute() || SaveDialog1->FileName().empty()) return;
  // Refused before the instrument is asked, not after its whole transfer.
  if (const int err = CreationRefusal(SaveDialog1->FileName())) {
    ShowFileRefusal("создать", SaveDialog1->FileName(), err);
    return;
  }
  if (Form2->ShowModal() != mrOk) return;
  Guarded("создать таблицу", SaveDialog1->FileName(), [this] { Create_DB(); });
}

std::string TForm1::TableFileName() const { return Session->FileName(); }

void TForm1::Guarded(const char* what, const std::string& file_name, const std::function<void()>& body) {
  try {
    body();
  } catch (const EAbort&) {
    ShowTableAsItIs();
    throw;
  } catch (const Exception& e) {
    ShowFailure(what, file_name, e);
    ShowTableAsItIs();
  }
}

void TForm1::ShowTableAsItIs() {
  try {
    if (Dbf1->QueryActive() && (Dbf1->CurrentMode() == dsEdit || Dbf1->CurrentMode() == dsInsert))
      Dbf1->DiscardChanges();
    if (!Dbf1->QueryActive()) Dbf1->Activate();
    TableOpen = true;
    SetColor(clBtnFace);
    enable_button();
    if (PageControl1->Visible()) {
      // The tab stays; its rows are read anew.
      Session->ShowKind(PageControl1->ActivePage() == TabSheet1 ? kPressKind : kAcousticKind);
    } else {
      tab_vis_en();
    }
    // A sort mark is shown only over rows the tag sorts.
    if (Dbf1->IndexName().empty()) {
      reset_sort(*DBGridPro1, "tab1");
      reset_sort(*DBGridPro2, "tab2");
    }
    Session->ForgetCount();
    find_mma();
    Dbf1->GoFirst();
    ShowStatsFooters(*DBGridPro1);
    ShowStatsFooters(*DBGridPro2);
  } catch (...) {
    // A table that cannot be read back is closed, and the window says so.
    try {
      Dbf1->Deactivate();
    } catch (...) {
      // Its remains go quietly: the failure was told already.
    }
    TableOpen = false;
    TableModified = false;
    Session->ForgetCount();
    disable_button();
    tab_vis_dis();
    SetTitles(Ru("ЛИВТ - КС7"));
    SetColor(clBtnShadow);
  }
}

bool TForm1::RunOpenDialog() {
  OpenDialog1->SetFileName("");
  OpenDialog1->SetFilter(Ru("Базы данных|*.db"));
  OpenDialog1->SetFilterIndex(1);
  OpenDialog1->SetDefaultExt(".db");
  if (!OpenDialog1->Execute() || OpenDialog1->FileName().empty()) return false;
  Close_DB();
  DefaultDir = std::filesystem::path(OpenDialog1->FileName()).parent_path().string();
  Open_DB(OpenDialog1->FileName());
  return true;
}

void TForm1::N3Click(TComponent*) { RunOpenDialog(); }

namespace {
void ShowDecodeMessage(const AnsiString& text, const AnsiString& caption) {
  Application->MessageBox(text, caption, MB_OK | MB_ICONINFORMATION);
}

// Decodes the last transfer into the table by the instrument's kind.
void Decode(TDbf& table, bool append) {
  TDumpDecoder decoder(table, Form2->Identity(), Form2->Dump(), ShowDecodeMessage);
  if (IsPressInstrument(Form2->Identity()))
    decoder.flash2vam(append);
  else
    decoder.flash2kiv7(append);
}
}  // namespace

void TForm1::N4Click(TComponent*) {
  if (!TableOpen) RunOpenDialog();
  if (!TableOpen) return;
  if (Form2->ShowModal() == mrCancel) return;
  Guarded("дополнить таблицу", TableFileName(), [this] {
    reset_sort(*DBGridPro1, "tab1");
    reset_sort(*DBGridPro2, "tab2");
    Decode(*Dbf1, true);
    TableOpen = true;
    Save_DB();
    tab_vis_en();
    find_mma();
    ShowStatsFooters(*DBGridPro1);
    ShowStatsFooters(*DBGridPro2);
  });
}

void TForm1::N5Click(TComponent*) {
  if (!TableOpen) return;
  Guarded("сохранить таблицу", TableFileName(), [this] { Save_DB(); });
}

void TForm1::N7Click(TComponent*) { Close_DB(); }

void TForm1::Create_DB() {
  TableOpen = false;
  TableModified = false;
  Session->Create(SaveDialog1->FileName());
  TableOpen = true;
  SetColor(clBtnFace);
  Decode(*Dbf1, false);
  enable_button();
  tab_vis_en();
  load_layout("Table_1", *DBGridPro1);
  load_layout("Table_2", *DBGridPro2);
  find_mma();
  ShowStatsFooters(*DBGridPro1);
  ShowStatsFooters(*DBGridPro2);
  TableModified = false;
}

void TForm1::Open_DB(const std::string& file_name) {
  Close_DB();
  const std::filesystem::path file(file_name);
  try {
    Session->Open(file_name);
  } catch (...) {
    // A table another copy of the program or another process holds is in
    // use, not damaged.
    bool in_use = false;
    try {
      throw;
    } catch (const EDbfFileInUse&) {
      in_use = true;
    } catch (...) {
      // Any other failure is told below.
    }
    try {
      Dbf1->Deactivate();
    } catch (...) {
      // What the failed open left half open goes quietly: the user hears of
      // the open, not of closing its remains.
    }
    // A table the system keeps from this user is not a damaged one.
    if (in_use)
      Application->MessageBox(Ru("Не удалось открыть файл ") + Utf8ToAnsi(file_name) +
                                  Ru(": он открыт в другой копии программы или занят другим процессом."),
                              Ru("Ошибка"), MB_OK | MB_ICONERROR);
    else if (const int err = AccessRefusal(file_name))
      ShowFileRefusal("открыть", file_name, err);
    else if (const AnsiString mismatch = MismatchReason(file_name); !mismatch.empty())
      ShowFileRefusal("открыть", file_name, mismatch);
    else
      Application->MessageBox(Ru("База данных повреждена !"), Ru("Ошибка"), MB_OK | MB_ICONERROR);
    return;
  }
  TableOpen = true;
  SetColor(clBtnFace);
  enable_button();
  tab_vis_en();
  // Over the rows of the tab now shown, not under the filter of the table
  // open before.
  find_mma();
  Dbf1->GoFirst();
  load_layout("Table_1", *DBGridPro1);
  load_layout("Table_2", *DBGridPro2);
  ShowStatsFooters(*DBGridPro1);
  ShowStatsFooters(*DBGridPro2);
  SetTitles(Ru("ЛИВТ - КС7") + " - " + Utf8ToAnsi(file.stem().string()));
  TableModified = false;
}

void TForm1::Save_DB() {
  if (!TableOpen) return;
  if (Dbf1->QueryActive()) DBGridPro1->CommitEdit();
  Session->Reopen();
  TableModified = false;
}

void TForm1::Close_DB() {
  const bool had_table = TableOpen || Dbf1->QueryActive();
  const std::string file_name = had_table ? TableFileName() : std::string();
  // A close that fails after a failed save fails for the same cause: it is
  // told once.
  bool told = false;
  auto tell = [&](const char* what, const Exception& e) {
    if (told || dynamic_cast<const EAbort*>(&e)) return;
    ShowFailure(what, file_name, e);
    told = true;
  };
  if (TableModified &&
      Application->MessageBox(Ru("Сохранить изменения в таблицах ?"), Ru("ЛИВТ - КС7"), MB_YESNO | MB_ICONQUESTION) ==
          IDYES) {
    try {
      Save_DB();
    } catch (const Exception& e) {
      // The close goes on: the rows posted before are in the file, and the
      // edit that could not be written goes with the table.
      tell("сохранить таблицу", e);
      try {
        if (Dbf1->QueryActive() && (Dbf1->CurrentMode() == dsEdit || Dbf1->CurrentMode() == dsInsert))
          Dbf1->DiscardChanges();
      } catch (const Exception&) {
        // Closing the table below drops the edit all the same.
      }
    }
  }
  if (had_table) {
    save_layout("Table_1", *DBGridPro1);
    save_layout("Table_2", *DBGridPro2);
  }
  TableOpen = false;
  TableModified = false;
  Session->ForgetCount();
  if (Dbf1->QueryActive()) {
    // The sort tags go through the table engine, which deletes the index
    // file it made once its last tag is gone; a file of that name the
    // program did not make stays.
    reset_sort(*DBGridPro2, "tab2");
    reset_sort(*DBGridPro1, "tab1");
    try {
      Session->Close();
    } catch (const Exception& e) {
      // The table is closed all the same; what it could not store is told.
      tell("закрыть таблицу", e);
    }
  }
  disable_button();
  tab_vis_dis();
  if (had_table) SetTitles(Ru("ЛИВТ - КС7"));
  SetColor(clBtnShadow);
}

void TForm1::tab_vis_en() {
  if (!Dbf1->QueryActive()) return;
  Dbf1->GoFirst();
  if (Session->HasKind(kAcousticKind)) {
    TabSheet1->SetTabVisible(false);
    TabSheet2->SetTabVisible(true);
    PageControl1->SetActivePage(TabSheet2);
  } else {
    TabSheet2->SetTabVisible(false);
    TabSheet1->SetTabVisible(true);
    PageControl1->SetActivePage(TabSheet1);
    Session->ShowKind(kPressKind);
  }
  PageControl1->Show();
  PageControl1->Repaint();
}

void TForm1::TabSheet1Show(TComponent*) {
  if (Session->Active()) Session->ShowKind(kPressKind);
}

void TForm1::TabSheet2Show(TComponent*) {
  if (Session->Active()) Session->ShowKind(kAcousticKind);
}

void TForm1::DBGridPro1InitEdit(TComponent*) { TableModified = true; }

TDBGridPro* TForm1::ActiveGrid() const {
  if (!TableOpen || !Dbf1->QueryActive() || !PageControl1->Visible()) return nullptr;
  return PageControl1->ActivePage() == TabSheet1 ? DBGridPro1 : DBGridPro2;
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

// ---- Grids -----------------------------------------------------------------

namespace {

struct ColumnDesign {
  const char* field;  // nullptr: a column without a field
  const char* title;
  int width;
  bool visible = true;
  bool stacked = false;  // on the next layout level of the column before
  bool read_only = false;
};

// A column below the first column of the group its field opened.
void Stack(TgpColumns& columns, TgpColumn* column, int group_first) {
  for (int g = 0; g < columns.GroupCount(); ++g) {
    TgpGroupInfo* group = columns.Groups(g);
    if (group->FirstColumn <= group_first && group_first <= group->LastColumn) {
      columns.MoveColumn(column, group, group->LineCount, 0);
      return;
    }
  }
}

void AddColumns(TDBGridPro& grid, std::initializer_list<ColumnDesign> design) {
  TgpColumns& columns = *grid.Columns();
  int group_first = -1;
  for (const ColumnDesign& d : design) {
    TgpColumn* column = columns.Add();
    if (d.field) column->SetFieldName(d.field);
    column->SetCaption(Ru(d.title));
    column->SetWidth(d.width);
    column->SetAlignment(talCenter);
    column->SetCaptionAlignment(talCenter);
    column->SetReadOnly(d.read_only);
    if (d.stacked)
      Stack(columns, column, group_first);
    else
      group_first = column->Index();
    if (!d.visible) column->SetVisible(false);
  }
}


}  // namespace

void TForm1::BuildGrids() {
  LiteDesigner1 = new TLiteDesigner(this);
  LiteDesigner1->SetName("LiteDesigner1");
  LiteDesigner1->TitleFont()->SetName("Arial");
  LiteDesigner1->CellFont()->SetName("Arial");
  LiteDesigner1->FooterFont()->SetName("Symbol");
  LiteDesigner1->SetSelectedRowFill(true);
  LiteDesigner1->SetVertLines(clSilver);
  LiteDesigner1->SetHorizLines(clSilver);

  auto numeric = [this](const char* name, const char* format) {
    auto* vision = new TNumericVision(this);
    vision->SetName(name);
    vision->SetDisplayFormat(format);
    vision->SetDropDownKind(ndkCustom);
    return vision;
  };
  NumericVision_00 = numeric("NumericVision_00", "0.000");
  NumericVision_00->SetAlignment(talCenter);
  NumericVision1 = numeric("NumericVision1", "0.0");
  NumericVision2 = numeric("NumericVision2", "0");
  TextVision1 = new TTextVision(this);
  TextVision1->SetName("TextVision1");
  TextVision1->SetDisplayAs(tbmText);

  auto make = [this](const char* name, TTabSheet* sheet) {
    auto* grid = new TDBGridPro(this);
    grid->SetName(name);
    grid->SetParent(sheet);
    grid->SetAlign(alClient);
    grid->SetTitleLines(2);
    grid->SetShowEmptyRow(false);
    grid->SetOptionsEdit(
        grid->OptionsEdit().Include(geoNoInserts).Include(geoNoAppends).Include(geoNoQuickEditByTabKey));
    grid->SetOptionsBehavior(TgpGridBehaviorOptions{gboNoColumnMoving, gboNoColumnGrouping, gboNoMultiTitleStates,
                                                    gboNoIncomingDragTrack, gboNoInsideDragTrack});
    grid->SetDesigner(LiteDesigner1);
    grid->SetPopupMenu(PopupMenu1);
    grid->OnInitEdit = [this](TComponent* s) { DBGridPro1InitEdit(s); };
    return grid;
  };
  DBGridPro1 = make("DBGridPro1", TabSheet1);
  DBGridPro1->SetShowFooters(true);
  DBGridPro1->SetMultiSelect(true);
  // Its footers show the statistics, not an aggregate the user picks.
  DBGridPro1->SetOptionsBehavior(DBGridPro1->OptionsBehavior().Include(gboNoFooterStates));
  AddColumns(*DBGridPro1, {{"N", "N", 69},
                           {"DATE", "Дата", 71},
                           {"TIME", "Время", 69},
                           {"T", "Вид испытаний", 36, false},
                           {"P", "P, кН", 101},
                           {"R", "R, МПа", 69},
                           {"TYPE", "Тип и размер образца", 60},
                           {"H", "Перемещение, мм", 37},
                           {"ZAV", "Расстояние между опорами, мм", 64, false},
                           {"COMMENT", "Примечание", 114},
                           {nullptr, "", 39},
                           {nullptr, "", 42}});
  DBGridPro2 = make("DBGridPro2", TabSheet2);
  AddColumns(*DBGridPro2, {{"N", "N", 50},
                           {"DATE", "Дата", 52},
                           {"TIME", "Время", 55},
                           {"R", "Ао, дБ", 47, true, false, true},
                           {"A1", "Асв1, дБ", 78},
                           {"A2", "Асв2, дБ", 78, true, true},
                           {"A3", "Асв3, дБ", 78, true, true},
                           {"D1", "Aо-Асв1, дБ", 70, false},
                           {"D2", "Aо-Асв2, дБ", 70, false, true},
                           {"D3", "Aо-Асв3, дБ", 70, false, true},
                           {"D1", "Aо-Асв1, дБ", 53},
                           {"D2", "Aо-Асв2, дБ", 53, true, true},
                           {"D3", "Aо-Асв3, дБ", 53, true, true},
                           {"H", "d,  мм.", 46},
                           {"P", "KU аo, дБ", 65, true, false, true},
                           {"K", "KU асв, дБ", 73},
                           {"COMMENT", "Комментрий", 154}});
  // The visions by column position: the press grid's P and R, and its
  // comments; the acoustic grid's levels and differences (all but the hidden
  // D3), and its P and K.
  auto assign = [](TDBGridPro* grid, std::initializer_list<int> columns, TvpFieldVision* vision) {
    for (int index : columns) grid->Columns()->Items(index)->SetVision(vision);
  };
  assign(DBGridPro1, {4, 5}, NumericVision_00);
  assign(DBGridPro1, {9}, TextVision1);
  assign(DBGridPro2, {3, 4, 5, 6, 7, 8, 10, 11, 12}, NumericVision1);
  assign(DBGridPro2, {14, 15}, NumericVision2);
  for (TDBGridPro* grid : {DBGridPro1, DBGridPro2}) {
    grid->SetAutoColumnFit(true);
    grid->SetDataSource(DataSource1);
  }
  DBGridPro1->AfterDelete = [this](TComponent* s) { DBGridPro1AfterDelete(s); };
  DBGridPro2->AfterDelete = [this](TComponent* s) { DBGridPro2AfterDelete(s); };
  DBGridPro1->OnSelectionChange = [this](TComponent* s) { DBGridPro1SelectionChange(s); };
  DBGridPro2->OnSelectionChange = [this](TComponent* s) { DBGridPro2SelectionChange(s); };
  DBGridPro1->OnTitleStateChange = [this](TComponent* s, TgpColumn* c) { DBGridPro1TitleStateChange(s, c); };
  DBGridPro2->OnTitleStateChange = [this](TComponent* s, TgpColumn* c) { DBGridPro2TitleStateChange(s, c); };
}


AnsiString StatsText(double min, double mean, double max) {
  auto text = [](double v) { return FloatToStrF(v, ffGeneral, 15, 0); };
  return text(min) + "/" + text(mean) + "/" + text(max);
}

void TForm1::find_mma() { TableStats = Session->Stats(*Dbf1P, *Dbf1R); }

void TForm1::RefreshStatsFooters() {
  TDBGridPro* grid = ActiveGrid();
  if (!grid) return;
  // The walk leaves the row the user stands on, and the post may be part of
  // the user's move away from it: the table returns there before the move
  // goes on.
  Frozen(*Dbf1, *DBGridPro1, *DBGridPro2, [&] {
    const TBookmark here = Dbf1->TakeBookmark();
    find_mma();
    if (!here.empty()) Dbf1->ReturnToBookmark(here);
  });
  if (!ShowSelectionFooters(*grid)) ShowStatsFooters(*grid);
}

void TForm1::ShowStatsFooters(TDBGridPro& grid) {
  TgpColumns& columns = *grid.Columns();
  const TTableStats& s = TableStats;
  if (TgpColumn* c = columns.ColumnByFieldName("P")) c->SetFooterText(StatsText(s.Pmin, s.Pmean, s.Pmax));
  if (TgpColumn* c = columns.ColumnByFieldName("R")) c->SetFooterText(StatsText(s.Rmin, s.Rmean, s.Rmax));
  if (TgpColumn* c = columns.ColumnByFieldName("N")) c->SetFooterText(IntToStr(Session->VisibleRows()));
}

bool TForm1::ShowSelectionFooters(TDBGridPro& grid) {
  TgpSelection& selection = *grid.Selection();
  const int count = selection.Count();
  if (count < 2) return false;
  double pmin = 0, pmax = 0, psum = 0, rmin = 0, rmax = 0, rsum = 0;
  for (int i = 0; i < count; ++i) {
    const Variant values = selection.BookmarkValuesOf(i);
    const double pv = values[0].AsDouble(), rv = values[1].AsDouble();
    if (i == 0) {
      pmin = pmax = pv;
      rmin = rmax = rv;
    }
    pmin = std::min(pmin, pv), pmax = std::max(pmax, pv), psum += pv;
    rmin = std::min(rmin, rv), rmax = std::max(rmax, rv), rsum += rv;
  }
  TgpColumns& columns = *grid.Columns();
  if (TgpColumn* c = columns.ColumnByFieldName("P"))
    c->SetFooterText(StatsText(pmin, RoundMean(psum / count), pmax));
  if (TgpColumn* c = columns.ColumnByFieldName("R"))
    c->SetFooterText(StatsText(rmin, RoundMean(rsum / count), rmax));
  if (TgpColumn* c = columns.ColumnByFieldName("N")) c->SetFooterText(IntToStr(Session->VisibleRows()));
  return true;
}

void TForm1::DBGridPro1AfterDelete(TComponent*) {
  find_mma();
  ShowStatsFooters(*DBGridPro1);
}

void TForm1::DBGridPro2AfterDelete(TComponent*) {
  find_mma();
  ShowStatsFooters(*DBGridPro2);
}

// The press grid shows the selection statistics in its footers as the
// acoustic grid does.
void TForm1::DBGridPro1SelectionChange(TComponent*) {
  if (!Dbf1->QueryActive()) return;
  if (!ShowSelectionFooters(*DBGridPro1)) ShowStatsFooters(*DBGridPro1);
}

void TForm1::DBGridPro2SelectionChange(TComponent*) {
  if (!Dbf1->QueryActive()) return;
  if (!ShowSelectionFooters(*DBGridPro2)) ShowStatsFooters(*DBGridPro2);
}

void TForm1::SortChanged(TDBGridPro& grid, TgpColumn* column, const char* tag) {
  if (!Dbf1->QueryActive() || column == nullptr) return;
  Session->LeaveTag(tag);
  if (column->TitleState() == tsSortedNone || column->FieldName().empty()) {
    reset_sort(grid, tag);
    return;
  }
  Guarded("отсортировать строки таблицы", TableFileName(),
          [&] { Session->SortBy(tag, column->FieldName(), column->TitleState() == tsSortedUp); });
}

void TForm1::DBGridPro1TitleStateChange(TComponent*, TgpColumn* Column) { SortChanged(*DBGridPro1, Column, "tab1"); }

void TForm1::DBGridPro2TitleStateChange(TComponent*, TgpColumn* Column) { SortChanged(*DBGridPro2, Column, "tab2"); }

void TForm1::reset_sort(TDBGridPro& grid, const char* tag) {
  TgpColumns& columns = *grid.Columns();
  for (int i = 0; i < columns.Count(); ++i) columns.Items(i)->SetTitleState(tsSortedNone);
  Session->DropTag(tag);
}

void TForm1::N33Click(TComponent*) {
  reset_sort(*DBGridPro2, "tab2");
  reset_sort(*DBGridPro1, "tab1");
}

void TForm1::N17Click(TComponent*) {
  TDBGridPro* grid = ActiveGrid();
  if (!grid || !ColorDialog1->Execute()) return;
  if (TgpColumn* column = grid->CurrentColumn()) column->SetColor(ColorDialog1->Color());
}

void TForm1::N18Click(TComponent*) {
  TDBGridPro* grid = ActiveGrid();
  if (!grid) return;
  if (TgpColumn* column = grid->CurrentColumn()) column->SetColor(clNone);
}

void TForm1::N19Click(TComponent*) {
  if (TDBGridPro* grid = ActiveGrid()) clear_colors(*grid);
}

void TForm1::clear_colors(TDBGridPro& grid) {
  TgpColumns& columns = *grid.Columns();
  for (int i = 0; i < columns.Count(); ++i) columns.Items(i)->SetColor(clNone);
}

void TForm1::N23Click(TComponent*) {
  if (TDBGridPro* grid = ActiveGrid()) fit_columns(*grid);
}

void TForm1::fit_columns(TDBGridPro& grid) {
  TgpColumns& columns = *grid.Columns();
  if (columns.Count() == 0) return;
  grid.SetAutoColumnFit(false);
  // The grid of a hidden tab is not laid out; it takes the tab's width.
  const TTabSheet* page = PageControl1->ActivePage();
  const int width = std::max(grid.Width(), page ? page->ClientWidth() : 0);
  const int w = width / columns.Count();
  for (int i = 0; i < columns.Count(); ++i) columns.Items(i)->SetWidth(w);
  grid.SetAutoColumnFit(true);
  grid.Repaint();
}

void TForm1::N21Click(TComponent*) {
  TDBGridPro* grid = ActiveGrid();
  if (!grid) return;
  Guarded("удалить строки из", TableFileName(), [&] {
    del_rows(*grid, *Dbf1);
    find_mma();
    ShowStatsFooters(*grid);
  });
}

void TForm1::del_rows(TDBGridPro& grid, TDbf& table) {
  if (!table.QueryActive()) return;
  reset_sort(grid, "tab1");
  reset_sort(grid, "tab2");
  TgpSelection& selection = *grid.Selection();
  std::vector<TBookmark> rows;
  for (int i = 0; i < selection.Count(); ++i) rows.push_back(selection.Items(i)->Bookmark);
  try {
    selection.DeleteSelected(false, true);
    grid.CommitEdit();
    Session->Pack();
  } catch (...) {
    // Rows that stay in the file stay rows: a dBASE reader would take
    // their marks for a deletion that was said to have failed.
    try {
      Session->Recall(rows);
    } catch (...) {
      // The deletion's failure is the one told; the window then shows the
      // rows as the file holds them.
    }
    throw;
  }
  TableModified = false;
}

void TForm1::N37Click(TComponent*) {
  if (!TableOpen || !Dbf1->QueryActive()) return;
  Guarded("перенумеровать строки таблицы", TableFileName(), [this] { Session->Renumber(*Dbf1N); });
}

// ---- Printing ------------------------------------------------------------------

void TForm1::BuildReports() {
  // The report library's start-up (its texts, printer and object classes)
  // before its first component reads a template.
  frGlobals();
  RegisterStandardViews();
  frDBDataSet1 = new TfrDBDataSet(this);
  frDBDataSet1->SetName("frDBDataSet1");
  frDBDataSet1->SetDataSet(Dbf1);
  TfrReport** reports[kReportFormCount] = {&frReport1, &frReport2, &frReport3, &frReport4, &frReport5};
  for (int i = 0; i < kReportFormCount; ++i) {
    // Each reads its stored description as a form's loading would, the
    // template coming in through its "ReportForm".
    *reports[i] = new TfrReport(this);
    ReadStoredComponent(**reports[i], kReportFormTexts[i]);
  }
}

void ReadStoredComponent(TComponent& component, const char* text) {
  TStringStream source(text);
  TMemoryStream binary;
  ObjectTextToBinary(source, binary);
  binary.SetPosition(0);
  TReader(binary).ReadRootComponent(&component);
}

bool TForm1::BuildQuietly(TfrReport& report) {
  bool built = false;
  Frozen(*Dbf1, *DBGridPro1, *DBGridPro2, [&] { built = report.BuildReport(); });
  return built;
}

void TForm1::N8Click(TComponent*) {
  if (ActiveGrid() != DBGridPro2) return;
  // As BuildAndPreview: the preview opens whatever the build gave.
  BuildQuietly(*frReport4);
  frReport4->ShowBuiltPages();
}

void TForm1::N9Click(TComponent*) {
  if (ActiveGrid() != DBGridPro2) return;
  if (BuildQuietly(*frReport4)) frReport4->PrintWithDialog();
}

void TForm1::N22Click(TComponent*) {
  if (!ActiveGrid()) return;
  if (BuildQuietly(*frReport1)) frReport1->PrintWithDialog();
}

// ---- Export ------------------------------------------------------------------

int ExportRowsThatFit(int header_rows, int sheet_rows_per_row) {
  return (biff8::kMaxRows - header_rows) / sheet_rows_per_row;
}

namespace {

constexpr int kAcousticHeaderRows = 3, kAcousticRowsPerRow = 3;
constexpr int kPressHeaderRows = 1, kPressRowsPerRow = 1;

// A range centred both ways, with a thin line on its four sides when framed.
void Centre(TvteXLSRange& range, bool framed) {
  range.SetHorizontalAlignment(vtexlHAlignCenter);
  range.SetVerticalAlignment(vtexlVAlignCenter);
  if (!framed) return;
  for (int edge : {vtexlEdgeBottom, vtexlEdgeLeft, vtexlEdgeRight, vtexlEdgeTop})
    range.Borders().GetBorder(edge)->SetLineStyle(vtelsThin);
}

// "%4.1f" and "%4.0f" of a number field, with the locale's decimal separator.
AnsiString Formatted(const TField& field, const char* pattern) {
  return Format(pattern, {field.GetFloatValue()});
}

}  // namespace

void TForm1::Excel1Click(TComponent*) {
  if (!TableOpen || !Dbf1->QueryActive()) return;
  if (PageControl1->ActivePage() == TabSheet1)
    exp2excel1();
  else
    exp2excel();
}

bool TForm1::StartExport(TvteXLSWorkbook& book, const char* sheet_name, int header_rows, int sheet_rows_per_row) {
  if (!Dbf1->QueryActive()) return false;
  // Rows beyond the sheet's last one would need row numbers a sheet cannot
  // hold: the export is refused before the user picks a file.
  const int fit = ExportRowsThatFit(header_rows, sheet_rows_per_row);
  if (Dbf1->CountVisibleRecords() > fit) {
    Application->MessageBox(Ru("На листе Excel помещается не более ") + IntToStr(fit) + Ru(" строк таблицы."),
                            Ru("Экспорт в Excel"), MB_OK | MB_ICONERROR);
    return false;
  }
  SaveDialog1->SetFileName("");
  SaveDialog1->SetFilter(Ru("Книга Excel|*.xls"));
  SaveDialog1->SetFilterIndex(1);
  SaveDialog1->SetDefaultExt(".xls");
  SaveDialog1->SetOptions(SaveDialog1->Options().Include(ofOverwritePrompt));
  if (!SaveDialog1->Execute() || SaveDialog1->FileName().empty()) return false;
  book.AddSheet()->SetName(Ru(sheet_name));
  // The rows go in file order.
  reset_sort(*DBGridPro1, "tab1");
  reset_sort(*DBGridPro2, "tab2");
  return true;
}

void TForm1::SaveExport(TvteXLSWorkbook& book) {
  const std::string file = SaveDialog1->FileName();
  try {
    TvteExcelWriter writer;
    writer.Save(book, file);
  } catch (const EvteCreateFileError& e) {
    // The user reads why in the program's words, as for a table.
    ShowFileRefusal("создать", file, e.Code());
    return;
  } catch (const EvteWriteFileError& e) {
    ShowFileRefusal("записать", file, e.Code());
    return;
  }
  Application->MessageBox(Ru("Экспорт в файл ") + Utf8ToAnsi(ExtractFileName(file)) + Ru(" завершен успешно."),
                          Ru("Экспорт в Excel"), MB_OK | MB_ICONINFORMATION);
}

void TForm1::exp2excel() {
  TvteXLSWorkbook book;
  if (!StartExport(book, "ЛИВТ-КС7", kAcousticHeaderRows, kAcousticRowsPerRow)) return;
  TvteXLSWorksheet& sheet = *book.GetSheet(0);

  // Columns 4 and 5 hold a title a row; the others one title over the three rows.
  const char* const merged[] = {"N",      "Дата",   "Время",     "Ао, дБ",    nullptr,
                                nullptr,  "dH, мм", "Ку, дБ",    "Ку асв, дБ", "Примечание"};
  const char* const stacked[2][3] = {{"Асв1, дБ", "Асв2, дБ", "Асв3, дБ"},
                                     {"Ао-Асв1, дБ", "Ао-Асв2, дБ", "Ао-Асв3, дБ"}};
  for (int column = 0; column < 10; ++column) {
    if (merged[column]) {
      TvteXLSRange& range = *sheet.GetRange(column, 0, column, 2);
      range.SetValue(Ru(merged[column]));
      Centre(range, true);
      continue;
    }
    for (int row = 0; row < 3; ++row) {
      TvteXLSRange& range = *sheet.GetRange(column, row, column, row);
      range.SetValue(Ru(stacked[column - 4][row]));
      Centre(range, true);
    }
  }

  const int n = Dbf1->CountVisibleRecords();
  Frozen(*Dbf1, *DBGridPro1, *DBGridPro2, [&] {
    Dbf1->GoFirst();
    for (int j = 0; j < n; ++j) {
      const int top = kAcousticRowsPerRow * j + kAcousticHeaderRows, bottom = top + 2;
      auto merged_cell = [&](int column, const Variant& value) {
        TvteXLSRange& range = *sheet.GetRange(column, top, column, bottom);
        range.SetValue(value);
        Centre(range, false);
      };
      auto single_cell = [&](int column, int row, const Variant& value) {
        TvteXLSRange& range = *sheet.GetRange(column, row, column, row);
        range.SetValue(value);
        Centre(range, false);
      };
      merged_cell(0, Dbf1N->GetIntegerValue());
      merged_cell(1, Dbf1DATE->GetStringValue());
      merged_cell(2, Dbf1TIME->GetStringValue());
      merged_cell(3, Formatted(*Dbf1R, "%4.1f"));
      TField* const levels[] = {Dbf1A1, Dbf1A2, Dbf1A3};
      TField* const differences[] = {Dbf1D1, Dbf1D2, Dbf1D3};
      for (int k = 0; k < 3; ++k) {
        single_cell(4, top + k, Formatted(*levels[k], "%4.1f"));
        single_cell(5, top + k, Formatted(*differences[k], "%4.1f"));
      }
      merged_cell(6, Dbf1H->GetFloatValue());
      merged_cell(7, Formatted(*Dbf1P, "%4.0f"));
      merged_cell(8, Formatted(*Dbf1K, "%4.0f"));
      merged_cell(9, Dbf1COMMENT->GetStringValue());
      Dbf1->GoNext();
    }
  });
  SaveExport(book);
}

void TForm1::exp2excel1() {
  TvteXLSWorkbook book;
  if (!StartExport(book, "ТЕФ-КС7", kPressHeaderRows, kPressRowsPerRow)) return;
  TvteXLSWorksheet& sheet = *book.GetSheet(0);

  const char* const titles[] = {"N",      "Дата",   "Время",           "P, кН",
                                "R, МПа", "Тип и размер образца, мм", "Перемещение, мм", "Примечание"};
  for (int column = 0; column < 8; ++column) sheet.GetRange(column, 0, column, 0)->SetValue(Ru(titles[column]));

  const int n = Dbf1->CountVisibleRecords();
  Frozen(*Dbf1, *DBGridPro1, *DBGridPro2, [&] {
    Dbf1->GoFirst();
    for (int i = 1; i <= n; ++i) {
      auto cell = [&](int column, const Variant& value) { sheet.GetRange(column, i, column, i)->SetValue(value); };
      cell(0, Dbf1N->GetIntegerValue());
      cell(1, Dbf1DATE->GetStringValue());
      cell(2, Dbf1TIME->GetStringValue());
      cell(3, Dbf1P->GetFloatValue());
      cell(4, Dbf1R->GetFloatValue());
      cell(5, Dbf1TYPE->GetStringValue());
      cell(6, Dbf1H->GetFloatValue());
      cell(7, Dbf1COMMENT->GetStringValue());
      Dbf1->GoNext();
    }
  });
  SaveExport(book);
}

// ---- Layouts -----------------------------------------------------------------

namespace {
// Line breaks as a string list writes them: CR LF, with a final one.
AnsiString AsLines(const AnsiString& text) {
  TStringList list;
  list.SetText(text);
  return list.Text();
}
}  // namespace

void TForm1::save_layout(const char* name, TDBGridPro& grid) {
  TgpColumns stored(nullptr);
  stored.AssignColumns(grid.Columns(), true, cpmLayoutStore);
  if (AppRegistry) AppRegistry->WriteString(name, AsLines(PersistentToString(&stored, "", true)));
}

void TForm1::load_layout(const char* name, TDBGridPro& grid) {
  if (AppRegistry && AppRegistry->ValueExists(name)) {
    TgpColumns stored(nullptr);
    bool read = false;
    try {
      StringToPersistent(&stored, AsLines(AppRegistry->ReadString(name)), true);
      read = true;
    } catch (const Exception&) {
      // A layout that cannot be read is replaced by the design one below.
    }
    if (read) {
      grid.Columns()->AssignColumns(&stored, false, cpmLayoutStore);
      // The sort tags are gone with the last close: no sort mark may show.
      TgpColumns& columns = *grid.Columns();
      for (int i = 0; i < columns.Count(); ++i) columns.Items(i)->SetTitleState(tsSortedNone);
      return;
    }
  }
  fit_columns(grid);
  save_layout(name, grid);
}
