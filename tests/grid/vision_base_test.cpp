// The field vision base: field lists resolving their names, the notices
// consumers get when a vision changes, attaching and losing visions, the
// default vision, the edit rules, and posting an edited value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grid/rs_std.h"
#include "tests/grid/vision_support.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/comctrls.h"

namespace vision_base_test {

using namespace vision_support;

namespace {

using Names = std::vector<std::string>;

// The names of the resolved entries ("-" for an entry without a field).
Names Entries(const TgpFieldList& fields) {
  Names out;
  for (int i = 0; i < fields.FieldCount(); ++i) out.push_back(fields.Fields(i) ? fields.Fields(i)->FieldName() : "-");
  return out;
}

// ---- Field resolution --------------------------------------------------------------------

TEST(FieldList, HoldsOneEmptyEntryBeforeTheFirstResolution) {
  RecordingConsumer c;
  EXPECT_EQ(c.Fields.FieldCount(), 1);
  EXPECT_EQ(c.Fields.Field(), nullptr);
  EXPECT_FALSE(c.Fields.Active());
  EXPECT_EQ(c.Fields.Vision(), DefaultVision());
}

TEST(FieldList, ResolvesItemsAlternativesAndRelatedFields) {
  auto ds = MemData();
  const struct {
    const char* what;
    const char* field_name;
    const char* related;
    bool open;
    Names entries;
  } cases[] = {
      {"one name", "NAME", "", true, {"NAME"}},
      {"case does not matter", "name", "", true, {"NAME"}},
      {"empty name gives no entries", "", "", true, {}},
      {"unknown name gives an empty entry", "NOPE", "", true, {"-"}},
      {"first alternative the data set has, then the next item", "NOPE,NAME;P", "", true, {"NAME", "P"}},
      {"alternatives in order", "N,NAME", "", true, {"N"}},
      {"no alternative found", "X,Y;P", "", true, {"-", "P"}},
      {"related fields come after the consumer's", "NAME", "P", true, {"NAME", "P"}},
      {"several related fields", "N", "NAME;NOTE", true, {"N", "NAME", "NOTE"}},
      {"related fields of a consumer without a name", "", "P", true, {"-", "P"}},
      {"closed data set resolves nothing", "NAME;P", "", false, {"-", "-"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ds->ChangeActive(c.open);
    TLiteVision vision(nullptr);
    vision.SetRelatedFields(c.related);
    RecordingConsumer consumer;
    consumer.Fields.SetVision(&vision);
    consumer.Fields.SetFieldName(c.field_name);
    consumer.Fields.ResolveFields(ds.get());
    EXPECT_EQ(Entries(consumer.Fields), c.entries);
    EXPECT_EQ(consumer.Fields.DataSet(), ds.get());
  }
}

TEST(FieldList, BaseOperationsUseTheConsumersFieldNotTheRelatedOne) {
  auto ds = MemData();
  TLiteVision vision(nullptr);
  vision.SetRelatedFields("P");
  RecordingConsumer c;
  c.Fields.SetVision(&vision);
  c.Fields.SetFieldName("NAME");
  c.Bind(ds.get());
  ASSERT_EQ(Entries(c.Fields), (Names{"NAME", "P"}));
  EXPECT_EQ(vision.FieldsText(c.Fields, true), Utf8ToAnsi("Иванов"));
  EXPECT_EQ(vision.GetMaxLength(c.Fields), 20);
  EXPECT_EQ(vision.GetDefaultAlignment(c.Fields), taLeftJustify);
}

// ---- What a vision answers about its fields -----------------------------------------------

TEST(VisionQueries, CaptionAlignmentLengthCharactersAndSearchText) {
  auto ds = MemData();
  ds->FieldNamed("NAME")->SetDisplayLabel(Utf8ToAnsi("Фамилия"));
  static_cast<TNumericField*>(ds->FieldNamed("P"))->SetDisplayFormat("0.00");
  static_cast<TNumericField*>(ds->FieldNamed("P"))->SetEditFormat("0.###");
  TLiteVision vision(nullptr);
  const struct {
    const char* field;
    const char* caption;  // UTF-8
    TAlignment alignment;
    int max_length;
    bool letter_valid, digit_valid;
    const char* search;
  } cases[] = {
      {"NAME", "Фамилия", taLeftJustify, 20, true, true, "Иванов"},
      {"P", "P", taRightJustify, 0, false, true, "12,5"},
      {"N", "N", taRightJustify, 0, false, true, "1"},
      {"NO_SUCH", "", taLeftJustify, 0, true, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    RecordingConsumer consumer;
    consumer.Fields.SetVision(&vision);
    consumer.Fields.SetFieldName(c.field);
    consumer.Bind(ds.get());
    AnsiString caption = "old";
    vision.GetDefaultCaption(consumer.Fields, caption);
    EXPECT_EQ(caption, Utf8ToAnsi(c.caption));
    EXPECT_EQ(vision.GetDefaultAlignment(consumer.Fields), c.alignment);
    EXPECT_EQ(vision.GetMaxLength(consumer.Fields), c.max_length);
    EXPECT_EQ(vision.IsValidChar(consumer.Fields, 'a'), c.letter_valid);
    EXPECT_EQ(vision.IsValidChar(consumer.Fields, '7'), c.digit_valid);
    AnsiString search;
    vision.GetSearchText(consumer.Fields, search);
    EXPECT_EQ(search, Utf8ToAnsi(c.search)) << "numbers are searched without their display format";
    // The vision's own caption and length win.
    vision.SetCaption("C");
    vision.SetMaxLength(5);
    vision.GetDefaultCaption(consumer.Fields, caption);
    EXPECT_EQ(caption, "C");
    EXPECT_EQ(vision.GetMaxLength(consumer.Fields), 5);
    vision.SetCaption("");
    vision.SetMaxLength(0);
  }
  RecordingConsumer p;
  p.Fields.SetFieldName("P");
  p.Bind(ds.get());
  EXPECT_EQ(DefaultVision()->FieldsText(p.Fields, true), "12,50");
  EXPECT_EQ(DefaultVision()->FieldsText(p.Fields, false), "12,5");
}

TEST(VisionQueries, EditMaskComesFromTheConsumersEditFormatThenTheVisionThenTheField) {
  auto ds = MemData();
  ds->FieldNamed("NAME")->SetEditMask("LLL");
  TLiteVision lite(nullptr);
  TMemoVision memo(nullptr);
  const struct {
    const char* what;
    TvpFieldVision* vision;
    const char* edit_format;
    const char* vision_mask;
    const char* mask;
  } cases[] = {
      {"field's mask", &lite, "", "", "LLL"},
      {"vision's mask over the field's", &lite, "", "999", "999"},
      {"consumer's edit format over both", &lite, "00.00", "999", "00.00"},
      {"the base rule knows no edit format", &memo, "00.00", "999", "999"},
      {"the base rule falls back to the field", &memo, "00.00", "", "LLL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.vision->SetEditMask(c.vision_mask);
    RecordingConsumer consumer;
    consumer.Fields.SetVision(c.vision);
    consumer.Fields.SetFieldName("NAME");
    consumer.Fields.SetEditFormat(c.edit_format);
    consumer.Bind(ds.get());
    AnsiString mask;
    c.vision->GetEditMask(consumer.Fields, mask);
    EXPECT_EQ(mask, c.mask);
    // A mask already given is kept by the base rule.
    if (c.vision == &memo) {
      AnsiString given = "given";
      memo.GetEditMask(consumer.Fields, given);
      EXPECT_EQ(given, "given");
    }
  }
}

TEST(VisionQueries, WhatEachVisionAgreesToShow) {
  auto ds = MemData();
  TvpFieldVision base(nullptr);
  TLiteVision lite(nullptr);
  TMemoVision memo(nullptr);
  const struct {
    const char* field;
    bool base, lite, memo;
  } cases[] = {
      {"NAME", true, true, true},
      {"NOTE", true, false, true},
      {"NO_SUCH", false, true, true},
      {"", false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    for (auto [vision, expected] : {std::pair<TvpFieldVision*, bool>{&base, c.base}, {&lite, c.lite}, {&memo, c.memo}}) {
      SCOPED_TRACE(vision->ClassName());
      RecordingConsumer consumer;
      consumer.Fields.SetVision(vision);
      consumer.Fields.SetFieldName(c.field);
      consumer.Bind(ds.get());
      EXPECT_EQ(consumer.Fields.Active(), expected);
    }
  }
  // A closed data set shows nothing, whatever the vision.
  ds->Deactivate();
  RecordingConsumer consumer;
  consumer.Fields.SetVision(&lite);
  consumer.Fields.SetFieldName("NAME");
  consumer.Bind(ds.get());
  EXPECT_FALSE(consumer.Fields.Active());
}

// ---- Notices to consumers ----------------------------------------------------------------

TEST(VisionNotices, EachPropertyChangeReachesEveryConsumerOnce) {
  TImageList images(nullptr);
  TBitmap glyph;
  glyph.SetSize(8, 8);
  const struct {
    const char* what;
    std::function<void(TvpFieldVision&)> change;
    Names trace;
  } cases[] = {
      {"caption, consumer unchanged", [](TvpFieldVision& v) { v.SetCaption("X"); }, {"UpdateCaptionAlignment"}},
      {"alignment", [](TvpFieldVision& v) { v.SetAlignment(talCenter); }, {"UpdateCaptionAlignment"}},
      {"related fields", [](TvpFieldVision& v) { v.SetRelatedFields("P"); }, {"FieldsChanged"}},
      {"image side", [](TvpFieldVision& v) { v.SetAlignImage(aiRight); }, {"ViewChanged"}},
      {"images", [&](TvpFieldVision& v) { v.SetImages(&images); }, {"ImagesChanged"}},
      {"draw images", [](TvpFieldVision& v) { v.SetDrawImages(false); }, {"ImagesChanged"}},
      {"button", [](TvpFieldVision& v) { v.SetEnableButton(true); }, {"ButtonChanged"}},
      {"button style", [](TvpFieldVision& v) { v.SetButtonStyle(pbsSpin); }, {"ButtonChanged"}},
      {"button glyph", [&](TvpFieldVision& v) { v.SetButtonGlyph(&glyph); }, {"ButtonChanged"}},
      {"no glyph", [](TvpFieldVision& v) { v.SetButtonGlyph(nullptr); }, {"ButtonChanged"}},
      {"word wrap", [](TvpFieldVision& v) { v.SetEditWordWrap(true); }, {"EditStyleChanged"}},
      {"scroll bars", [](TvpFieldVision& v) { v.SetEditScrollBars(ssBoth); }, {"EditStyleChanged"}},
      {"the same caption again", [](TvpFieldVision& v) { v.SetCaption(""); }, {}},
      {"the same alignment again", [](TvpFieldVision& v) { v.SetAlignment(talDefault); }, {}},
      {"stored only: read-only", [](TvpFieldVision& v) { v.SetReadOnly(true); }, {}},
      {"stored only: edit mask", [](TvpFieldVision& v) { v.SetEditMask("000"); }, {}},
      {"stored only: max length", [](TvpFieldVision& v) { v.SetMaxLength(5); }, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TLiteVision vision(nullptr);
    RecordingConsumer first, second;
    first.Fields.SetVision(&vision);
    second.Fields.SetVision(&vision);
    first.Trace.clear();
    second.Trace.clear();
    c.change(vision);
    EXPECT_EQ(first.Trace, c.trace);
    EXPECT_EQ(second.Trace, c.trace);
  }
}

TEST(VisionNotices, ViewChangedFollowsOnlyForConsumersWhoseCaptionChanged) {
  TLiteVision vision(nullptr);
  RecordingConsumer changed, unchanged;
  changed.CaptionChanges = true;
  changed.Fields.SetVision(&vision);
  unchanged.Fields.SetVision(&vision);
  changed.Trace.clear();
  unchanged.Trace.clear();
  vision.SetCaption("Нагрузка");
  EXPECT_EQ(changed.Trace, (Names{"UpdateCaptionAlignment", "ViewChanged"}));
  EXPECT_EQ(unchanged.Trace, (Names{"UpdateCaptionAlignment"}));
}

TEST(VisionNotices, NothingIsToldWhileTheVisionLoads) {
  TLiteVision vision(nullptr);
  RecordingConsumer c;
  c.Fields.SetVision(&vision);
  c.Trace.clear();
  vision.SetComponentStateFlag(csLoading, true);
  vision.SetCaption("X");
  vision.SetRelatedFields("P");
  vision.SetAlignImage(aiRight);
  vision.SetDrawImages(false);
  vision.SetButtonStyle(pbsSpin);
  vision.SetEditWordWrap(true);
  EXPECT_TRUE(c.Trace.empty());
  vision.Loaded();
  EXPECT_EQ(vision.Caption(), "X");
  EXPECT_EQ(vision.RelatedFields(), "P");
}

// ---- Attaching and losing visions ---------------------------------------------------------

TEST(VisionAttach, SetVisionMovesTheListAndTellsTheConsumer) {
  TLiteVision a(nullptr), b(nullptr);
  RecordingConsumer c;
  EXPECT_EQ(DefaultVision()->ConsumerCount() > 0, true);
  c.Fields.SetVision(&a);
  EXPECT_EQ(c.Trace, (Names{"VisionChanged"}));
  EXPECT_EQ(c.Vision, &a);
  EXPECT_EQ(c.Fields.Vision(), &a);
  EXPECT_EQ(a.ConsumerCount(), 1);
  c.Fields.SetVision(&b);
  EXPECT_EQ(a.ConsumerCount(), 0);
  EXPECT_EQ(b.ConsumerCount(), 1);
  c.Fields.SetVision(nullptr);
  EXPECT_EQ(c.Vision, nullptr) << "the consumer keeps nil: it uses the default";
  EXPECT_EQ(c.Fields.Vision(), DefaultVision());
  EXPECT_EQ(b.ConsumerCount(), 0);
  // Attaching the same vision twice leaves one entry.
  c.Fields.SetVision(&a);
  c.Fields.SetVision(&a);
  EXPECT_EQ(a.ConsumerCount(), 1);
}

TEST(VisionAttach, ADestroyedVisionLeavesItsConsumersOnTheDefault) {
  RecordingConsumer first, second;
  auto* vision = new TLiteVision(nullptr);
  first.Fields.SetVision(vision);
  second.Fields.SetVision(vision);
  first.Trace.clear();
  vision->Free();
  EXPECT_EQ(first.Fields.Vision(), DefaultVision());
  EXPECT_EQ(second.Fields.Vision(), DefaultVision());
  EXPECT_EQ(first.Trace, (Names{"VisionChanged"}));
  EXPECT_EQ(first.Vision, nullptr);
  // A plain delete as well.
  auto* other = new TMemoVision(nullptr);
  first.Fields.SetVision(other);
  delete other;
  EXPECT_EQ(first.Fields.Vision(), DefaultVision());
}

TEST(VisionAttach, ADestroyedConsumerLeavesTheVisionsList) {
  TLiteVision vision(nullptr);
  {
    RecordingConsumer c;
    c.Fields.SetVision(&vision);
    EXPECT_EQ(vision.ConsumerCount(), 1);
  }
  EXPECT_EQ(vision.ConsumerCount(), 0);
}

// The consumer's component hears when the vision goes (a grid drops its
// columns' reference so).
struct Listener : TComponent {
  using TComponent::TComponent;
  std::vector<TComponent*> removed;
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) removed.push_back(component);
    TComponent::Notification(component, operation);
  }
};

TEST(VisionAttach, TheVisionIsOnTheConsumerComponentsFreeNotificationList) {
  Listener grid(nullptr);
  RecordingConsumer c(&grid);
  auto* vision = new TLiteVision(nullptr);
  c.Fields.SetVision(vision);
  vision->Free();
  ASSERT_EQ(grid.removed.size(), 1u);
  EXPECT_EQ(grid.removed[0], static_cast<TComponent*>(vision));
}

TEST(VisionAttach, AnImageListThatGoesLeavesTheVisionWithoutImages) {
  TLiteVision vision(nullptr);
  RecordingConsumer c;
  c.Fields.SetVision(&vision);
  auto* images = new TImageList(nullptr);
  images->SetWidth(16);
  images->SetHeight(12);
  vision.SetImages(images);
  EXPECT_EQ(vision.ImageWidth(), 16);
  EXPECT_EQ(vision.ImageHeight(), 12);
  c.Trace.clear();
  images->Free();
  EXPECT_EQ(vision.Images(), nullptr);
  EXPECT_EQ(vision.ImageWidth(), 0);
  EXPECT_EQ(c.Trace, (Names{"ImagesChanged"}));
}

// ---- The default vision --------------------------------------------------------------------

TEST(DefaultVisionTest, IsOnePlainTextVisionSharedByEveryConsumerWithoutOne) {
  RecordingConsumer a, b;
  TLiteVision* vision = DefaultVision();
  ASSERT_NE(vision, nullptr);
  EXPECT_EQ(vision->ClassName(), "TLiteVision");
  EXPECT_EQ(a.Fields.Vision(), vision);
  EXPECT_EQ(b.Fields.Vision(), vision);
  EXPECT_FALSE(vision->EnableButton());
  EXPECT_EQ(vision->ButtonStyle(), pbsEllipsis);
  EXPECT_EQ(vision->Alignment(), talDefault);
  EXPECT_TRUE(vision->DrawImages());
  EXPECT_EQ(vision->OptionsSwitch(), TfvSwitchOptions{vsoEditDataSet});
}

TEST(DefaultVisionTest, FreedDefaultsLeaveConsumersToTheNextDefault) {
  RecordingConsumer c;
  c.Trace.clear();
  FreeRsStdDefaults();
  EXPECT_TRUE(c.Trace.empty()) << "no notices while the library shuts down";
  TvpFieldVision* next = c.Fields.Vision();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next, DefaultVision());
  EXPECT_EQ(DefaultVision()->ConsumerCount(), 1);
}

// ---- Published properties -------------------------------------------------------------------

TEST(VisionProperties, DefaultsAsPublishedAndErrors) {
  TLiteVision lite(nullptr);
  TMemoVision memo(nullptr);
  EXPECT_EQ(GetEnumProp(&lite, FindPropInfo(&lite, "ButtonStyle")), "pbsEllipsis");
  EXPECT_TRUE(IsDefaultValue(&lite, FindPropInfo(&lite, "ButtonStyle")));
  EXPECT_TRUE(IsDefaultValue(&lite, FindPropInfo(&lite, "EnableButton")));
  EXPECT_EQ(GetOrdProp(&memo, "EditWordWrap"), 1);
  EXPECT_EQ(GetEnumProp(&memo, FindPropInfo(&memo, "EditScrollBars")), "ssVertical");
  EXPECT_TRUE(IsDefaultValue(&memo, FindPropInfo(&memo, "WantReturns")));
  EXPECT_TRUE(memo.WantTabs());
  EXPECT_TRUE(memo.NativeMultiLine());
  EXPECT_FALSE(lite.NativeMultiLine());
  EXPECT_EQ(GetPropInfo(&memo, "Images"), nullptr) << "the memo vision shows no images";
  SetStrProp(&lite, "Caption", "Прочность");
  EXPECT_EQ(lite.Caption(), "Прочность");

  try {
    lite.SetMaxLength(-1);
    FAIL() << "a negative length was taken";
  } catch (const ERSError& e) {
    EXPECT_STREQ(e.what(), "Value can not be negative (-1)");
  }
  EXPECT_EQ(lite.MaxLength(), 0);
}

TEST(VisionProperties, ButtonGlyphMadeOnReadingAndCustomStyleEvenForNil) {
  TLiteVision vision(nullptr);
  EXPECT_FALSE(vision.HasButtonGlyph());
  EXPECT_TRUE(vision.ButtonGlyph()->Empty());
  EXPECT_TRUE(vision.HasButtonGlyph());
  EXPECT_EQ(vision.ButtonStyle(), pbsEllipsis) << "reading changes no style";
  TBitmap glyph;
  glyph.SetSize(7, 5);
  vision.SetButtonGlyph(&glyph);
  EXPECT_EQ(vision.ButtonGlyph()->Width(), 7);
  EXPECT_EQ(vision.ButtonStyle(), pbsCustom);
  vision.SetButtonStyle(pbsDropDown);
  vision.SetButtonGlyph(nullptr);
  EXPECT_FALSE(vision.HasButtonGlyph());
  EXPECT_EQ(vision.ButtonStyle(), pbsCustom);
}

TEST(VisionProperties, AssignCopiesFromTheSameClassOnly) {
  TLiteVision source(nullptr), target(nullptr);
  source.SetCaption("C");
  source.SetDescription("D");
  source.SetAlignment(talRightJustify);
  source.SetRelatedFields("P");
  source.SetReadOnly(true);
  source.SetTag(7);
  source.SetEditMask("999");
  target.Assign(&source);
  EXPECT_EQ(target.Caption(), "C");
  EXPECT_EQ(target.Description(), "D");
  EXPECT_EQ(target.Alignment(), talRightJustify);
  EXPECT_EQ(target.RelatedFields(), "P");
  EXPECT_TRUE(target.ReadOnly());
  EXPECT_EQ(target.Tag(), 7);
  EXPECT_EQ(target.EditMask(), "") << "not among the copied properties";
  TMemoVision memo(nullptr);
  EXPECT_THROW(memo.Assign(&source), EConvertError);
}

// ---- Images and row height ----------------------------------------------------------------

TEST(VisionImages, SizeAndRowHeightFollowDrawImages) {
  TLiteVision vision(nullptr);
  RecordingConsumer c;
  c.Fields.SetVision(&vision);
  TImageList images(nullptr);
  images.SetWidth(16);
  images.SetHeight(40);
  vision.SetImages(&images);
  TFont font;
  font.SetName("Arial");
  font.SetSize(10);
  TMetafile m;
  TMetafileCanvas measure(m);
  measure.Font().Assign(font);
  const int line = measure.TextHeight("Wg");
  ASSERT_GT(line, 5);
  EXPECT_EQ(vision.GetRowHeight(c.Fields, font, 1, 4), 40) << "the image is taller";
  EXPECT_EQ(vision.GetRowHeight(c.Fields, font, 3, 4), std::max(40, 4 + 3 * line));
  vision.SetDrawImages(false);
  EXPECT_EQ(vision.ImageWidth(), 0);
  EXPECT_EQ(vision.ImageHeight(), 0);
  EXPECT_EQ(vision.GetRowHeight(c.Fields, font, 1, 4), 4 + line) << "the image height is ignored";
  const TvpPaintSource source = c.Fields.PaintSource();
  EXPECT_EQ(source.ImageWidth, 0);
  EXPECT_EQ(source.Fields, &c.Fields);
  // A bigger font, a taller row.
  TFont big = font;
  big.SetSize(20);
  EXPECT_GT(vision.GetRowHeight(c.Fields, big, 1, 4), 4 + line);
}

TEST(VisionImages, AResizedOrRefilledListIsMeasuredAgain) {
  TLiteVision vision(nullptr);
  RecordingConsumer c;
  c.Fields.SetVision(&vision);
  TImageList images(nullptr), other(nullptr);
  vision.SetImages(&images);
  c.Trace.clear();
  images.SetHeight(24);
  EXPECT_EQ(vision.ImageHeight(), 24);
  EXPECT_EQ(c.Trace, (Names{"ImagesChanged"}));
  TBitmap picture;
  picture.SetSize(16, 24);
  images.AddMasked(picture, clNone);
  EXPECT_EQ(c.Trace, (Names{"ImagesChanged", "ImagesChanged"}));
  images.SetHeight(24);
  EXPECT_EQ(c.Trace.size(), 2u) << "the same size is no change";
  // The old list is no longer heard once another is set.
  vision.SetImages(&other);
  c.Trace.clear();
  images.SetWidth(30);
  EXPECT_TRUE(c.Trace.empty());
  EXPECT_EQ(vision.ImageWidth(), 16);
  vision.SetDrawImages(false);
  other.SetHeight(5);
  EXPECT_EQ(vision.ImageHeight(), 0) << "images are not drawn";
  // A list that goes first leaves no link behind.
  {
    TImageList brief(nullptr);
    vision.SetImages(&brief);
  }
  EXPECT_EQ(vision.Images(), nullptr);
  other.SetWidth(8);
}

// ---- Edit rules ----------------------------------------------------------------------------

struct EditFixture {
  EditFixture() {
    ds = MemData();
    source.SetDataSet(ds.get());
    link.ChangeDataSource(&source);
    c.Fields.SetDataLink(&link);
    c.Fields.SetFieldName("NAME");
    c.Fields.SetVision(&vision);
    c.Bind(ds.get());
    c.Trace.clear();
  }
  // The user starts editing through edit and types text over the value.
  void Type(EditStandIn& edit, const AnsiString& text) {
    ASSERT_TRUE(c.Fields.StartEdit(true));
    c.Trace.clear();
    edit.Text = text;
    edit.Value.TextModified = true;
  }

  std::unique_ptr<TMemDataSet> ds;
  TDataSource source{nullptr};
  TDataLink link;
  TLiteVision vision{nullptr};
  RecordingConsumer c;
};

TEST(VisionEdit, CanEditFollowsVisionFieldDataSetAndConsumer) {
  const struct {
    const char* what;
    bool vision_read_only, field_read_only, data_set_read_only, consumer_can_edit, edit_data_set;
    bool can_edit;
  } cases[] = {
      {"everything allows", false, false, false, true, true, true},
      {"vision read-only", true, false, false, true, true, false},
      {"field read-only", false, true, false, true, true, false},
      {"data set read-only", false, false, true, true, true, false},
      {"consumer read-only", false, false, false, false, true, false},
      {"no data set editing: a read-only field may change", false, true, true, true, false, true},
      {"no data set editing, but the vision is read-only", true, false, false, true, false, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    EditFixture f;
    f.vision.SetReadOnly(k.vision_read_only);
    f.ds->FieldNamed("NAME")->SetReadOnly(k.field_read_only);
    f.ds->SetReadOnly(k.data_set_read_only);
    f.c.CanEdit = k.consumer_can_edit;
    if (!k.edit_data_set) f.vision.SetOptionsSwitch({});
    EXPECT_EQ(f.vision.NoDataSetEdit(), !k.edit_data_set);
    EXPECT_EQ(f.c.Fields.CanEdit(), k.can_edit);
  }
}

TEST(VisionEdit, StartEditPutsTheDataSetIntoEditModeThroughTheLink) {
  EditFixture f;
  EXPECT_EQ(f.ds->CurrentMode(), dsBrowse);
  EXPECT_TRUE(f.c.Fields.StartEdit(false));
  EXPECT_EQ(f.ds->CurrentMode(), dsEdit);
  EXPECT_FALSE(f.c.Fields.Modified());
  EXPECT_EQ(f.c.Trace, (Names{"CanStartEdit", "EditStarted"}));
  EXPECT_FALSE(f.c.Fields.InStartEdit());
  f.c.Trace.clear();
  EXPECT_TRUE(f.c.Fields.StartEdit(true));
  EXPECT_TRUE(f.c.Fields.Modified());
  f.c.Trace.clear();
  EXPECT_TRUE(f.c.Fields.StartEdit(false)) << "already modified";
  EXPECT_TRUE(f.c.Trace.empty());
}

TEST(VisionEdit, WithoutDataSetEditingTheDataSetIsNeverTouched) {
  EditFixture f;
  f.vision.SetOptionsSwitch({});
  f.ds->FieldNamed("NAME")->SetReadOnly(true);
  bool allowed = false;
  f.vision.CanModify(f.c.Fields, allowed);
  EXPECT_TRUE(allowed);
  EXPECT_TRUE(f.c.Fields.StartEdit(true));
  EXPECT_EQ(f.ds->CurrentMode(), dsBrowse);
  EXPECT_TRUE(f.c.Fields.Modified());
}

TEST(VisionEdit, StartEditRefusals) {
  const struct {
    const char* what;
    std::function<void(EditFixture&)> setup;
    Names trace;
  } cases[] = {
      {"not active", [](EditFixture& f) { f.c.Fields.SetActive(false); }, {}},
      {"the consumer refuses", [](EditFixture& f) { f.c.CanStart = false; }, {"CanStartEdit"}},
      {"BeforeEdit refuses",
       [](EditFixture& f) {
         f.vision.BeforeEdit = [](TvpFieldVision*, TgpFieldList&, bool& DoEdit) { DoEdit = false; };
       },
       {"CanStartEdit"}},
      {"read-only vision", [](EditFixture& f) { f.vision.SetReadOnly(true); }, {}},
      {"the source does not edit by itself", [](EditFixture& f) { f.source.SetAutoEdit(false); },
       {"CanStartEdit"}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    EditFixture f;
    k.setup(f);
    EXPECT_FALSE(f.c.Fields.StartEdit(true));
    EXPECT_FALSE(f.c.Fields.Modified());
    EXPECT_EQ(f.ds->CurrentMode(), dsBrowse);
    EXPECT_EQ(f.c.Trace, k.trace);
  }
}

TEST(VisionEdit, ValueChangesNestAndOnlyTheOutermostChangedEndPosts) {
  RecordingConsumer c;
  c.Fields.BeginValueChange();
  c.Fields.BeginValueChange();
  c.Fields.EndValueChange(true);
  EXPECT_TRUE(c.Trace.empty());
  c.Fields.EndValueChange(false);
  EXPECT_TRUE(c.Trace.empty());
  c.Fields.BeginValueChange();
  c.Fields.EndValueChange(true);
  EXPECT_EQ(c.Trace, (Names{"ValuePosted"}));
  // An unmatched end does not drive the counter below zero.
  c.Fields.EndValueChange(false);
  EXPECT_EQ(c.Fields.ValueChangeCount(), 0);
  c.Fields.BeginValueChange();
  c.Fields.EndValueChange(true);
  EXPECT_EQ(c.Trace, (Names{"ValuePosted", "ValuePosted"}));
}

// ---- Posting an edited value ----------------------------------------------------------------

TEST(VisionPost, NothingChangedPostsNothing) {
  EditFixture f;
  EditStandIn edit(f.c);
  int before = 0, after = 0;
  f.vision.BeforePost = [&](TvpFieldVision*, TgpFieldList&, TgpFieldValue&, bool&) { ++before; };
  f.vision.AfterPost = [&](TvpFieldVision*, TgpFieldList&) { ++after; };
  f.vision.LoadEditValue(edit);
  EXPECT_EQ(edit.Text, Utf8ToAnsi("Иванов"));
  EXPECT_EQ(edit.Value.DataType(), ftString);
  EXPECT_FALSE(f.vision.PostEditValue(edit, true));
  EXPECT_EQ(before, 0);
  EXPECT_EQ(after, 0);
  EXPECT_EQ(f.ds->CurrentMode(), dsBrowse);
  EXPECT_EQ(edit.Trace, (Names{"CancelPendingInput", "SelectAll"}));
  EXPECT_TRUE(f.c.Trace.empty());
  EXPECT_EQ(f.c.Fields.ValueChangeCount(), 0);
}

TEST(VisionPost, TypedTextIsConvertedAndWritten) {
  EditFixture f;
  EditStandIn edit(f.c);
  f.vision.LoadEditValue(edit);
  f.Type(edit, Utf8ToAnsi("Петров"));
  Names events;
  f.vision.BeforePost = [&](TvpFieldVision*, TgpFieldList&, TgpFieldValue& value, bool&) {
    events.push_back("BeforePost " + AnsiToUtf8(value.AsString()));
  };
  f.vision.AfterPost = [&](TvpFieldVision*, TgpFieldList&) { events.push_back("AfterPost"); };
  EXPECT_TRUE(f.vision.PostEditValue(edit, false));
  EXPECT_EQ(events, (Names{"BeforePost Петров", "AfterPost"}));
  EXPECT_EQ(f.ds->FieldNamed("NAME")->GetStringValue(), Utf8ToAnsi("Петров"));
  EXPECT_FALSE(f.c.Fields.Modified());
  EXPECT_EQ(f.c.Trace, (Names{"ValuePosted"}));
  f.ds->CommitRecord();
  f.ds->GoFirst();
  EXPECT_EQ(f.ds->FieldNamed("NAME")->GetStringValue(), Utf8ToAnsi("Петров"));
}

TEST(VisionPost, AChangedValueStartsEditingAndIsCopied) {
  EditFixture f;
  f.c.Fields.SetFieldName("P");
  f.c.Bind(f.ds.get());
  EditStandIn edit(f.c);
  edit.Value.SetDataType(ftFloat);
  edit.Value.SetAsFloat(7.75);
  edit.Value.Changed = true;
  EXPECT_TRUE(f.vision.PostEditValue(edit, false));
  EXPECT_EQ(f.ds->CurrentMode(), dsEdit);
  EXPECT_DOUBLE_EQ(f.ds->FieldNamed("P")->GetFloatValue(), 7.75);
  EXPECT_EQ(f.c.Trace, (Names{"CanStartEdit", "EditStarted", "ValuePosted"}));
}

TEST(VisionPost, AClearedValueWritesNull) {
  EditFixture f;
  EditStandIn edit(f.c);
  edit.Value.SetDataType(ftString);
  edit.Value.Changed = true;  // cleared by the clipboard, say
  ASSERT_TRUE(edit.Value.IsNull());
  EXPECT_TRUE(f.vision.PostEditValue(edit, false));
  EXPECT_TRUE(f.ds->FieldNamed("NAME")->HoldsNull());
}

TEST(VisionPost, BeforePostThatPostsItselfSkipsTheWriteButNotAfterPost) {
  EditFixture f;
  EditStandIn edit(f.c);
  f.Type(edit, "Z");
  bool after = false;
  f.vision.BeforePost = [](TvpFieldVision*, TgpFieldList&, TgpFieldValue&, bool& Posted) { Posted = true; };
  f.vision.AfterPost = [&](TvpFieldVision*, TgpFieldList&) { after = true; };
  EXPECT_TRUE(f.vision.PostEditValue(edit, false));
  EXPECT_TRUE(after);
  EXPECT_EQ(f.ds->FieldNamed("NAME")->GetStringValue(), Utf8ToAnsi("Иванов"));
  EXPECT_EQ(f.c.Trace, (Names{"ValuePosted"}));
}

TEST(VisionPost, TextFailingTheMaskIsRefusedAndStaysModified) {
  EditFixture f;
  EditStandIn edit(f.c);
  f.Type(edit, "12");
  edit.HasMask = true;
  edit.MaskAccepts = false;
  try {
    f.vision.PostEditValue(edit, true);
    FAIL() << "the text passed";
  } catch (const ERSError& e) {
    EXPECT_STREQ(e.what(), "Invalid input text");
  }
  EXPECT_TRUE(f.c.Fields.Modified());
  EXPECT_EQ(f.c.Fields.ValueChangeCount(), 0);
  EXPECT_TRUE(f.c.Trace.empty()) << "no ValuePosted after a failure";
  EXPECT_EQ(edit.Trace, (Names{"CancelPendingInput", "SelectAll"}));
  EXPECT_EQ(f.ds->FieldNamed("NAME")->GetStringValue(), Utf8ToAnsi("Иванов"));
}

// A vision whose text conversion refuses some texts.
struct StrictVision : TLiteVision {
  using TLiteVision::TLiteVision;
  void TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool& Skip) override {
    if (Edit.EditText() == "bad") throw ERSError("bad text");
    TLiteVision::TextToValue(Edit, Value, Skip);
  }
};

TEST(VisionPost, ConversionAndHandlerErrorsLeaveWithTheCounterRestored) {
  for (bool in_handler : {false, true}) {
    SCOPED_TRACE(in_handler ? "BeforePost raises" : "TextToValue raises");
    EditFixture f;
    StrictVision strict(nullptr);
    f.c.Fields.SetVision(&strict);
    if (in_handler)
      strict.BeforePost = [](TvpFieldVision*, TgpFieldList&, TgpFieldValue&, bool&) {
        throw EDatabaseError("refused");
      };
    EditStandIn edit(f.c);
    f.Type(edit, in_handler ? "fine" : "bad");
    EXPECT_ANY_THROW(strict.PostEditValue(edit, false));
    EXPECT_EQ(f.c.Fields.ValueChangeCount(), 0);
    EXPECT_TRUE(f.c.Fields.Modified());
    EXPECT_TRUE(f.c.Trace.empty());
  }
}

// ---- Sub-button clicks ---------------------------------------------------------------------

TEST(VisionButton, ClickKindsAndTheDropDownToggle) {
  const struct {
    const char* what;
    TvpButtonStyle style;
    bool drop_down;
    TfvButtonClickKind kind;
    TfvButtonClickKind seen;
    Names edit_trace;
  } cases[] = {
      {"ellipsis click", pbsEllipsis, false, bckClick, bckClick, {}},
      {"spin down", pbsSpin, false, bckSpinDown, bckSpinDown, {}},
      {"drop-down without tool form", pbsDropDown, false, bckClick, bckClick, {}},
      {"drop-down with tool form", pbsDropDown, true, bckClick, bckDropDown, {"ToggleDropDown"}},
      {"keyboard toggle posts", pbsDropDown, true, bckKeyToggle, bckDropDown, {"ToggleDropDown(post)"}},
      {"a tool form on an ellipsis button is not dropped", pbsEllipsis, true, bckClick, bckClick, {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    TLiteVision vision(nullptr);
    RecordingConsumer c;
    c.Fields.SetVision(&vision);
    EditStandIn edit(c);
    vision.SetButtonStyle(k.style);
    vision.SetEnableDropDown(k.drop_down);
    TfvButtonClickKind seen = bckNone;
    TgpFieldList* fields = nullptr;
    vision.OnButtonClick = [&](TvpFieldVision* v, TgpFieldList& f) {
      seen = v->ButtonClickKind();
      fields = &f;
    };
    vision.DoButtonClick(edit, k.kind);
    EXPECT_EQ(seen, k.seen);
    EXPECT_EQ(fields, &c.Fields);
    EXPECT_EQ(edit.Trace, k.edit_trace);
    EXPECT_EQ(vision.ButtonClickKind(), bckNone);
  }
}

TEST(VisionButton, TheClickKindIsClearedWhenAHandlerRaises) {
  TLiteVision vision(nullptr);
  RecordingConsumer c;
  EditStandIn edit(c);
  vision.OnButtonClick = [](TvpFieldVision*, TgpFieldList&) { throw ERSError("no"); };
  EXPECT_THROW(vision.DoButtonClick(edit, bckClick), ERSError);
  EXPECT_EQ(vision.ButtonClickKind(), bckNone);
}

}  // namespace

}  // namespace vision_base_test
