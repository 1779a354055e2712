// The image vision and the picture routines: values to pictures and back,
// the picture painted into a cell, a field whose bytes are no picture, the
// clipboard actions, and a picture loaded from a file, posted into a dBASE
// table and read back by an independent reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "grid/rs_edit.h"
#include "grid/rs_img.h"
#include "tests/grid/vision_support.h"
#include "toolkit/core/classes.h"
#include "toolkit/gfx/jpeg.h"
#include "toolkit/ui/clipbrd.h"
#include "toolkit/ui/dialogs.h"

namespace vision_image_test {

using namespace vision_support;

namespace {

// A picture of w × h in one colour.
void Fill(TBitmap& bitmap, int w, int h, TColor color) {
  bitmap.SetSize(w, h);
  bitmap.Canvas().Brush().SetColor(color);
  bitmap.Canvas().Brush().SetStyle(bsSolid);
  bitmap.Canvas().FillRect(Rect(0, 0, w, h));
}

std::string BmpBytes(int w, int h, TColor color) {
  TBitmap bitmap;
  Fill(bitmap, w, h, color);
  return bitmap.SaveToBytes();
}

void SetBytes(TvpUniValue& value, const std::string& bytes) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  value.LoadFromStream(stream);
}

// Answers file dialogs with a fixed name (empty: cancelled).
struct FileAnswer : TDialogService {
  int MessageBox(const AnsiString&, const AnsiString&, unsigned) override { return 1; }
  int MessageDlg(const AnsiString&, TMsgDlgType, TMsgDlgButtons) override { return mrOk; }
  bool ExecuteFileDialog(TOpenDialog& dialog) override {
    ++Asked;
    InitialDir = dialog.InitialDir();
    if (Answer.empty()) return false;
    dialog.SetFileName(Answer);
    return true;
  }
  bool ExecuteColorDialog(TColorDialog&) override { return false; }
  bool OpenDocument(const std::string&) override { return false; }
  std::string Answer;
  std::string InitialDir;
  int Asked = 0;
};

struct ScopedDialogs {
  explicit ScopedDialogs(TDialogService* service) : previous(SetDialogService(service)) {}
  ~ScopedDialogs() { SetDialogService(previous); }
  TDialogService* previous;
};

// A table with a picture blob, one row, in its own folder.
std::unique_ptr<TDbf> PictureTable(const std::string& folder, const std::string& bytes) {
  auto t = std::make_unique<TDbf>(nullptr);
  t->SetTableLevel(4);
  t->SetExclusive(true);
  t->SetTableName(testsupport::TempDir(folder) + "/pics.dbf");
  t->FieldDefs().AppendNamedDef("N", ftInteger);
  t->FieldDefs().AppendNamedDef("PIC", ftBlob);
  t->CreateTableFile();
  t->Activate();
  t->StartAppend();
  t->FieldNamed("N")->SetIntegerValue(1);
  if (!bytes.empty()) {
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    static_cast<TBlobField*>(t->FieldNamed("PIC"))->LoadFromStream(stream);
  }
  t->CommitRecord();
  return t;
}

struct ImageFixture {
  ImageFixture(TDataSet* ds) : edit(c) {
    source.SetDataSet(ds);
    link.ChangeDataSource(&source);
    c.Fields.SetDataLink(&link);
    c.Fields.SetVision(&vision);
    c.Fields.SetFieldName("PIC");
    c.Bind(ds);
    edit.Inplace = true;
  }
  // Paints the edit (not focused) into a white w × h bitmap.
  TBitmap& Paint(int w, int h) {
    Fill(shot, w, h, clWhite);
    vision.PaintEdit(edit, shot.Canvas(), Rect(0, 0, w, h));
    return shot;
  }
  TDataSource source{nullptr};
  TDataLink link;
  TImageVision vision{nullptr};
  RecordingConsumer c;
  EditStandIn edit;
  TBitmap shot;
};

TEST(PictureRoutines, ValuesBecomePicturesAndBack) {
  TJPEGImage jpeg;
  TBitmap source;
  Fill(source, 8, 6, clBlue);
  jpeg.Assign(source);
  TMemoryStream jpeg_stream;
  jpeg.SaveToStream(jpeg_stream);
  const std::string jpeg_bytes(jpeg_stream.Memory(), static_cast<size_t>(jpeg_stream.Size()));

  const struct {
    const char* what;
    std::string bytes;  // empty: null
    int width, height;
  } cases[] = {
      {"a BMP", BmpBytes(5, 3, clRed), 5, 3},
      {"a JPEG, known by its first bytes", jpeg_bytes, 8, 6},
      {"null clears the picture", "", 0, 0},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    TvpUniValue value(false, false);
    value.SetDataType(ftBlob);
    if (!t.bytes.empty()) SetBytes(value, t.bytes);
    TPicture picture;
    Fill(picture.Bitmap(), 2, 2, clGreen);
    ValueToGraphic(value, picture);
    EXPECT_EQ(picture.Bitmap().Width(), t.width);
    EXPECT_EQ(picture.Bitmap().Height(), t.height);

    TvpUniValue back(false, false);
    back.SetDataType(ftBlob);
    GraphicToValue(back, picture);
    EXPECT_EQ(back.IsNull(), t.bytes.empty());
    if (!back.IsNull()) {
      EXPECT_EQ(back.RawData().substr(0, 2), "BM") << "stored as a BMP";
    }
  }
}

TEST(PictureRoutines, BytesThatAreNoPictureRaiseAndLeaveThePictureEmpty) {
  for (const std::string& bytes : {std::string("not a picture"), std::string("BM\x10\x00", 4),
                                   std::string("\xFF\xD8\xFF\xE0 cut", 8)}) {
    TvpUniValue value(false, false);
    value.SetDataType(ftBlob);
    SetBytes(value, bytes);
    TPicture picture;
    Fill(picture.Bitmap(), 2, 2, clGreen);
    EXPECT_THROW(ValueToGraphic(value, picture), EInvalidGraphic);
    EXPECT_TRUE(picture.Bitmap().Empty());
  }
}

TEST(ImageVision, PaintsThePictureClippedCentredOrStretched) {
  // A 10 × 6 red picture in a 22 × 12 cell whose picture area is 20 × 10
  // (one pixel less on each side in an in-place editor).
  auto t = PictureTable("vision_image_paint", BmpBytes(10, 6, clRed));
  ImageFixture f(t.get());
  const struct {
    const char* what;
    bool center, stretch;
    int x0, y0, x1, y1;  // the red part
  } cases[] = {
      {"centred", true, false, 6, 3, 16, 9},
      {"at the top-left corner", false, false, 1, 1, 11, 7},
      {"stretched over the area", false, true, 1, 1, 21, 11},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    f.vision.SetCenter(c.center);
    f.vision.SetStretch(c.stretch);
    TBitmap& shot = f.Paint(22, 12);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 22; ++x) {
        const bool red = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
        ASSERT_EQ(ColorToRGB(shot.Canvas().Pixel(x, y)), red ? ColorToRGB(clRed) : ColorToRGB(clWhite))
            << x << "," << y;
      }
  }
}

