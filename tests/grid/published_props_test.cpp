// The published properties of the grid library's components: each is
// stored with a form and read back with the same value, and each class
// publishes the names its users (form descriptions) rely on.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "grid/rs.h"
#include "grid/rs_blob.h"
#include "grid/rs_chk.h"
#include "grid/rs_ctl.h"
#include "grid/rs_date.h"
#include "grid/rs_img.h"
#include "grid/rs_edit.h"
#include "grid/rs_mapper.h"
#include "grid/rs_num.h"
#include "grid/rs_ods.h"
#include "grid/rs_pick.h"
#include "grid/rs_rtm.h"
#include "grid/rs_toolform.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/db.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/menus.h"

namespace published_props_test {

// A mapper that knows a caption and a vision for some field names.
class TTableMapper : public TvpCustomFieldMapper {
 public:
  using TvpCustomFieldMapper::TvpCustomFieldMapper;
  struct Entry_ {
    TvpFieldVision* vision;
    AnsiString caption;
  };
  std::map<AnsiString, Entry_> entries;
  bool Entry(TgpFieldList* Fields, TvpFieldVision*& Vision, AnsiString& Caption) override {
    auto found = entries.find(Fields->FieldName());
    if (found == entries.end()) return false;
    Vision = found->second.vision;
    Caption = found->second.caption;
    return true;
  }
};

// A form holding a grid, an edit and the components they refer to by name.
struct Form {
  TComponent root{nullptr};
  TDBGridPro* grid = new TDBGridPro(&root);
  TDBProdiEdit* edit = new TDBProdiEdit(&root);
  TPopupMenu* menu = new TPopupMenu(&root);
  TImageList* images = new TImageList(&root);
  TDataSource* source = new TDataSource(&root);
  TTextVision* text_vision = new TTextVision(&root);
  TVisionToolForm* tool_form = new TVisionToolForm(&root);
  TProdiCalendar* calendar = new TProdiCalendar(&root);
  TLiteVision* lite_vision = new TLiteVision(&root);
  TNumericVision* numeric_vision = new TNumericVision(&root);
  TTableMapper* mapper = new TTableMapper(&root);
  TObjDataSet* obj_data_set = new TObjDataSet(&root);

  Form() {
    root.SetName("Form1");
    grid->SetName("Grid1");
    edit->SetName("Edit1");
    menu->SetName("Menu1");
    images->SetName("Images1");
    source->SetName("Source1");
    text_vision->SetName("TextVision1");
    tool_form->SetName("ToolForm1");
    calendar->SetName("Calendar1");
    lite_vision->SetName("LiteVision1");
    numeric_vision->SetName("NumericVision1");
    mapper->SetName("Mapper1");
    obj_data_set->SetName("ObjDataSet1");
    obj_data_set->Constraints()->Add();
    grid->Columns()->Add();
    // A tool form's grid stands on it.
    grid->SetParent(tool_form);
  }
  // The object a case names: a component of the form, or a sub-object of
  // one ("Grid1.ParamsAutoSearch"), or an item of a collection by its
  // number ("Grid1.Columns.0").
  TPersistent* Object(const std::string& path) {
    size_t dot = path.find('.');
    TPersistent* object = root.FindComponent(path.substr(0, dot));
    while (object != nullptr && dot != std::string::npos) {
      const size_t start = dot + 1;
      dot = path.find('.', start);
      const std::string step = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
      if (auto* collection = dynamic_cast<TCollection*>(object); collection != nullptr && std::isdigit(step[0])) {
        object = collection->Items(std::stoi(step));
      } else {
        object = GetObjectProp(object, FindPropInfo(object, step));
      }
    }
    return object;
  }
};

// A picture a case sets: "picture WxH" paints one of that size, each pixel
// its own colour, so that one out of place shows.
TColor PicturePixel(int x, int y) { return RGB(30 * x + 1, 40 * y + 2, (11 * x + 17 * y) % 256); }

void PaintPicture(TBitmap& bitmap, const std::string& value) {
  int width = 0, height = 0;
  if (std::sscanf(value.c_str(), "picture %dx%d", &width, &height) != 2) throw std::invalid_argument(value);
  bitmap.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.Canvas().SetPixel(x, y, PicturePixel(x, y));
  }
}

