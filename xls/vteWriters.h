// Writers of the workbook model. TvteExcelWriter saves a workbook as a BIFF8
// file (the record layout is described in BIFF8_Types.h).
//
// A save checks the whole model first (bounds a file can hold, texts a cell
// can hold, sheet names, formulas), then builds the "Workbook" stream in
// memory and only then creates the file, through the compound file of
// toolkit/sys, which puts the file in place whole or not at all. So a model
// the format cannot hold raises the writer's error and leaves no file, and a
// failed save leaves an existing file of the same name untouched.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/core/exceptions.h"
#include "xls/vteExcel.h"
#include "xls/vteExcelFormula.h"

// The abstract writer.
class TvteCustomWriter {
 public:
  virtual ~TvteCustomWriter();
  // Saves the workbook as the file (a UTF-8 path); does nothing here.
  virtual void Save(TvteXLSWorkbook& workbook, const std::string& file_name);
};

// A failure of the file: the message names it and the system's reason;
// Code() is the system's error number, for a caller that tells the user why
// in words of its own.
template <class Base>
class TvteFileFailure : public Base {
 public:
  TvteFileFailure(AnsiString message, int code) : Base(std::move(message)), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// The file could not be made.
class EvteCreateFileError : public TvteFileFailure<Exception> {
 public:
  using TvteFileFailure::TvteFileFailure;
  const char* ClassName() const override { return "EvteCreateFileError"; }
};

// The file's bytes could not be written (a full disk, a quota).
class EvteWriteFileError : public TvteFileFailure<EWriteError> {
 public:
  using TvteFileFailure::TvteFileFailure;
  const char* ClassName() const override { return "EvteWriteFileError"; }
};

// Saves workbooks as BIFF8 files. A writer can save several workbooks one
// after the other; it never takes ownership of them.
class TvteExcelWriter : public TvteCustomWriter {
 public:
  TvteExcelWriter();
  ~TvteExcelWriter() override;

  // Saves the workbook as an OLE compound file holding the stream
  // "Workbook"; an existing file is replaced, and stays as it was when the
  // save fails. Raises EvteCreateFileError when the file or its stream
  // cannot be made, EvteWriteFileError when its bytes cannot be written, and
  // the writer's and the formula compiler's errors for a model a file cannot
  // hold.
  void Save(TvteXLSWorkbook& workbook, const std::string& file_name) override;

  // Writes the workbook's "Workbook" stream at the stream's position.
  void WriteWorkbook(TvteXLSWorkbook& workbook, TStream& stream);

 private:
  // Implementation details follow.
  struct Output;
  struct SheetRanges;
  // A picture's place on its sheet and its palette indexes, during one save.
  struct PictureData {
    const TvteImage* image = nullptr;
    // Left column, offset, top row, offset, right column, offset, bottom row, offset.
    std::array<int, 8> anchor{};
    int line_color = 0;
    int fill_fore_color = 0;
    int fill_back_color = 0;
  };

  std::string BuildWorkbook(TvteXLSWorkbook& workbook, int64_t base);
  void Prepare(TvteXLSWorkbook& workbook);
  void CheckWorkbook();
  void CompileFormulas();
  void CollectFonts();
  void CollectFormats();
  void CollectXFs();
  void BuildXF(const TvteXLSRange& range, const TvteCellData& data, std::string& xf);
  int GetColorIndex(TColor color);
  void WriteGlobals(Output& out, TvteXLSWorkbook& workbook);
  void WriteFontRecord(Output& out, size_t font_index);
  void WriteFormatRecord(Output& out, const AnsiString& text, int number);
  void WriteExternalRefs(Output& out, TvteXLSWorkbook& workbook);
  void WriteSST(Output& out);
  // The used rows of a sheet: first and last (none: 0 and -1) and the row
  // blocks they make.
  struct SheetRows {
    bool used = false;
    int first = 0;
    int last = -1;
    int blocks = 0;
  };
  static SheetRows RowsOf(const TvteXLSWorksheet& sheet);
  void WriteSheet(Output& out, const SheetRanges& sheet, bool first_sheet);
  // The steps of WriteSheet, in order.
  size_t WriteSheetStart(Output& out, const SheetRows& rows);
  void WriteSheetSettings(Output& out, const TvteXLSWorksheet& sheet);
  void WritePageSetup(Output& out, const TvteXLSPageSetup& page_setup);
  void WriteColumns(Output& out, const TvteXLSWorksheet& sheet, const SheetRows& rows);
  void WriteRowBlocks(Output& out, const TvteXLSWorksheet& sheet, const SheetRows& rows, size_t index_positions);
  void WriteSheetView(Output& out, bool first_sheet);
  void WriteMergedCells(Output& out, const TvteXLSWorksheet& sheet);
  void WriteRangeCells(std::string& buffer, const TvteXLSRange& range, int row);
  void CheckPictures(const SheetRanges& sheet);
  void CollectPictureColors();
  void WritePictures(Output& out, const SheetRanges& sheet);
  void FinishSave();

  TvteExcelFormulaCompiler compiler_;
  // The colours asked for during this save, each once.
  std::vector<TColor> used_colors_;
  // The working palette (indexes 8 to 63) and whether an entry was replaced.
  std::array<TColor, 56> palette_{};
  bool palette_changed_ = false;

  // Per save: the ranges of every sheet, their cell data and texts.
  std::vector<SheetRanges> sheets_;
  // The pictures of every sheet in sheet order.
  std::vector<PictureData> pictures_;
  std::vector<TvteCellData> cells_;
  // The texts of the shared string table in its order, one for each text
  // cell that has one, one after another (sst_ends_: where each ends), and
  // the formulas' tokens.
  std::string sst_text_;
  std::vector<size_t> sst_ends_;
  std::vector<std::string> formulas_;
  int sst_count_ = 0;
  std::vector<TvteXLSFont> fonts_;
  std::vector<int> font_colors_;
  std::vector<std::pair<AnsiString, int>> formats_;
  std::unordered_map<AnsiString, int> format_cache_;
  std::vector<std::string> xfs_;
  std::unordered_map<std::string, int> xf_index_;
};