TEST(ImageVision, ALargerPictureIsClippedToTheArea) {
  auto t = PictureTable("vision_image_clip", BmpBytes(40, 40, clRed));
  ImageFixture f(t.get());
  f.vision.SetCenter(false);
  TBitmap& shot = f.Paint(22, 12);
  EXPECT_EQ(ColorToRGB(shot.Canvas().Pixel(0, 0)), ColorToRGB(clWhite)) << "the frame pixel stays";
  EXPECT_EQ(ColorToRGB(shot.Canvas().Pixel(20, 10)), ColorToRGB(clRed));
  EXPECT_EQ(ColorToRGB(shot.Canvas().Pixel(21, 11)), ColorToRGB(clWhite));
}

TEST(ImageVision, AFieldWithoutAValidPictureShowsAnEmptyCell) {
  for (const std::string& bytes : {std::string(), std::string("no picture here")}) {
    SCOPED_TRACE(bytes);
    auto t = PictureTable("vision_image_bad", bytes);
    ImageFixture f(t.get());
    ASSERT_TRUE(f.c.Fields.Active());
    TBitmap* shot = nullptr;
    EXPECT_NO_THROW(shot = &f.Paint(22, 12));
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 22; ++x) ASSERT_EQ(ColorToRGB(shot->Canvas().Pixel(x, y)), ColorToRGB(clWhite));
    EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), "");
  }
}

