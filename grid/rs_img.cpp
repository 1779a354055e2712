#include "grid/rs_img.h"

#include <utility>
#include <filesystem>
#include <memory>

#include "toolkit/core/units.h"
#include "grid/rs_edit.h"
#include "grid/rs_env.h"
#include "grid/rs_str.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/ui/clipbrd.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/stdctrls.h"

// ---- Published types ---------------------------------------------------------------------

const TTypeInfo& TfvImgDisabledActionsType() {
  static const TTypeInfo action = TTypeInfo::Enumeration(
      "TfvImgDisabledAction", {"vdaCut", "vdaCopy", "vdaPaste", "vdaClear", "vdaLoad", "vdaSave", "vdaPreview"});
  static const TTypeInfo t = TTypeInfo::SetOf("TfvImgDisabledActions", action);
  return t;
}

const TClassInfo& TImageVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TImageVision>, "TImageVision", &TvpFieldVision::StaticClassInfo(), [](TPublisher<TImageVision>& p) {
        using V = TImageVision;
        p.Boolean("Stretch", &V::Stretch, &V::SetStretch).WithDefault(false);
        p.Boolean("Center", &V::Center, &V::SetCenter).WithDefault(true);
        p.Boolean("QuickDraw", &V::QuickDraw, &V::SetQuickDraw).WithDefault(true);
        p.Object("PopupMenu", TComponent::StaticClassInfo(), &V::PopupMenu,
                 [](V& o, TPersistent* v) { o.SetPopupMenu(dynamic_cast<TPopupMenu*>(v)); });
        p.Ordinal("DisabledActions", TfvImgDisabledActionsType(), &V::DisabledActions, &V::SetDisabledActions)
            .WithDefault(0);
        PublishVisionEvents(p, "OnDblClick OnGetText BeforeEdit BeforePost AfterPost OnInitEdit OnDraw OnDrawEdit "
                               "OnGetEditFont");
        PublishEvents(p, "TfvNotifyEvent OnPreview");
      });
  return info;
}

// ---- Picture routines --------------------------------------------------------------------

namespace {

std::string g_last_picture_folder;

// The dialogs' filter: the kinds of picture the toolkit reads.
const char* const kPictureFilter =
    "All pictures (*.bmp;*.jpg;*.jpeg)|*.bmp;*.jpg;*.jpeg|Bitmaps (*.bmp)|*.bmp|JPEG pictures (*.jpg;*.jpeg)|*.jpg;*.jpeg";

// The field's bytes into value (null for a null or absent field).
void BlobToValue(TField* Field, TvpUniValue& Value) {
  auto* blob = dynamic_cast<TBlobField*>(Field);
  if (!blob || blob->HoldsNull()) return;
  TMemoryStream stream;
  blob->SaveToStream(stream);
  stream.SetPosition(0);
  Value.LoadFromStream(stream);
}

void ClearPicture(TPicture& Graphic) {
  Graphic.Bitmap().SetSize(0, 0);
  Graphic.Changed();
}

}  // namespace

void ValueToGraphic(const TvpUniValue& Value, TPicture& Graphic) {
  if (Value.IsNull()) {
    ClearPicture(Graphic);
    return;
  }
  const std::string_view bytes = Value.RawData();
  // A value that is no picture leaves an empty one, not the one before.
  TScopeFail cleared([&Graphic] { ClearPicture(Graphic); });
  Graphic.LoadFromBytes(bytes.data(), bytes.size());
}

void GraphicToValue(TvpUniValue& Value, TPicture& Graphic) {
  if (Graphic.Bitmap().Empty()) {
    Value.Clear();
    return;
  }
  const std::string bytes = Graphic.Bitmap().SaveToBytes();
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  Value.LoadFromStream(stream);
}

void ShowPicturePreview(TBitmap& Graphic) {
  TForm form(nullptr);
  form.SetCaption(rsLoadStr(SPicturePreviewCaption));
  form.SetBorderIcons(TBorderIcons{biSystemMenu});
  form.SetPosition(poScreenCenter);
  form.SetClientWidth(Graphic.Width() + 2);
  form.SetClientHeight(Graphic.Height() + 2);
  // The button behind the picture takes Enter and Escape.
  auto* button = new TButton(&form);
  button->SetParent(&form);
  button->SetBounds(0, 0, 1, 1);
  button->SetDefault(true);
  button->SetCancel(true);
  button->SetModalResult(mrOk);
  auto* image = new TImage(&form);
  image->SetParent(&form);
  image->SetBounds(1, 1, Graphic.Width(), Graphic.Height());
  image->SetCenter(true);
  image->Picture().Bitmap().Assign(Graphic);
  image->PictureChanged();
  form.SetColor(clWhite);
  form.ShowModal();
}