std::string PictureText(TBitmap& bitmap) {
  if (bitmap.Empty()) return "no picture";
  std::string text = "picture " + std::to_string(bitmap.Width()) + "x" + std::to_string(bitmap.Height());
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (bitmap.Canvas().Pixel(x, y) != PicturePixel(x, y)) return text + " with other pixels";
    }
  }
  return text;
}

// The value of a property as text: names for enumerations and sets, the
// referenced component's name, numbers and strings as they are.
std::string ValueText(TPersistent* object, const std::string& name) {
  const TPropInfo& prop = FindPropInfo(object, name);
  switch (prop.Kind()) {
    case tkEnumeration: return GetEnumProp(object, prop);
    case tkSet: return GetSetProp(object, prop);
    case tkClass: {
      TPersistent* value = GetObjectProp(object, prop);
      if (auto* bitmap = dynamic_cast<TBitmap*>(value)) return PictureText(*bitmap);
      auto* component = dynamic_cast<TComponent*>(value);
      return component != nullptr ? std::string(component->Name()) : "nil";
    }
    case tkLString:
    case tkString: return GetStrProp(object, prop);
    case tkFloat: {
      char text[32];
      std::snprintf(text, sizeof text, "%.17g", GetFloatProp(object, prop));
      return text;
    }
    default: {
      // Integers with names (colours) by their names.
      AnsiString ident;
      const int64_t value = GetOrdProp(object, prop);
      if (prop.PropType->IntToIdent != nullptr && prop.PropType->IntToIdent(value, ident)) return ident;
      return std::to_string(value);
    }
  }
}

void SetValueText(Form& form, TPersistent* object, const std::string& name, const std::string& value) {
  const TPropInfo& prop = FindPropInfo(object, name);
  switch (prop.Kind()) {
    case tkEnumeration: SetEnumProp(object, prop, value); return;
    case tkSet: SetSetProp(object, prop, value); return;
    case tkClass:
      if (value.starts_with("picture ")) {
        TBitmap picture;
        PaintPicture(picture, value);
        SetObjectProp(object, prop, &picture);
      } else {
        SetObjectProp(object, prop, form.root.FindComponent(value));
      }
      return;
    case tkLString:
    case tkString: SetStrProp(object, prop, value); return;
    case tkFloat: SetFloatProp(object, prop, std::stod(value)); return;
    default: {
      int64_t number = 0;
      if (prop.PropType->IdentToInt == nullptr || !prop.PropType->IdentToInt(value, number)) number = std::stoll(value);
      SetOrdProp(object, prop, number);
      return;
    }
  }
}