TEST(ImageVision, ShowsOnlyBlobFields) {
  auto t = PictureTable("vision_image_show", "");
  for (const auto& [field, active] : {std::pair{"PIC", true}, {"N", false}, {"NOPE", false}}) {
    ImageFixture f(t.get());
    f.c.Fields.SetFieldName(field);
    f.c.Bind(t.get());
    EXPECT_EQ(f.c.Fields.Active(), active) << field;
  }
}

TEST(ImageVision, ClipboardActionsUnlessDisabled) {
  auto t = PictureTable("vision_image_clipboard", BmpBytes(3, 2, clRed));
  ImageFixture f(t.get());
  f.vision.LoadEditValue(f.edit);
  ASSERT_FALSE(f.edit.Value.IsNull());

  f.vision.ClipboardAction(f.edit, cbaCopy);
  TBitmap copied;
  ASSERT_TRUE(ClipboardBitmap(copied));
  EXPECT_EQ(copied.Width(), 3);

  f.vision.SetDisabledActions(TfvImgDisabledActions{vdaClear});
  f.vision.ClipboardAction(f.edit, cbaClear);
  EXPECT_FALSE(f.edit.Value.IsNull()) << "a disabled action does nothing";
  f.vision.SetDisabledActions({});
  f.vision.ClipboardAction(f.edit, cbaClear);
  EXPECT_TRUE(f.edit.Value.IsNull());
  EXPECT_TRUE(f.edit.Value.Changed);

  TBitmap blue;
  Fill(blue, 7, 5, clBlue);
  SetClipboardBitmap(blue);
  f.vision.SetDisabledActions(TfvImgDisabledActions{vdaPaste});
  f.vision.ClipboardAction(f.edit, cbaPaste);
  EXPECT_TRUE(f.edit.Value.IsNull());
  f.vision.SetDisabledActions({});
  f.vision.ClipboardAction(f.edit, cbaPaste);
  TPicture pasted;
  ASSERT_TRUE(f.vision.ReadEditPicture(f.edit, pasted));
  EXPECT_EQ(pasted.Bitmap().Width(), 7);

  // The pasted picture is posted as any changed value.
  EXPECT_TRUE(f.vision.PostEditValue(f.edit, false));
  t->CommitRecord();
  TPicture stored;
  EXPECT_TRUE(f.vision.ReadPicture(f.c.Fields, stored));
  EXPECT_EQ(stored.Bitmap().Height(), 5);
}

TEST(ImageVision, ARefusedOrFailedLoadIsNotReportedAsLoaded) {
  const std::string folder = testsupport::TempDir("vision_image_refused");
  testsupport::WriteFile(folder + "/junk.bmp", "no picture");
  auto t = PictureTable("vision_image_refused_table", "");
  ImageFixture f(t.get());
  FileAnswer answer;
  ScopedDialogs dialogs(&answer);

  f.vision.LoadEditValue(f.edit);
  EXPECT_FALSE(f.vision.LoadFromFile(f.edit, true)) << "cancelled";
  EXPECT_EQ(answer.Asked, 1);
  EXPECT_FALSE(f.vision.LoadFromFile(f.edit, false)) << "an edit without the focus asks nothing";
  EXPECT_EQ(answer.Asked, 1);

  answer.Answer = folder + "/junk.bmp";
  EXPECT_THROW(f.vision.LoadFromFile(f.edit, true), EInvalidGraphic);
  EXPECT_FALSE(f.edit.Value.Changed);

  testsupport::WriteFile(folder + "/red.bmp", BmpBytes(4, 4, clRed));
  answer.Answer = folder + "/red.bmp";
  f.vision.SetReadOnly(true);
  EXPECT_FALSE(f.vision.LoadFromFile(f.edit, true)) << "chosen, but the field cannot be edited";
  EXPECT_TRUE(f.edit.Value.IsNull());
}