bool LoadPicture(TPicture& Graphic, IvpVisionEdit& Edit) {
  TOpenDialog dialog(nullptr);
  dialog.SetOptions(TOpenOptions{ofHideReadOnly, ofPathMustExist, ofFileMustExist, ofEnableSizing});
  dialog.SetFilter(kPictureFilter);
  dialog.SetDefaultExt("bmp");
  dialog.SetInitialDir(g_last_picture_folder);
  // The dialog may change the process's folder; later relative names must
  // not depend on where a picture was picked.
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  const bool confirmed = dialog.Execute();
  if (!folder.empty()) std::filesystem::current_path(folder, error);
  if (!confirmed || !Edit.EditFields().StartEdit(false)) return false;
  Graphic.LoadFromFile(dialog.FileName());
  g_last_picture_folder = std::filesystem::path(dialog.FileName()).parent_path().string();
  return true;
}

bool SavePicture(std::string& FileName) {
  TSaveDialog dialog(nullptr);
  dialog.SetOptions(TOpenOptions{ofOverwritePrompt, ofHideReadOnly, ofPathMustExist, ofEnableSizing});
  dialog.SetFilter(kPictureFilter);
  dialog.SetDefaultExt("bmp");
  dialog.SetFileName(FileName);
  if (!dialog.Execute()) return false;
  FileName = dialog.FileName();
  return true;
}

const std::string& LastPictureFolder() { return g_last_picture_folder; }

void ClearLastPictureFolder() { g_last_picture_folder.clear(); }

// ---- TImageVision ------------------------------------------------------------------------

TImageVision::TImageVision(TComponent* owner) : TvpFieldVision(owner) { SetSelfDrawn(true); }

void TImageVision::SetStretch(bool value) {
  if (stretch_ == value) return;
  stretch_ = value;
  NotifyView();
}

void TImageVision::SetCenter(bool value) {
  if (center_ == value) return;
  center_ = value;
  NotifyView();
}

void TImageVision::SetQuickDraw(bool value) {
  if (quick_draw_ == value) return;
  quick_draw_ = value;
  NotifyView();
}

void TImageVision::SetPopupMenu(TPopupMenu* value) {
  if (popup_menu_ == value) return;
  popup_menu_ = value;
  NotifyPopupMenu();
}

void TImageVision::NotifyPopupMenu() {
  for (int i = 0; i < ConsumerCount(); ++i)
    if (IvpFieldVisionConsumer* consumer = Consumers(i)->Consumer()) consumer->PopupMenuChanged();
}

bool TImageVision::ReadPicture(TgpFieldList& Fields, TPicture& Graphic) {
  TvpUniValue value(false, false);
  value.SetDataType(ftBlob);
  BlobToValue(Fields.Field(), value);
  try {
    ValueToGraphic(value, Graphic);
  } catch (const EInvalidGraphic&) {
    return false;
  }
  return !Graphic.Bitmap().Empty();
}

bool TImageVision::ReadEditPicture(IvpVisionEdit& Edit, TPicture& Graphic) {
  try {
    ValueToGraphic(Edit.CurrentValue(), Graphic);
  } catch (const EInvalidGraphic&) {
    return false;
  }
  return !Graphic.Bitmap().Empty();
}

bool TImageVision::LoadFromFile(IvpVisionEdit& Edit, bool Focused) {
  if (!Focused) return false;
  TPicture picture;
  if (!LoadPicture(picture, Edit)) return false;
  TfvCurrentValue& value = Edit.CurrentValue();
  GraphicToValue(value, picture);
  value.Changed = true;
  return true;
}

bool TImageVision::SaveToFile(IvpVisionEdit& Edit, bool Focused) {
  if (!Focused) return false;
  TPicture picture;
  if (!ReadEditPicture(Edit, picture)) return false;
  std::string file_name;
  if (!SavePicture(file_name)) return false;
  picture.Bitmap().SaveToFile(file_name);
  return true;
}

void TImageVision::Preview(IvpVisionEdit& Edit, bool Focused) {
  if (!Focused) return;
  if (OnPreview) {
    OnPreview(this, Edit.EditFields());
    return;
  }
  TPicture picture;
  if (ReadEditPicture(Edit, picture)) ShowPicturePreview(picture.Bitmap());
}

void TImageVision::CanShow(TgpFieldList& Fields, bool& Active) {
  Active = dynamic_cast<TBlobField*>(Fields.Field()) != nullptr;
}

void TImageVision::GetText(TgpFieldList&, bool, AnsiString& Text) { Text.clear(); }

void TImageVision::LoadEditValue(IvpVisionEdit& Edit) { LoadBlobEditValue(Edit); }

