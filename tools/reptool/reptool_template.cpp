// reptool template new|dump|copy|xml: makes a one-page list template, lists what a
// template holds, copies a template through the stream reader and writer, and
// writes it as XML (reptool_xml.cpp).
//
//   template new OUT.frf --title TEXT --heads "H1;H2;..." --fields "F1;F2;..." [--source NAME]
//   template dump FILE.frf
//   template copy IN.frf OUT.frf
//   template xml IN.frf OUT.xml
//
// Texts on the command line and in the dump are UTF-8; templates hold 1251.
// The dump has one line per page, band and object:
//   kind <TAB> name <TAB> left top width height (page pixels) <TAB> text
// A page's position is 0 0 and its size is the paper's; a band's text is its
// type name, followed by " on " and its record source when it has one; an object's text
// is its lines joined by "\n".
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "report/fr_class.h"
#include "report/fr_globals.h"
#include "report/fr_host.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_tmpl.h"
#include "report/fr_utils.h"
#include "report/fr_views.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "tools/reptool/reptool.h"

namespace {

constexpr const char* kDefaultSource = "frDBDataSet1";
constexpr const char* kPageFooterText = "Стр. [PAGE#] из [TOTALPAGES]";

// The list's layout in page pixels.
constexpr int kLeft = 20;
constexpr int kTitleTop = 20, kTitleHeight = 40;
constexpr int kHeaderTop = 80, kHeaderHeight = 24;
constexpr int kDataTop = 124, kDataHeight = 20;
constexpr int kFooterHeight = 24;
// A text object sits inside its band with this margin at the top.
constexpr int kInset = 2;

int TemplateUsage() {
  std::fprintf(stderr,
               "usage: reptool template new OUT.frf --title TEXT --heads \"H1;H2;...\" --fields \"F1;F2;...\" "
               "[--source NAME]\n"
               "       reptool template dump FILE.frf\n"
               "       reptool template copy IN.frf OUT.frf\n"
               "       reptool template xml IN.frf OUT.xml\n");
  return 2;
}

std::unique_ptr<TfrView> Make(uint8_t type_code) {
  std::unique_ptr<TfrView> view = CreateViewByType(type_code, "");
  if (!view) throw Exception(Format("Object type %d is not available", {static_cast<int>(type_code)}));
  return view;
}

void AddBand(TfrPage& page, int band_type, int top, int height, int width, const AnsiString& source = {}) {
  std::unique_ptr<TfrView> band = Make(gtBand);
  band->FrameTyp = static_cast<uint16_t>(band_type);
  band->FormatText = source;
  band->SetBounds(0, top, width, height);
  band->CreateUniqueName();
  page.Objects.push_back(std::move(band));
}

void AddMemo(TfrPage& page, int left, int top, int width, int height, const AnsiString& text, bool framed) {
  std::unique_ptr<TfrView> memo = Make(gtMemo);
  memo->SetBounds(left, top, width, height);
  memo->Memo.Add(text);
  if (framed) memo->FrameTyp = frbLeft | frbTop | frbRight | frbBottom;
  memo->CreateUniqueName();
  page.Objects.push_back(std::move(memo));
}

// Names of new objects are unique within the template being made.
class TemplateHost : public TfrEngineHost {
 public:
  explicit TemplateHost(TfrTemplate& t) : t_(t) {}
  TfrView* FindObject(const AnsiString& name) override {
    for (int i = 0; i < t_.Pages.Count(); ++i)
      for (const auto& view : t_.Pages.Pages(i)->Objects)
        if (AnsiSameText(view->Name, name)) return view.get();
    return nullptr;
  }

