// The main window: menus, context menu, tool bar, the two tabs of the record
// kinds with their grids, the per-user settings, help and the about box, and
// the commands on the one open table: create from an instrument, open, add,
// save, close, with the grid commands (statistics footers, sorting through
// temporary index tags, colours, widths, stored layouts, deletion with pack,
// renumbering). The table itself (its file, kind, sort tags and statistics)
// is the table session the window drives (app/table_session.h); the window
// keeps what the user sees of it and what is told.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/table_session.h"
#include "dbf/dbf.h"
#include "grid/rs.h"
#include "grid/rs_blob.h"
#include "grid/rs_num.h"
#include "grid/rs_std.h"
#include "report/FR_DBSet.h"
#include "report/fr_report.h"
#include "toolkit/sys/settings.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/menus.h"
#include "xls/vteExcel.h"

// The settings key of the program under the current user.
inline constexpr const char* kAppRegistryKey = "\\Software\\Tessamyrlin\\KIV7\\1.0";

class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* owner);
  ~TForm1() override;

  TMainMenu* MainMenu1;
  TMenuItem *N1, *N2, *N3, *N4, *N5, *N7, *N8, *N9, *N11;  // "Файл"
  TMenuItem *N12, *N27, *N29, *N30, *N31, *N33;            // "Вид"
  TMenuItem *N13, *N34;                                    // "Правка"
  TMenuItem *N35, *Excel1, *N37;                           // "Сервис"
  TMenuItem *N14, *N24, *N26;                              // "Справка"
  TPopupMenu* PopupMenu1;
  TMenuItem *N22, *N17, *N18, *N19, *N23, *N21;
  TImageList* ImageList1;
  TToolBar* ToolBar1;
  TToolButton *ToolButton1, *ToolButton2, *ToolButton3, *ToolButton4, *ToolButton5, *ToolButton6;
  TPageControl* PageControl1;
  TTabSheet* TabSheet1;  // press rows
  TTabSheet* TabSheet2;  // acoustic and bending rows
  TOpenDialog* OpenDialog1;
  TSaveDialog* SaveDialog1;
  TColorDialog* ColorDialog1;
  TDbf* Dbf1;
  // The persistent field objects of the measurement row on Dbf1, made with
  // the window and bound by name to every table it opens.
  TIntegerField *Dbf1N, *Dbf1SERIAL;
  TStringField *Dbf1DATE, *Dbf1TIME, *Dbf1ZAV, *Dbf1TYPE, *Dbf1COMMENT;
  TSmallintField *Dbf1DEV_TYPE, *Dbf1NB_TYPE;
  TFloatField *Dbf1P, *Dbf1R, *Dbf1H, *Dbf1T, *Dbf1K, *Dbf1A1, *Dbf1A2, *Dbf1A3, *Dbf1D1, *Dbf1D2, *Dbf1D3;
  TDataSource* DataSource1;
  TDBGridPro* DBGridPro1;  // press rows
  TDBGridPro* DBGridPro2;  // acoustic and bending rows
  TLiteDesigner* LiteDesigner1;
  // The protocols' record source on Dbf1 and the five stored protocols; the
  // main window prints frReport4 (acoustic rows) and frReport1 (context menu).
  TfrDBDataSet* frDBDataSet1;
  TfrReport *frReport1, *frReport2, *frReport3, *frReport4, *frReport5;
  // The measurement columns' numbers in three formats, and the comments of
  // the press rows edited in the blob picker.
  TNumericVision* NumericVision_00;
  TNumericVision* NumericVision1;
  TNumericVision* NumericVision2;
  TTextVision* TextVision1;

  void FormCreate(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void N2Click(TComponent* Sender);
  void N3Click(TComponent* Sender);
  void N4Click(TComponent* Sender);
  void N5Click(TComponent* Sender);
  void N7Click(TComponent* Sender);
  void N8Click(TComponent* Sender);   // "Предварительный просмотр"
  void N9Click(TComponent* Sender);   // "Печать"
  void N11Click(TComponent* Sender);
  void N24Click(TComponent* Sender);
  void N26Click(TComponent* Sender);
  void TabSheet1Show(TComponent* Sender);
  void TabSheet2Show(TComponent* Sender);
  void DBGridPro1InitEdit(TComponent* Sender);
  // Grid commands.
  void N22Click(TComponent* Sender);  // "Печать" of the context menu
  void N17Click(TComponent* Sender);  // "Задать цвет"
  void N18Click(TComponent* Sender);  // "Убрать цвет"
  void N19Click(TComponent* Sender);  // "Убрать все цвета"
  void N21Click(TComponent* Sender);  // "Удалить строки"
  void N23Click(TComponent* Sender);  // "Выровнять столбцы"
  void N33Click(TComponent* Sender);  // "Убрать сортировку"
  void N37Click(TComponent* Sender);  // "Перенумеровать строки"
  // "Экспорт в Excel": the rows of the active tab into an .xls workbook.
  void Excel1Click(TComponent* Sender);
  void DBGridPro1AfterDelete(TComponent* Sender);
  void DBGridPro2AfterDelete(TComponent* Sender);
  void DBGridPro1SelectionChange(TComponent* Sender);
  void DBGridPro2SelectionChange(TComponent* Sender);
  void DBGridPro1TitleStateChange(TComponent* Sender, TgpColumn* Column);
  void DBGridPro2TitleStateChange(TComponent* Sender, TgpColumn* Column);

  // The table lifecycle. Open_DB shows "База данных повреждена !" and leaves
  // no table open when the file cannot be opened.
  void Open_DB(const std::string& file_name);
  void Create_DB();
  void Save_DB();
  void Close_DB();
  // Shows the one tab of the open table's record kinds.
  void tab_vis_en();
  // Minimum, maximum and mean of P and R over the visible rows.
  void find_mma();
  // Clears the grid's sort marks and drops its index tag.
  void reset_sort(TDBGridPro& grid, const char* tag);
  void clear_colors(TDBGridPro& grid);
  void fit_columns(TDBGridPro& grid);
  void del_rows(TDBGridPro& grid, TDbf& table);
  void load_layout(const char* name, TDBGridPro& grid);
  void save_layout(const char* name, TDBGridPro& grid);
  // The visible rows as the acoustic sheet "ЛИВТ-КС7" (three sheet rows a
  // row) and as the press sheet "ТЕФ-КС7", saved as the file the save
  // dialog names.
  void exp2excel();
  void exp2excel1();
  // The grid of the active tab (nullptr without a table).
  TDBGridPro* ActiveGrid() const;

  // Runs a command that writes the table. A failure is told as "Не удалось
  // <what> <file>." with the engine's text as its cause, and the window then
  // shows the table as its file holds it, or no table when it cannot be read.
  void Guarded(const char* what, const std::string& file_name, const std::function<void()>& body);
  void ShowTableAsItIs();
  // The window's default error handler. An error that reaches it while a
  // row is being edited is the failure of the grid's edit, posted as the row
  // is left: told as "Не удалось сохранить строку таблицы <file>." with the
  // engine's text as its cause, and the rows are then shown as the file
  // holds them. Any other error is shown as the application shows it.
  void AppException(const std::exception& error);
  // The open table's file (UTF-8).
  std::string TableFileName() const;

  // The controls that need an open table, on and off.
  void enable_button();
  void disable_button();
  // Hides the tabs.
  void tab_vis_dis();

  // A table is open / was edited since it was last saved.
  bool TableOpen = false;
  bool TableModified = false;
  // The last data folder (a path, UTF-8).
  std::string DefaultDir;
  // The settings key "\Software\Tessamyrlin\KIV7\1.0", open for the whole run.
  std::unique_ptr<TRegistry> AppRegistry;
  // Pmin, Pmax, Pmean, Rmin, Rmax, Rmean.
  TTableStats TableStats;
  // The open table's file, kind, sort tags and statistics.
  std::unique_ptr<TTableSession> Session;

 private:
  TMenuItem* AddItem(TMenuItem& parent, const char* name, const char* caption, TShortCut shortcut = 0);
  void AddLine(TMenuItem& parent);
  TToolButton* AddButton(const char* name, int image_index, const char* hint);
  void WriteDefaultDir();
  void BuildFields();
  void BuildGrids();
  void BuildReports();
  // Builds the report with the grids deaf to its walk over the table.
  bool BuildQuietly(TfrReport& report);
  // Footers of P, R and N from TableStats and the visible row count.
  void ShowStatsFooters(TDBGridPro& grid);
  // The statistics anew and the active grid's footers, the table staying on
  // its row.
  void RefreshStatsFooters();
  // A change of P or R is being edited into a row.
  bool stats_stale_ = false;
  // The application's error handler is the window's.
  bool exception_hook_ = false;
  // Footers from the selected rows when two or more are selected.
  bool ShowSelectionFooters(TDBGridPro& grid);
  void SortChanged(TDBGridPro& grid, TgpColumn* column, const char* tag);
  bool RunOpenDialog();
  // Asks for the workbook's file, adds the sheet of that name (UTF-8) to book
  // and puts the rows in file order; false when cancelled or when the visible
  // rows would not fit a sheet (said in a message).
  bool StartExport(TvteXLSWorkbook& book, const char* sheet_name, int header_rows, int sheet_rows_per_row);
  // Saves the workbook as the chosen file and says so.
  void SaveExport(TvteXLSWorkbook& book);
  void SetTitles(const AnsiString& text);
};

// The rows of a table that fit one sheet when the sheet has header_rows
// above them and each row takes sheet_rows_per_row sheet rows.
int ExportRowsThatFit(int header_rows, int sheet_rows_per_row);

// "min/mean/max" with at most 15 significant digits each.
AnsiString StatsText(double min, double mean, double max);

extern TForm1* Form1;

// Reads a component's stored description (the component stream's text form)
// into it, as a form's loading does.
void ReadStoredComponent(TComponent& component, const char* text);

// Paints the tool bar's six pictures (16 x 16 on a transparent ground) in
// the order new, open, save, preview, print, help.
void DrawToolImages(TImageList& images);