TEST(ComponentPublishing, AFormStreamsOutAndBackWithTheSameValues) {
  struct Case {
    const char* object;
    const char* property;
    const char* value;  // as ValueText shows it; never the default
  };
  const Case cases[] = {
      {"Grid1", "BorderStyle", "bsFlatExt"},
      {"Grid1", "ScrollBars", "ssVertical"},
      {"Grid1", "DragMode", "dmAutomatic"},
      {"Grid1", "PopupMenu", "Menu1"},
      {"Grid1", "TitleImages", "Images1"},
      {"Grid1", "DataSource", "Source1"},
      {"Grid1", "VertAlignment", "tlBottom"},
      {"Grid1", "OptionsVisual", "[gvoNoEndEllipsis]"},
      {"Grid1", "OptionsBehavior", "[gboNoColumnSizing,gboSmartSizing,gboNoInsideDragTrack]"},
      {"Grid1", "OptionsEdit", "[geoNoInserts,geoAlwaysShowEditor]"},
      {"Grid1", "OptionsPickup", "[gpoClick]"},
      {"Grid1", "OptionsPickup", "[]"},
      {"Grid1", "WantTabs", "False"},
      {"Grid1", "WantReturns", "False"},
      {"Grid1", "CursorType", "gctInsensitiveBmrk"},
      {"Grid1", "MultiSelect", "True"},
      {"Grid1", "StripStep", "3"},
      {"Grid1", "BookmarkFields", "P;R"},
      {"Grid1", "Mapper", "Mapper1"},
      {"Grid1.ParamsAutoSearch", "Enabled", "True"},
      {"Grid1.ParamsAutoSearch", "WndColor", "clYellow"},
      {"Grid1.ParamsAutoSearch", "WndTextColor", "12345"},
      {"Grid1.ParamsAutoSearch", "Prompt", "Find: %s"},
      {"Grid1.ParamsDelete", "PromptKind", "dpkMultiRecord"},
      {"Grid1.ParamsDelete", "PromptKind", "dpkNever"},
      {"Grid1.ParamsDelete", "ShortCut", "46"},
      {"Grid1.ParamsDB", "EnableRecNo", "False"},
      {"Edit1", "BorderStyle", "bsMono"},
      {"Edit1", "PopupMenu", "Menu1"},
      {"Edit1", "MappingOptions", "[eioImportCaption]"},
      {"Edit1", "MappingOptions", "[]"},
      {"Edit1", "Mapper", "Mapper1"},
      {"Edit1", "DataSource", "Source1"},
      {"Edit1", "WantTabs", "True"},
      {"TextVision1", "DropDown", "ToolForm1"},
      {"TextVision1", "DropDownOptions", "[ddoShowOnEnter,ddoNoFocusRect]"},
      {"TextVision1", "DropDownWidth", "240"},
      {"TextVision1", "DisplayAs", "tbmText"},
      {"ToolForm1", "Color", "clYellow"},
      {"ToolForm1", "DataGrid", "Grid1"},
      {"ToolForm1", "Placement", "tfpRightCenter"},
      {"ToolForm1", "Options", "[tfoFocusable,tfoAlwaysPostChanges]"},
      {"Calendar1", "Color", "clYellow"},
      {"Calendar1", "Enabled", "False"},
      {"Calendar1", "Visible", "False"},
      {"Calendar1", "TabStop", "False"},
      {"Calendar1", "PopupMenu", "Menu1"},
      {"Calendar1", "BorderStyle", "bsFlatExt"},
      {"Calendar1", "BorderStyle", "bsNoBorder"},
      {"Calendar1", "Date", "45366"},  // 15 March 2024
      {"Calendar1", "Date", "-693593"},
      {"Calendar1", "NullDate", "True"},
      {"Calendar1", "MinDate", "45300"},
      {"Calendar1", "MaxDate", "45400"},
      {"Calendar1", "ShowTodayButton", "False"},
      {"Calendar1", "ShowClearButton", "True"},
      {"Calendar1", "ShowYearNavigator", "False"},
      {"Calendar1", "DisableClearButton", "True"},
      {"Grid1.Columns.0", "TitleGlyph", "picture 5x3"},
      {"LiteVision1", "ButtonGlyph", "picture 7x6"},
      {"NumericVision1", "ButtonGlyph", "picture 1x1"},
      {"ObjDataSet1.Constraints.0", "CustomConstraint", "N > 0"},
      {"ObjDataSet1.Constraints.0", "ErrorMessage", "N must be positive"},
      {"ObjDataSet1.Constraints.0", "FromDictionary", "False"},
      {"ObjDataSet1.Constraints.0", "ImportedConstraint", "R <= 100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.object) + "." + c.property + " = " + c.value);
    Form original;
    TPersistent* object = original.Object(c.object);
    ASSERT_NE(object, nullptr);
    Form fresh;
    ASSERT_NE(ValueText(fresh.Object(c.object), c.property), c.value) << "the case would test the default";
    SetValueText(original, object, c.property, c.value);
    const AnsiString text = ComponentToString(&original.root, true);
    Form copy;
    StringToComponent(&copy.root, text, true);
    EXPECT_EQ(ValueText(copy.Object(c.object), c.property), c.value) << text;
  }
}

// The names each class publishes, as its users rely on them (properties and
// events alike); a class may publish more (the component's Name and Tag).
TEST(ComponentPublishing, EachClassPublishesTheNamesItsUsersRelyOn) {
  struct Case {
    const TClassInfo& cls;
    std::vector<const char*> names;
  };
  const Case cases[] = {
      {TDBGridPro::StaticClassInfo(),
       {"Mapper",           "BorderStyle",      "ScrollBars",       "DragMode",         "PopupMenu",          "TitleImages",
        "DataSource",       "ParamsAutoSearch", "ParamsDB",         "ParamsDelete",       "AutoColumnFit",
        "TitleLines",       "RowLines",         "FootLines",        "UniqueFields",       "BookmarkFields",
        "ShowTitles",       "ShowFooters",      "ShowEmptyRow",     "RowSelect",          "MultiSelect",
        "HideSelection",    "VertAlignment",    "OptionsVisual",    "OptionsBehavior",    "OptionsEdit",
        "OptionsPickup",    "ReadOnly",         "WantTabs",         "WantReturns",        "StripStep",
        "CursorType",       "Designer",         "Attrs",            "Columns",            "OnAction",
        "OnColEnter",       "OnColExit",        "OnColExiting",     "OnSelectionChange",  "OnColMoved",
        "OnClick",          "OnPickup",         "OnInitEdit",       "OnMouseEnter",       "OnMouseLeave",
        "BeforeInsert",     "AfterInsert",      "AfterDelete",      "BeforeFieldEdit",    "OnEditKeyPress",
        "AfterFieldPost",   "OnTitleStateChange", "OnFooterStateChange", "OnDrawCell",    "OnGetRowAttrs",
        "OnCustomizerAction", "OnFooterMenuPopup"}},
      {TgpAutoSearchParams::StaticClassInfo(),
       {"Enabled", "SearchableFields", "ShortCut", "ShortCutFindNext", "ShortCutFindPrevious", "SearchFromBegin",
        "CycleSearch", "WndColor", "WndTextColor", "Prompt", "EnablePrompt"}},
      {TgpDeleteParams::StaticClassInfo(), {"Enabled", "ShortCut", "PromptKind", "PromptMsg", "PromptMsgMulti"}},
      {TDBProdiEdit::StaticClassInfo(),
       {"DataSource", "DataField", "Vision", "ReadOnly", "Caption", "DisplayFormat", "EditFormat", "Attrs",
        "BorderStyle", "WordWrap", "WantTabs", "WantReturns", "PopupMenu", "Mapper", "MappingOptions", "OnMouseEnter",
        "OnMouseLeave", "OnAction", "OnDraw"}},
      {TDropDownBlobVision::StaticClassInfo(),
       {"ComboBoxStyle", "DropDown", "DropDownWidth", "DropDownHeight", "DropDownOptions", "EnableDropDown",
        "EnableButton", "BeforeEdit", "BeforePost", "AfterPost", "OnInitEdit", "OnDraw", "OnDrawEdit"}},
      {TgpColumn::StaticClassInfo(),
       {"FieldName", "Vision", "OptionsVisual", "OptionsBehavior", "OptionsMapping", "Fixed", "DisplayFormat",
        "EditFormat", "Caption", "CaptionAlignment", "TitleGlyph", "TitleImageIndex", "TitleState", "FooterText",
        "FooterTextAlignment", "FooterState", "FooterStates", "Tag", "Width", "LayoutLevel", "LayoutIndex",
        "ReadOnly", "Color", "Alignment", "VertAlignment", "Font", "PopupMenu", "Visible"}},
      {TvpFieldVision::StaticClassInfo(), {"Caption", "Description", "RelatedFields", "ReadOnly", "OnAction"}},
      {TLiteVision::StaticClassInfo(),
       {"Caption", "Description", "RelatedFields", "ReadOnly", "OnAction", "Alignment", "MaxLength", "Images",
        "AlignImage", "DrawImages", "EditMask", "EditWordWrap", "EditReadOnly", "EnableButton", "ButtonStyle",
        "ButtonGlyph", "OnDblClick", "OnButtonClick", "OnGetText", "BeforeEdit", "BeforePost", "AfterPost",
        "OnInitEdit", "OnDraw", "OnDrawEdit", "OnGetEditFont", "OnGetValue"}},
      {TMemoVision::StaticClassInfo(),
       {"Alignment", "MaxLength", "EditWordWrap", "EditScrollBars", "EditReadOnly", "WantReturns", "WantTabs",
        "OnGetText", "BeforeEdit", "BeforePost", "AfterPost", "OnInitEdit", "OnDraw", "OnGetValue"}},
      {TNumericVision::StaticClassInfo(),
       {"Alignment", "Images", "AlignImage", "DrawImages", "ButtonStyle", "ButtonGlyph", "EnableButton", "EditMask",
        "ComboBoxStyle", "DropDown", "DropDownOptions", "EnableDropDown", "DisplayFormat", "EditFormat", "Nullable",
        "MinValue", "MaxValue", "Step", "DropDownKind", "OnButtonClick", "OnDblClick", "OnGetText", "BeforeEdit",
        "BeforePost", "AfterPost", "OnInitEdit", "OnDraw", "OnDrawEdit", "OnGetEditFont", "OnGetValue"}},
      {TDateTimeVision::StaticClassInfo(),
       {"Alignment", "Images", "AlignImage", "DrawImages", "EnableButton", "ComboBoxStyle", "EditMask", "DropDown",
        "EnableDropDown", "DisplayFormat", "DisplayFormatKind", "Nullable", "OnButtonClick", "OnDblClick",
        "OnGetText", "BeforeEdit", "BeforePost", "AfterPost", "OnInitEdit", "OnDraw", "OnDrawEdit", "OnGetEditFont",
        "OnGetValue"}},
      {TCheckBoxVision::StaticClassInfo(),
       {"Alignment", "ReadOnly", "OptionsSwitch", "FullFocusRect", "BoxStyle", "ValueChecked", "ValueUnChecked",
        "ValueGrayed", "AllowGrayed", "ShowNullAs", "BeforeEdit", "BeforePost", "AfterPost", "OnGetState",
        "OnSetState"}},
      {TImageVision::StaticClassInfo(),
       {"Stretch", "Center", "QuickDraw", "PopupMenu", "DisabledActions", "OnDblClick", "OnGetText", "BeforeEdit",
        "BeforePost", "AfterPost", "OnInitEdit", "OnDraw", "OnDrawEdit", "OnGetEditFont", "OnPreview"}},
      {TStandardVision::StaticClassInfo(),
       {"ComboBoxStyle", "Alignment", "MaxLength", "EditMask", "EditReadOnly", "Images", "AlignImage", "DrawImages",
        "EnableButton", "Nullable", "DropDown", "DropDownOptions", "EnableDropDown", "DropDownRows", "PickList",
        "PickListValuesOnly", "PickListType", "SkipCharValidation", "OnGetValue", "OnNewValue", "OnButtonClick",
        "OnDblClick", "OnGetText", "BeforeEdit", "BeforePost", "AfterPost", "OnInitEdit", "OnDraw", "OnDrawEdit",
        "OnGetEditFont"}},
      {TObjDataSet::StaticClassInfo(),
       {"Constraints", "CompRef", "Path", "ReadOnly", "UseEditBuffer", "ParamsObject", "Active", "OnCursorMove",
        "BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose", "BeforeInsert", "AfterInsert", "BeforeEdit",
        "AfterEdit", "BeforePost", "AfterPost", "BeforeCancel", "AfterCancel", "BeforeDelete", "AfterDelete",
        "BeforeScroll", "AfterScroll", "BeforeRefresh", "AfterRefresh", "OnCalcFields", "OnDeleteError",
        "OnEditError", "OnNewRecord", "OnPostError"}},
      {TTextVision::StaticClassInfo(),
       {"ComboBoxStyle", "DropDown", "DropDownWidth", "DropDownHeight", "DropDownOptions", "EnableDropDown",
        "EnableButton", "Alignment", "DropDownOptionsEx", "DropDownScrollBars", "MaxLength", "DisplayAs"}},
      {TVisionToolForm::StaticClassInfo(),
       {"Color", "Tag", "ActiveControl", "DataGrid", "Placement", "Options", "OnPaint", "OnShow", "OnPostChanges",
        "OnClose", "OnActivate", "OnCurrentChanged", "OnTextChanged", "OnSizing", "OnKeyDown", "OnKeyPress",
        "OnShortCut", "OnEditAction"}},
      {TProdiCalendar::StaticClassInfo(),
       // Font, TabOrder, Anchors, Constraints and the drag properties are not
       // published while the toolkit's controls have no published types for them.
       {"Color", "Enabled", "Visible", "TabStop", "PopupMenu", "BorderStyle", "Date", "NullDate", "MinDate",
        "MaxDate", "ShowTodayButton", "ShowClearButton", "ShowYearNavigator", "DisableClearButton", "OnChange",
        "OnPickup", "OnKeyDown", "OnKeyPress", "OnKeyUp", "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnEnter",
        "OnExit"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cls.ClassName()));
    std::set<std::string> published;
    for (const TPropInfo* prop : c.cls.Properties()) published.insert(prop->Name);
    for (const char* name : c.names) EXPECT_EQ(published.count(name), 1u) << name;
  }
}

// A button glyph read back with a form is measured by the edits using the
// vision, as one set in code is.
TEST(ComponentPublishing, AButtonGlyphReadBackSizesTheEditsButton) {
  Form original;
  original.edit->SetVision(original.lite_vision);
  original.lite_vision->SetEnableButton(true);
  TBitmap glyph;
  PaintPicture(glyph, "picture 30x10");
  original.lite_vision->SetButtonGlyph(&glyph);
  ASSERT_EQ(original.edit->ButtonWidth(), 34);
  const AnsiString text = ComponentToString(&original.root, true);
  Form copy;
  StringToComponent(&copy.root, text, true);
  ASSERT_EQ(copy.edit->Vision(), copy.lite_vision);
  EXPECT_EQ(copy.lite_vision->ButtonStyle(), pbsCustom);
  EXPECT_EQ(copy.edit->ButtonWidth(), 34) << text;

  // A new picture in the glyph, as one drawn or loaded in code, does the same.
  copy.lite_vision->ButtonGlyph()->SetSize(40, 8);
  EXPECT_EQ(copy.edit->ButtonWidth(), 44);
}

// A grid's columns and an edit take their captions and visions from their
// mapper when they take it and whenever its entries change; a freed mapper
// leaves them without one, and a freed client leaves the mapper.
TEST(FieldMapper, ClientsImportAndForgetAFreedMapper) {
  Form form;
  TgpColumn* column = form.grid->Columns()->Items(0);
  column->SetFieldName("N");
  form.edit->SetDataField("N");
  form.edit->SetMappingOptions(TgpMappingOptions{eioImportCaption, eioImportDomain});
  form.mapper->entries["N"] = {form.lite_vision, "Width N"};

  form.grid->SetMapper(form.mapper);
  form.edit->SetMapper(form.mapper);
  EXPECT_EQ(column->Caption(), "Width N");
  EXPECT_EQ(column->Vision(), form.lite_vision);
  EXPECT_EQ(form.edit->Caption(), "Width N");
  EXPECT_EQ(form.edit->Vision(), form.lite_vision);
  EXPECT_EQ(form.mapper->ClientCount(), 2);

  form.mapper->entries["N"] = {form.numeric_vision, "N, mm"};
  form.mapper->EntriesChanged();
  EXPECT_EQ(column->Caption(), "N, mm");
  EXPECT_EQ(column->Vision(), form.numeric_vision);
  EXPECT_EQ(form.edit->Caption(), "N, mm");
  EXPECT_EQ(form.edit->Vision(), form.numeric_vision);

  // The program's own caption is kept from then on; the vision still follows.
  form.edit->SetCaption("Mine");
  form.mapper->entries["N"] = {form.lite_vision, "Other"};
  form.mapper->EntriesChanged();
  EXPECT_EQ(form.edit->Caption(), "Mine");
  EXPECT_EQ(form.edit->Vision(), form.lite_vision);

  form.mapper->Free();
  EXPECT_EQ(form.grid->Mapper(), nullptr);
  EXPECT_EQ(form.edit->Mapper(), nullptr);
  form.mapper = nullptr;

  // A client freed first leaves the mapper, which then tells only the living.
  Form other;
  other.grid->SetMapper(other.mapper);
  other.edit->SetMapper(other.mapper);
  other.grid->Free();
  other.grid = nullptr;
  EXPECT_EQ(other.mapper->ClientCount(), 1);
  EXPECT_NO_THROW(other.mapper->EntriesChanged());
}

// A stored form names the mapper; read back, the columns import from it.
TEST(FieldMapper, AStoredReferenceImportsAfterReading) {
  Form original;
  original.grid->Columns()->Items(0)->SetFieldName("N");
  original.grid->SetMapper(original.mapper);
  const AnsiString text = ComponentToString(&original.root, true);
  EXPECT_NE(text.find("Mapper = Mapper1"), AnsiString::npos) << text;
  Form copy;
  copy.mapper->entries["N"] = {copy.lite_vision, "From the mapper"};
  StringToComponent(&copy.root, text, true);
  ASSERT_EQ(copy.grid->Mapper(), copy.mapper);
  EXPECT_EQ(copy.grid->Columns()->Items(0)->Caption(), "From the mapper");
}

// A calendar's date is made today, so it is always written; a bound of 0
// is no bound and is not written.
TEST(ComponentPublishing, CalendarWritesItsDateAndOnlyTheBoundsItHas) {
  Form form;
  form.calendar->SetDate(45366);
  form.calendar->SetMaxDate(45400);
  const AnsiString text = ComponentToString(&form.root, true);
  EXPECT_NE(text.find("  Date = 45366"), AnsiString::npos) << text;
  EXPECT_NE(text.find("MaxDate = 45400"), AnsiString::npos) << text;
  EXPECT_EQ(text.find("MinDate"), AnsiString::npos) << text;
}

// Events are published with a method type and are never written: a stored
// form naming a handler still reads.
TEST(ComponentPublishing, EventsAreMethodsAndReadFromAStoredForm) {
  for (const char* name : {"OnSelectionChange", "OnTitleStateChange", "AfterDelete", "OnDrawCell"}) {
    const TPropInfo* prop = TDBGridPro::StaticClassInfo().FindProperty(name);
    ASSERT_NE(prop, nullptr) << name;
    EXPECT_EQ(prop->Kind(), tkMethod) << name;
  }
  Form form;
  const AnsiString text = ComponentToString(&form.root, true);
  EXPECT_EQ(text.find("OnSelectionChange"), AnsiString::npos);
  const AnsiString with_handler = "object Grid1: TDBGridPro\n  OnSelectionChange = Form1SelectionChange\nend\n";
  Form copy;
  EXPECT_NO_THROW(StringToComponent(copy.grid, with_handler, true));

  // The visions' events likewise.
  for (const char* name : {"OnGetText", "BeforePost", "OnGetValue", "OnAction"}) {
    const TPropInfo* prop = TLiteVision::StaticClassInfo().FindProperty(name);
    ASSERT_NE(prop, nullptr) << name;
    EXPECT_EQ(prop->Kind(), tkMethod) << name;
  }
  const AnsiString vision_handlers =
      "object LiteVision1: TLiteVision\n  OnGetText = Form1GetText\n  BeforePost = Form1BeforePost\nend\n";
  EXPECT_NO_THROW(StringToComponent(copy.lite_vision, vision_handlers, true));
}

}  // namespace published_props_test