 private:
  TfrTemplate& t_;
};

int New(const std::vector<std::string>& args) {
  if (args.empty()) return TemplateUsage();
  const std::string out = args[0];
  std::string title, heads, fields, source = kDefaultSource;
  bool have_heads = false, have_fields = false;
  for (size_t i = 1; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return TemplateUsage();
    const std::string& key = args[i];
    const std::string& value = args[i + 1];
    if (key == "--title") {
      title = value;
    } else if (key == "--heads") {
      heads = value;
      have_heads = true;
    } else if (key == "--fields") {
      fields = value;
      have_fields = true;
    } else if (key == "--source") {
      source = value;
    } else {
      return TemplateUsage();
    }
  }
  if (!have_heads || !have_fields) return TemplateUsage();
  TStringList head_list, field_list;
  SplitList(Utf8ToAnsi(heads), head_list);
  SplitList(Utf8ToAnsi(fields), field_list);
  if (head_list.Count() == 0 || head_list.Count() != field_list.Count()) {
    std::fprintf(stderr, "reptool: give as many heads as fields, at least one\n");
    return 2;
  }
  if (source.empty()) {
    std::fprintf(stderr, "reptool: the source name is empty\n");
    return 2;
  }

  TfrTemplate t;
  TemplateHost host(t);
  TfrBuildScope making(nullptr, host);
  TfrPage& page = *t.Pages.Add();
  const int page_width = page.Metrics.PageWidth;
  const int page_height = page.Metrics.PageHeight;
  const int list_width = page_width - 2 * kLeft;
  const int columns = head_list.Count();
  const int column_width = list_width / columns;
  const AnsiString source_name = Utf8ToAnsi(source);

  AddBand(page, btReportTitle, kTitleTop, kTitleHeight, page_width);
  AddMemo(page, kLeft, kTitleTop + kInset, list_width, kTitleHeight - 2 * kInset, Utf8ToAnsi(title), false);
  AddBand(page, btPageHeader, kHeaderTop, kHeaderHeight, page_width);
  for (int i = 0; i < columns; ++i)
    AddMemo(page, kLeft + i * column_width, kHeaderTop, column_width, kHeaderHeight, head_list.Strings(i), true);
  AddBand(page, btMasterData, kDataTop, kDataHeight, page_width, source_name);
  for (int i = 0; i < columns; ++i)
    AddMemo(page, kLeft + i * column_width, kDataTop, column_width, kDataHeight,
            '[' + source_name + ".\"" + field_list.Strings(i) + "\"]", true);
  const int footer_top = page_height - kFooterHeight - 2 * kLeft;
  AddBand(page, btPageFooter, footer_top, kFooterHeight, page_width);
  AddMemo(page, kLeft, footer_top + kInset, list_width, kFooterHeight - 2 * kInset, Utf8ToAnsi(kPageFooterText),
          false);
  t.SaveToFile(out);
  return 0;
}

std::string Escaped(const TStrings& lines) {
  std::string text;
  for (int i = 0; i < lines.Count(); ++i) {
    if (i > 0) text += "\\n";
    text += AnsiToUtf8(lines.Strings(i));
  }
  return text;
}

const char* KindName(const TfrView& view) {
  switch (view.TypeCode) {
    case gtMemo: return "memo";
    case gtPicture: return "picture";
    case gtBand: return "band";
    case gtSubReport: return "subreport";
    case gtLine: return "line";
    default: return view.ClassName();
  }
}

int Dump(const std::vector<std::string>& args) {
  if (args.size() != 1) return TemplateUsage();
  TfrTemplate t;
  t.LoadFromFile(args[0], [](const AnsiString&) { return false; });
  for (int i = 0; i < t.Pages.Count(); ++i) {
    TfrPage& page = *t.Pages.Pages(i);
    std::printf("page\t%s\t0 0 %d %d\t\n", AnsiToUtf8(page.Name).c_str(), page.Metrics.PageWidth,
                page.Metrics.PageHeight);
    for (const auto& view : page.Objects) {
      std::string text;
      if (view->TypeCode == gtBand) {
        text = AnsiToUtf8(BandTypeName(view->FrameTyp));
        if (text.empty()) text = "type " + std::to_string(view->FrameTyp);
        if (!view->FormatText.empty()) text += " on " + AnsiToUtf8(view->FormatText);
      } else {
        text = Escaped(view->Memo);
      }
      std::printf("%s\t%s\t%d %d %d %d\t%s\n", KindName(*view), AnsiToUtf8(view->Name).c_str(), view->Left,
                  view->Top, view->Width, view->Height, text.c_str());
    }
  }
  return 0;
}

int Copy(const std::vector<std::string>& args) {
  if (args.size() != 2) return TemplateUsage();
  TfrTemplate t;
  t.LoadFromFile(args[0], [](const AnsiString&) { return false; });
  // A copy keeps the template's own last-change date, so an unchanged
  // template copies to the same bytes.
  const double last_change = t.Info.LastChange;
  SetNowSource([last_change] { return last_change; });
  t.SaveToFile(args[1]);
  SetNowSource({});
  return 0;
}

}  // namespace

int TemplateCommand(const std::vector<std::string>& args) {
  if (args.empty()) return TemplateUsage();
  // The library's start-up: its texts (band names, the virtual printer) and views.
  frGlobals();
  RegisterStandardViews();
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (args[0] == "new") return New(rest);
    if (args[0] == "dump") return Dump(rest);
    if (args[0] == "copy") return Copy(rest);
    if (args[0] == "xml") return TemplateXmlCommand(rest);
  } catch (const Exception& e) {
    std::fprintf(stderr, "reptool: %s\n", AnsiToUtf8(e.Message()).c_str());
    return 1;
  }
  return TemplateUsage();
}
