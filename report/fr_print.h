// The output side of a report: page lists, the print job with copies,
// collation, odd or even pages and paper changes between pages (the
// TfrReport operations are in fr_print.cpp), and export filters, the plug-ins
// that hand the built pages to other file formats (none exists in this system).
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/gfx/graphics.h"

class TfrView;

// The pages a page list selects.
struct TfrPageSelection {
  // An empty list selects every page.
  bool All = true;
  // Page numbers from 1 to the page count.
  std::set<int> Pages;
  bool Contains(int page_number) const { return All || Pages.count(page_number) != 0; }
};

// Reads a page list such as "1,3,5-7" or "8-" (to the last page); blanks are
// ignored. A reversed range ("5-3") selects nothing; pages beyond the count
// are left out, so a range never runs further than the report. Characters
// other than digits, "-" and ",", an empty number ("1,,3") and a number too
// large raise EConvertError.
TfrPageSelection ParsePageList(const AnsiString& text, int page_count);

// Prints through a PDF printer in place of the process's printers: `print`
// runs with it installed, and its jobs are written as `pdf_file` and, when the
// paper changes between pages, as "name-2.pdf", "name-3.pdf", ... Afterwards
// the process's printers are found anew. Returns the files written (UTF-8).
std::vector<std::string> PrintToPdfFiles(const std::string& pdf_file, const std::function<void()>& print);

// An export filter: the report calls its operations in this order.
class TfrExportFilter {
 public:
  virtual ~TfrExportFilter();
  // The filter's own settings dialog; mrOk goes on.
  virtual int ShowModal();
  virtual void OnBeginDoc() {}
  virtual void OnEndDoc() {}
  virtual void OnBeginPage() {}
  virtual void OnEndPage() {}
  // Every object of a page at its place (page pixels).
  virtual void OnData(int /*x*/, int /*y*/, TfrView* /*view*/) {}
  // One shown line of a text object: the object's paint rectangle, where the
  // line starts, the line and the frame edges it carries.
  virtual void OnText(const TRect& /*paint_rect*/, int /*x*/, int /*y*/, const AnsiString& /*line*/,
                      TfrView* /*view*/, uint16_t /*frame*/) {}

  // The file being written (UTF-8) and its stream while the export runs.
  std::string FileName;
  TStream* Stream = nullptr;
  // May veto the export by clearing `go_on`.
  std::function<void(const std::string& file_name, bool& go_on)> OnBeforeExport;
  std::function<void(const std::string& file_name)> OnAfterExport;
  // Offered first in the preview's save dialog.
  bool Default = false;
};

// One registered filter: the filter, its description and its file mask ("*.ext").
struct TfrExportFilterInfo {
  TfrExportFilter* Filter = nullptr;
  AnsiString Description;
  AnsiString Mask;
};

// The filters registered with the library, in registration order.
const std::vector<TfrExportFilterInfo>& frExportFilters();
// Registers a filter (not owned); a filter registered again is not added twice.
void frRegisterExportFilter(TfrExportFilter* filter, const AnsiString& description, const AnsiString& mask);
void frUnregisterExportFilter(TfrExportFilter* filter);