// Done when: a picture loaded from a file is shown in the cell and stored
// in the table file, where an independent reader finds its bytes.
TEST(ImageVision, APictureLoadedIsShownAndStoredInTheTableFile) {
  const std::string folder = testsupport::TempDir("vision_image_load");
  testsupport::WriteFile(folder + "/red.bmp", BmpBytes(6, 4, clRed));
  std::string file;
  {
    auto t = PictureTable("vision_image_load_table", "");
    file = t->FilePathFull() + "/" + t->TableName();
    ImageFixture f(t.get());
    FileAnswer answer;
    answer.Answer = folder + "/red.bmp";
    ScopedDialogs dialogs(&answer);
    f.vision.LoadEditValue(f.edit);
    ASSERT_TRUE(f.vision.LoadFromFile(f.edit, true));
    EXPECT_EQ(LastPictureFolder(), folder);
    EXPECT_TRUE(f.vision.PostEditValue(f.edit, false));
    t->CommitRecord();
    TBitmap& shot = f.Paint(22, 12);
    EXPECT_EQ(ColorToRGB(shot.Canvas().Pixel(11, 6)), ColorToRGB(clRed)) << "shown centred";
    EXPECT_EQ(ColorToRGB(shot.Canvas().Pixel(2, 2)), ColorToRGB(clWhite));
    // The next load starts in the folder of this one.
    answer.Answer.clear();
    f.vision.LoadFromFile(f.edit, true);
    EXPECT_EQ(answer.InitialDir, folder);
    t->Deactivate();
  }
  // The reader counts the block header of a dBASE IV memo into the length,
  // so the stored bytes are compared as a prefix.
  const std::string out = ReadBack(file, "bmp = open('" + folder + "/red.bmp', 'rb').read()\n"
                                         "for r in rows: print(r['N'], r['PIC'][:len(bmp)] == bmp)\n");
  EXPECT_EQ(out, "1 True\n");
}

// The picture menu as it pops up over an edit: what may be done with the
// picture is enabled, what the vision disables is hidden.
TEST(ImageVision, ThePictureMenuOffersWhatTheEditsPictureAllows) {
  auto t = PictureTable("vision_image_menu", BmpBytes(3, 2, clRed));
  TDataSource source(nullptr);
  source.SetDataSet(t.get());
  TForm form(nullptr);
  auto* edit = new TDBProdiEdit(&form);
  edit->SetParent(&form);
  TImageVision vision(nullptr);
  edit->SetVision(&vision);
  edit->SetDataSource(&source);
  edit->SetDataField("PIC");
  EXPECT_EQ(vision.GetPopupMenu(), BlobContextMenu());
  // The state of each item: "e" enabled, "d" disabled, "h" hidden, "|" a
  // shown separator.
  const auto state = [&] {
    UpdateBlobContextMenu(*edit);
    std::string out;
    TMenuItem& items = BlobContextMenu()->Items();
    for (int i = 0; i < items.Count(); ++i) {
      TMenuItem* item = items.Items(i);
      if (item->IsLine())
        out += item->Visible() ? "|" : "";
      else
        out += !item->Visible() ? "h" : item->Enabled() ? "e" : "d";
    }
    return out;
  };
  vision.LoadEditValue(*edit);
  TBitmap blue;
  Fill(blue, 2, 2, clBlue);
  SetClipboardBitmap(blue);
  // Cut Copy Paste Clear | Load Save | Preview
  EXPECT_EQ(state(), "eeee|ee|e");
  vision.SetDisabledActions(TfvImgDisabledActions{vdaPaste, vdaPreview});
  EXPECT_EQ(state(), "eehe|eeh") << "no separator before a hidden preview";
  vision.SetDisabledActions({});
  vision.SetReadOnly(true);
  EXPECT_EQ(state(), "dedd|de|e") << "a picture that may not change is copied, saved and shown only";
  vision.SetReadOnly(false);
  edit->CurrentValue().Clear();
  EXPECT_EQ(state(), "dded|ed|d") << "no picture: nothing to cut, copy, clear, save or show";
}

}  // namespace

}  // namespace vision_image_test
