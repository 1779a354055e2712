// The report library's process-wide objects, shared by every report: the
// single expression parser and script interpreter, the run-time variables and
// named constants, the function libraries, the texts loaded at start-up,
// scratch drawing objects and the hidden form of dialog pages.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "report/FR_Pars.h"
#include "report/fr_class.h"
#include "toolkit/core/classes.h"

class TBitmap;
class TForm;
class TInterpretator;
class TfrCompressor;
class TfrProgressForm;
class TDatabaseFunctionLibrary;

class TfrGlobals {
 public:
  // Makes everything in this order: the texts, the scratch list and bitmaps,
  // the function catalogue and libraries, the parser and interpreter, the
  // variable lists with the named constants, the compressor and the build list.
  TfrGlobals();
  // Frees what it made; the function libraries are unregistered (with their
  // descriptions) and the library's locale object is freed.
  ~TfrGlobals();
  TfrGlobals(const TfrGlobals&) = delete;
  TfrGlobals& operator=(const TfrGlobals&) = delete;

  // Where LoadReportString reads from in place of the library's locale
  // object while set.
  std::function<AnsiString(int id)> StringSource;
  // The engine's mode, object numbering and missing classes (frEngine).
  TfrEngineState Engine;

  // The character set of new text objects (text 55337).
  int DefaultCharset = 0;
  // Names of the band types 0 to 22 (texts 55077 to 55099).
  std::array<AnsiString, 23> BandTypeNames;
  // Display formats (texts 55170-55173, 55175-55178, 55179-55182).
  std::array<AnsiString, 4> BooleanFormats;
  std::array<AnsiString, 4> DateFormats;
  std::array<AnsiString, 4> TimeFormats;

  TStringList ScratchList;
  // 8 x 8: white where x + y is even, silver elsewhere.
  std::unique_ptr<TBitmap> CheckerBitmap;
  // 8 x 8, blank; its canvas measures text.
  std::unique_ptr<TBitmap> MeasureBitmap;

  // The made database library object (the registry holds its own instance).
  std::unique_ptr<TDatabaseFunctionLibrary> DatabaseLibrary;
  // The report's parser; the report component sets its callbacks.
  std::unique_ptr<TfrParser> ReportParser;
  std::unique_ptr<TInterpretator> ReportInterpreter;
  // Both kept sorted by name.
  TfrVariables RuntimeVariables;
  TfrVariables NamedConstants;
  std::unique_ptr<TfrCompressor> Compressor;
  // Used by the page build.
  std::vector<void*> BuildList;

  // The hidden plain form "DialogForm" at (-100, -100), 10 x 10, on which the
  // controls of dialog pages are made. Made on first use, so that reports
  // without dialog pages need no windows.
  TForm* DialogForm();
  // The component of that name on the hidden form; nullptr while there is
  // no form (and so no components).
  TComponent* FindDialogComponent(const AnsiString& name) const;
  // The one progress window of the process, shared by every report: kept
  // above the program's other windows. Made on first use, as the dialog
  // form; FreeProgressWindow frees it early (the next use makes it anew).
  TfrProgressForm* ProgressForm();
  void FreeProgressWindow();

 private:
  void LoadGlobalTexts();
  void FillNamedConstants();
  std::unique_ptr<TForm> dialog_form_;
  std::unique_ptr<TfrProgressForm> progress_form_;
};

// The globals, made on first use (the report core's start-up).
TfrGlobals& frGlobals();
// The globals when they are made, else nullptr.
TfrGlobals* frGlobalsIfMade();
// Frees the globals (the report core's shut-down); the next frGlobals makes them anew.
void FreeGlobals();