void LoadBlobEditValue(IvpVisionEdit& Edit) {
  TfvCurrentValue& value = Edit.CurrentValue();
  value.Clear();
  value.SetDataType(ftBlob);
  BlobToValue(Edit.EditFields().Field(), value);
  value.Changed = false;
  value.TextModified = false;
}

void TImageVision::DrawContent(TgpFieldList& Fields, TfvPainter& Painter) {
  Painter.DefaultDraw = false;
  if (!Painter.Canvas) return;
  const bool edit_focused = !Painter.GridMode() && Painter.Attrs && Painter.Attrs->Focused;
  TPicture picture;
  IvpVisionEdit* edit = Fields.Edit();
  // A field that holds no valid picture shows an empty cell.
  const bool shown = edit_focused && edit ? ReadEditPicture(*edit, picture) : ReadPicture(Fields, picture);
  TRect area = Painter.CellRect;
  if (Painter.GridMode() || Painter.HasColumn) area = Rect(area.Left + 1, area.Top + 1, area.Right - 1, area.Bottom - 1);
  TCanvas& canvas = *Painter.Canvas;
  if (shown && area.Width() > 0 && area.Height() > 0) {
    TBitmap& bitmap = picture.Bitmap();
    canvas.PushClip(area);
    if (stretch_) {
      TBitmap scaled;
      scaled.AssignScaled(bitmap, area.Width(), area.Height());
      canvas.Draw(area.Left, area.Top, scaled);
    } else if (center_) {
      canvas.Draw(area.Left + (area.Width() - bitmap.Width()) / 2, area.Top + (area.Height() - bitmap.Height()) / 2,
                  bitmap);
    } else {
      canvas.Draw(area.Left, area.Top, bitmap);
    }
    canvas.PopClip();
  }
  if (edit_focused && !Painter.HasColumn) {
    const TBrushStyle brush_style = canvas.Brush().Style();
    const TColor pen_color = canvas.Pen().Color();
    canvas.Brush().SetStyle(bsClear);
    canvas.Pen().SetColor(clBtnFace);
    canvas.Rectangle(area.Left - 1, area.Top - 1, area.Right + 1, area.Bottom + 1);
    canvas.Pen().SetColor(pen_color);
    canvas.Brush().SetStyle(brush_style);
    Painter.DrawFocusRect(Painter.CellRect);
  }
}

void TImageVision::ClipboardAction(IvpVisionEdit& Edit, TfvClipboardAction Action) {
  static const TfvImgDisabledAction kActionOf[] = {vdaCut, vdaCut, vdaCopy, vdaPaste, vdaClear};
  if (Action < cbaCut || Action > cbaClear || disabled_actions_.Contains(kActionOf[Action])) return;
  TPicture picture;
  const bool has_picture = ReadEditPicture(Edit, picture);
  TfvCurrentValue& value = Edit.CurrentValue();
  TgpFieldList& fields = Edit.EditFields();
  switch (Action) {
    case cbaCut:
      if (has_picture && fields.StartEdit(false)) {
        SetClipboardBitmap(picture.Bitmap());
        value.Clear();
        value.Changed = true;
      }
      break;
    case cbaCopy:
      if (has_picture) SetClipboardBitmap(picture.Bitmap());
      break;
    case cbaPaste:
      if (ClipboardHasBitmap() && fields.StartEdit(false)) {
        TPicture pasted;
        if (ClipboardBitmap(pasted.Bitmap())) {
          GraphicToValue(value, pasted);
          value.Changed = true;
        }
      }
      break;
    case cbaClear:
      if (fields.StartEdit(false)) {
        value.Clear();
        value.Changed = true;
      }
      break;
  }
}

TvpDefLayout TImageVision::GetDefaultLayout(TgpFieldList&) { return tlaCenter; }

TPopupMenu* TImageVision::GetPopupMenu() { return popup_menu_ ? popup_menu_ : BlobContextMenu(); }

bool TImageVision::WantArrows() { return false; }

// ---- The picture menu ---------------------------------------------------------------------

