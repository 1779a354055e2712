// reptool preview FILE.frp --png OUT.png [--page N] [--zoom PERCENT]: the
// preview window on a prepared report, painted offscreen into a picture.
// reptool find FILE.frp TEXT: the numbers of the pages whose texts hold TEXT
// (ignoring case), one a line.
#include <QApplication>
#include <QImage>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_preview.h"
#include "report/fr_report.h"
#include "report/fr_views.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/forms.h"
#include "tools/reptool/reptool.h"

namespace {

constexpr const char* kPreviewUsage = "usage: reptool preview FILE.frp --png OUT.png [--page N] [--zoom PERCENT]\n";
constexpr const char* kFindUsage = "usage: reptool find FILE.frp TEXT\n";

// The window's size on the offscreen screen.
constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 768;

// A whole positive number, or -1.
int PositiveNumber(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 1 || value > 100000) return -1;
  return static_cast<int>(value);
}

// The report with the file's pages; the screen is the offscreen one and
// message boxes go to stderr.
class PreviewSession {
 public:
  explicit PreviewSession(const std::string& file) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Application->Initialize();
    SetDialogService(&dialogs_);
    RegisterStandardViews();
    frGlobals();
    report_.ModalPreview = false;
    report_.LoadBuiltPages(file);
  }
  ~PreviewSession() { SetDialogService(nullptr); }
  TfrReport& Report() { return report_; }

 private:
  ConsoleDialogs dialogs_;
  TfrReport report_{nullptr};
};

}  // namespace

int PreviewCommand(const ReptoolArgs& args) {
  std::string file, png;
  int page = 1, zoom = 100;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--png" && has_value) {
      png = args[++i];
    } else if (a == "--page" && has_value) {
      page = PositiveNumber(args[++i]);
    } else if (a == "--zoom" && has_value) {
      zoom = PositiveNumber(args[++i]);
    } else if (file.empty() && !a.empty() && a[0] != '-') {
      file = a;
    } else {
      std::fprintf(stderr, "%s", kPreviewUsage);
      return 2;
    }
  }
  if (file.empty() || png.empty() || page < 1 || zoom < 1 || zoom > 1000) {
    std::fprintf(stderr, "%s", kPreviewUsage);
    return 2;
  }
  PreviewSession session(file);
  const int count = session.Report().EMFPages()->Count();
  if (count == 0) {
    std::fprintf(stderr, "reptool: %s holds no pages\n", file.c_str());
    return 1;
  }
  if (page > count) {
    std::fprintf(stderr, "reptool: page %d of %d pages\n", page, count);
    return 1;
  }
  frLastZoom() = TfrLastZoom{zoom / 100.0, kZoomFactor};
  auto* form = new TfrPreviewForm(nullptr);
  form->SetWindowState(wsNormal);
  form->SetBounds(0, 0, kWindowWidth, kWindowHeight);
  form->ShowPages(&session.Report());
  form->SetCurrentPage(page);
  form->ScrollToPage();
  QApplication::processEvents();
  const QImage image = form->Widget()->grab().toImage();
  delete form;
  if (!image.save(QString::fromStdString(png), "PNG")) {
    std::fprintf(stderr, "reptool: cannot write %s\n", png.c_str());
    return 1;
  }
  std::printf("pages=%d page=%d zoom=%d\n", count, page, zoom);
  return 0;
}

int FindCommand(const ReptoolArgs& args) {
  if (args.size() != 2 || args[1].empty()) {
    std::fprintf(stderr, "%s", kFindUsage);
    return 2;
  }
  PreviewSession session(args[0]);
  TfrEMFPages& pages = *session.Report().EMFPages();
  const AnsiString text = AnsiUpperCase(Utf8ToAnsi(args[1]));
  for (int i = 0; i < pages.Count(); ++i)
    if (FindTextOnPage(pages, i, text, false, 0)) std::printf("%d\n", i + 1);
  return 0;
}
