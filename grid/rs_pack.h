// The library's process-wide defaults and its preset pack.
//
// Every grid without a Designer paints with the default designer and every
// column or edit without a Vision shows through the default vision; both
// exist before any form does. The pack is one hidden form holding ready-made
// designers and visions users may pick, and it names the library's shared
// drop-downs (data list, calendar, blob picker, calculator) and the two
// picture context menus.
#pragma once

#include "grid/rs_chk.h"
#include "grid/rs_date.h"
#include "grid/rs_img.h"
#include "grid/rs_num.h"
#include "grid/rs_pick.h"
#include "toolkit/ui/forms.h"

class TImageList;
class TPopupMenu;

class TrsDefPack : public TForm {
 public:
  // Hidden, without owner; it joins the application's components, so that
  // it goes before the windowing does.
  TrsDefPack();
  ~TrsDefPack() override;

  // ---- The shared drop-downs.
  TVisionToolForm* vtfDataList() const;
  TVisionToolForm* vtfCalendar() const;
  TVisionToolForm* vtfBlobPicker() const;
  TVisionToolForm* vtfCalculator() const;
  // The context menu of picture edits.
  TPopupMenu* BlobContextMenu() const;
  // The context menu of the blob picker's picture.
  TPopupMenu* PictureContextMenu() const;

  // ---- Preset looks.
  TLiteDesigner* DsgnViewSimple;
  TLiteDesigner* DsgnList;
  TLiteDesigner* DsgnListActive;
  TLiteDesigner* DsgnListNormal;
  TLiteDesigner* DsgnListFlat;
  TLiteDesigner* DsgnListClassic;
  TLiteDesigner* dsgDataList;

  // ---- Preset visions.
  TStandardVision* TitleSurface;
  TDateVision* Calendar;
  TDateVision* CalendarSimple;
  TDateVision* Date;
  TTimeVision* Time;
  TTimeVision* TimeShort;
  TCheckBoxVision* CheckBoxBool;
  TCheckBoxVision* CheckBoxInt;
  TNumericVision* Numeric;
  TNumericVision* NumericDef;
  TNumericVision* NumericDefSep;
  TNumericVision* NumericSpin;
  TNumericVision* Calculator;
  TMemoVision* Memo;
  TImageVision* Image;
  // The item vision of the data list: the image of a row is its second field.
  TLiteVision* visImagedText;
  // A colour field as the name of its colour with a swatch before it.
  TStandardVision* ColorPicker;
  // Empty; reserves the swatch area of ColorPicker.
  TImageList* NullImageList;

  // ---- Handlers.
  void TitleSurfaceDraw(TvpFieldVision* Sender, TgpFieldList& Fields, TgpPainter& Painter);
  void visImagedTextDraw(TvpFieldVision* Sender, TgpFieldList& Fields, TgpPainter& Painter);
  // Published for forms that want a state image from a second field.
  void visStateLabelDraw(TvpFieldVision* Sender, TgpFieldList& Fields, TgpPainter& Painter);
  void ColorPickerGetText(TvpFieldVision* Sender, TgpFieldList& Fields, bool DisplayText, AnsiString& Value);
  void ColorPickerDraw(TvpFieldVision* Sender, TgpFieldList& Fields, TgpPainter& Painter);
  void ColorPickerDrawEdit(TvpFieldVision* Sender, TgpFieldList& Fields, TfvPainter& Painter);
  void ColorPickerBeforePost(TvpFieldVision* Sender, TgpFieldList& Fields, TgpFieldValue& FieldValue, bool& Posted);
  void ColorPickerDblClick(TvpFieldVision* Sender, TgpFieldList& Fields);

  // Adds a column for each name of the ";"-list Names; its width is the
  // integer at the same place of the ";"-list Widths when that is above 0.
  static void AddColumns(TgpColumns& Columns, const AnsiString& Names, const AnsiString& Widths);
};

// The pack, made on first use with the defaults below; nullptr once freed
// until asked for again.
TrsDefPack* DefPack();
// Whether the pack exists now.
bool DefPackMade();

// The further default visions, kept for the library (nothing in this
// program reads them): made on first use.
TNumericVision* DefaultNumericVision();
TDateTimeVision* DefaultDateTimeVision();
TDateVision* DefaultDateVision();
TTimeVision* DefaultTimeVision();

// Frees, at shut-down, the pack, then the time, date, date-time, numeric and
// plain visions and the default designer, and forgets the picture folder.
// Harmless when called again.
void FreeLibraryDefaults();
