// The main window: menus, context menu, tool bar, the two tabs of the record
// kinds, the per-user settings, help and the about box. The table commands
// and the grids come with the table's lifecycle; this is the window's frame
// and its state without a table.
#pragma once

#include <memory>
#include <string>

#include "toolkit/sys/settings.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/menus.h"

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

  void FormCreate(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void N11Click(TComponent* Sender);
  void N24Click(TComponent* Sender);
  void N26Click(TComponent* Sender);

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

 private:
  TMenuItem* AddItem(TMenuItem& parent, const char* name, const char* caption, TShortCut shortcut = 0);
  void AddLine(TMenuItem& parent);
  TToolButton* AddButton(const char* name, int image_index, const char* hint);
  void WriteDefaultDir();
};

extern TForm1* Form1;

// Paints the tool bar's six pictures (16 x 16 on a transparent ground) in
// the order new, open, save, preview, print, help.
void DrawToolImages(TImageList& images);
