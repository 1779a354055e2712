// Process-wide routines of the report library: turning the names written in
// templates and expressions into components, data sets, fields, record
// sources and objects; the registry of function libraries; the expression
// error text; the library's numbered texts; ";"-separated lists.
//
// Templates name a table field as [Dbf1."SERIAL"]: the data-set component's
// name, a dot, and the field name in double quotes.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "report/fr_class.h"
#include "toolkit/core/sysutils.h"

class TComponent;
class TDataSet;
class TField;
class TfrDataset;
class TfrFunctionLibrary;
class TControl;
class TWinControl;
class TForm;

// ---- Name resolution ---------------------------------------------------------

// The component that owns the running report (the application's main form,
// TfrBuildContext::ReportOwner); nullptr when no work runs. Name lookups
// without a top-level part start here.
TComponent* frReportOwner();
// Where top-level names are looked up (the application object); nullptr: the
// toolkit's Application.
TComponent*& frTopLevelOwner();

// A name without a dot among the components of owner; "A.B" the component B
// of top-level A; "A.B.C" component C of B of top-level A. An exception while
// looking raises EClassNotFound "Missing " + name.
TComponent* FindComponentByPath(TComponent* owner, const AnsiString& name);
// The text between the double quotes when it is longer than 2 and quoted at both ends.
AnsiString UnquoteName(const AnsiString& text);
// `name` when the data set lists a field of that name (ignoring case), else empty.
AnsiString ValidFieldName(TDataSet* data_set, const AnsiString& name);
// Splits Dbf1."SERIAL" (or Form.Dbf1."F", Module.Form.Dbf1."F") into a data set
// and a field name; a reference without a dot keeps the data set passed in.
void ResolveDataSetAndField(const AnsiString& reference, TDataSet*& data_set, AnsiString& field);
// A digit 1-9 first: a new count record source of that many records (created
// true, the caller owns it); otherwise the TfrDataset component of that name
// (another class raises EInvalidCast). A found source is opened.
void ResolveBandDataSource(const AnsiString& text, TfrDataset*& source, bool& created);
// The object and property an expression's "Obj.Prop", "PAGE2.Prop" or
// "Font.Size" names, starting from the current object.
void ResolveObjectPath(const AnsiString& text, TfrObject*& object, AnsiString& property);

// ---- Data access ---------------------------------------------------------------

// The record source of the report and, for the band being printed, of its data
// band (the running build host's DefaultDataSet).
TDataSet* GetDefaultDataSet();
// A field's value as a report sees it: display text for text-formatted and
// large-integer fields; Null becomes "" (strings), false (booleans) or 0.
Variant GetFieldValue(TField* field);
// FIELDISNULL: true without a data set; "Field '%s' not found" for an unknown field.
bool FieldIsNull(const AnsiString& reference);

// ---- Numbers ----------------------------------------------------------------------

// A measure in whole pixels, rounded half to even.
inline int frRound(double value) { return static_cast<int>(PasRound(value)); }
// The bytes from the stream's position to its end.
inline int64_t BytesLeft(TStream& stream) { return stream.Size() - stream.Position(); }

// ---- Texts and lists ---------------------------------------------------------------

// The library text with that number from the library's locale object (or
// the report globals' StringSource when one is set); empty when the texts
// lack it.
AnsiString LoadReportString(int id);
// The item from `pos` (0-based) up to the next ";"; pos moves past that ";".
AnsiString NextListItem(std::string_view text, size_t& pos);
// Each byte as two upper-case hexadecimal digits, high half first.
AnsiString PasswordToHex(std::string_view text);
// Every pair of digits one byte; a trailing odd digit is ignored.
AnsiString HexToPassword(std::string_view text);
// The items of a ";" list; "a;;b" has an empty middle item, ";a" an empty
// first one, "a;" no empty last one.
void SplitList(std::string_view text, TStrings& list);

// ---- Error text -------------------------------------------------------------------

// Sets the running build's error flag and text for an exception of an expression:
// the object's lines, the report's and the object's names, the message.
// `report_name` is the running report component's name; `terminate` marks the
// outermost running report terminated.
void BuildExpressionErrorText(const std::exception& error, const AnsiString& report_name,
                              const std::function<void()>& terminate = {});

// ---- Function-library registry ------------------------------------------------------

inline constexpr int kMaxFunctionLibraries = 64;
// Shared, so that the registry frees a library with the deleter of the unit
// that made it.
using TfrFunctionLibraryFactory = std::function<std::shared_ptr<TfrFunctionLibrary>()>;
// Registers an instance of the class unless one of that class name is there.
void RegisterFunctionLibrary(const AnsiString& class_name, const TfrFunctionLibraryFactory& make);
// Frees every instance of that class name; `forget` is called on each first
// (removing its descriptions from the catalogue).
void UnregisterFunctionLibrary(const AnsiString& class_name,
                               const std::function<void(TfrFunctionLibrary&)>& forget = {});
int FunctionLibraryCount();
TfrFunctionLibrary* FunctionLibraryAt(int index);

// ---- Scratch objects ---------------------------------------------------------------

// The library's canvas for measuring and invisible drawing.
TCanvas& frScratchCanvas();

// ---- Dialog routines --------------------------------------------------------------

// Names a control of a dialog, puts it on parent and places it.
template <typename Control>
Control* PlaceControl(Control* control, const char* name, TWinControl* parent, int left, int top, int width,
                      int height) {
  control->SetName(name);
  control->SetParent(parent);
  control->SetBounds(left, top, width, height);
  return control;
}

// A dialog of the library: dialog border, centred on the screen, the given
// client size, button-face colour and the dialogs' font.
void SetUpReportDialog(TForm& form, const char* name, int client_width, int client_height);

// Enables or disables each control; labels take the window-text or grey-text
// colour, windowed controls the window or button-face background.
void EnableControls(const std::vector<TControl*>& controls, bool enabled);
// The visible child of parent under point (searched from the last child),
// looking into children that hold controls of their own.
TControl* FindControlAt(TWinControl* parent, TPoint point);