namespace {

class TvpBlobMenu;
TvpBlobMenu* g_blob_menu = nullptr;

// Owned by the application, so that it goes before the windowing does.
class TvpBlobMenu : public TPopupMenu {
 public:
  TvpBlobMenu() : TPopupMenu(Application) {}
  ~TvpBlobMenu() override {
    if (g_blob_menu == this) g_blob_menu = nullptr;
  }
};

TDBProdiEdit* MenuEdit() {
  return g_blob_menu ? dynamic_cast<TDBProdiEdit*>(g_blob_menu->PopupComponent()) : nullptr;
}

void BlobMenuClick(int tag) {
  TDBProdiEdit* edit = MenuEdit();
  auto* vision = edit ? dynamic_cast<TImageVision*>(edit->EffectiveVision()) : nullptr;
  if (!vision) return;
  const bool focused = edit->Focused();
  switch (tag) {
    case 1:
    case 2:
    case 3:
    case 4:
      // As the edit's own clipboard keys do: editing starts before a change.
      if (tag != cbaCopy) edit->EditFields().StartEdit(true);
      vision->ClipboardAction(*edit, static_cast<TfvClipboardAction>(tag));
      break;
    case 5:
      vision->LoadFromFile(*edit, focused);
      break;
    case 6:
      vision->SaveToFile(*edit, focused);
      break;
    case 7:
      vision->Preview(*edit, focused);
      break;
  }
  edit->Invalidate();
}

}  // namespace

void AddPictureMenuItems(TPopupMenu& Menu, const std::function<void(int Tag)>& Click) {
  Menu.SetImages(rsEnv()->ToolbarImages);
  const struct {
    int text;  // 0: a separator
    int tag;
  } items[] = {{SCut, 1},         {SCopy, 2},          {SPaste, 3}, {SClear, 4}, {0, 0}, {SPictureLoad, 5},
               {SPictureSaveTo, 6}, {0, 0}, {SPicturePreview, 7}};
  for (const auto& d : items) {
    auto* item = new TMenuItem(&Menu);
    item->SetCaption(d.text ? rsLoadStr(d.text) : AnsiString("-"));
    item->SetTag(d.tag);
    if (d.tag) item->OnClick = [Click, tag = d.tag](TComponent*) { Click(tag); };
    Menu.Items().Add(item);
  }
}

void UpdatePictureMenuItems(TPopupMenu& Menu, bool HasPicture, bool CanEdit, TfvImgDisabledActions Disabled) {
  TMenuItem& items = Menu.Items();
  static const TfvImgDisabledAction kActionOf[] = {vdaCut, vdaCut, vdaCopy, vdaPaste, vdaClear, vdaLoad, vdaSave,
                                                   vdaPreview};
  for (int i = 0; i < items.Count(); ++i) {
    TMenuItem* item = items.Items(i);
    const int tag = item->Tag();
    if (tag < 1 || tag > 7) continue;
    const bool enabled = tag == 1 || tag == 4 ? HasPicture && CanEdit
                         : tag == 3          ? ClipboardHasBitmap() && CanEdit
                         : tag == 5          ? CanEdit
                                             : HasPicture;
    item->SetEnabled(enabled);
    item->SetVisible(!Disabled.Contains(kActionOf[tag]));
  }
  // The separators show where an item after them does.
  const auto shown = [&](int tag) {
    for (int i = 0; i < items.Count(); ++i)
      if (items.Items(i)->Tag() == tag) return items.Items(i)->Visible();
    return false;
  };
  int separator = 0;
  for (int i = 0; i < items.Count(); ++i) {
    TMenuItem* item = items.Items(i);
    if (!item->IsLine()) continue;
    item->SetVisible(separator++ == 0 ? shown(5) || shown(6) : shown(7));
  }
}

namespace {
const char kImageUnit = 0;
void FinalizeImageUnit() {
  if (g_blob_menu) g_blob_menu->Free();
}
}  // namespace

TPopupMenu* BlobContextMenu() {
  if (g_blob_menu) return g_blob_menu;
  g_blob_menu = new TvpBlobMenu();
  AddPictureMenuItems(*g_blob_menu, BlobMenuClick);
  g_blob_menu->OnPopup = [](TComponent*) {
    if (TDBProdiEdit* edit = MenuEdit()) UpdateBlobContextMenu(*edit);
  };
  RegisterUnit(&kImageUnit, "rs_img", FinalizeImageUnit);
  return g_blob_menu;
}

void UpdateBlobContextMenu(TDBProdiEdit& Edit) {
  auto* vision = dynamic_cast<TImageVision*>(Edit.EffectiveVision());
  TPicture picture;
  const bool has_picture = vision && vision->ReadEditPicture(Edit, picture);
  // Without a field there is nothing to act on.
  const TfvImgDisabledActions disabled =
      Edit.EditFields().Field() == nullptr
          ? TfvImgDisabledActions{vdaCut, vdaCopy, vdaPaste, vdaClear, vdaLoad, vdaSave, vdaPreview}
      : vision ? vision->DisabledActions()
               : TfvImgDisabledActions{};
  UpdatePictureMenuItems(*BlobContextMenu(), has_picture, Edit.EditFields().CanEdit(), disabled);
}

void FreeImageDefaults() { FinalizeUnit(&kImageUnit); }
