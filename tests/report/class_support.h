// Concrete report objects for the object-model tests, and the host and
// context a test's work runs with.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "report/fr_class.h"
#include "report/fr_globals.h"
#include "report/fr_host.h"
#include "toolkit/core/text.h"

namespace class_test {

// The drawing and designer steps left empty, so the model itself can be driven.
template <class Base>
class Drawless : public Base {
 public:
  void PaintFill() override {}
  void PaintBorder() override {}
  void ApplyScale() override {}
  void RestoreGeometry() override {}
  void WriteXmlAttrs(TStream&) override {}
  void FillDesignMenu(TPopupMenu*) override {}
  TRect BuildClipRegion(bool) override { return {}; }
};

class TestView : public Drawless<TfrView> {
 public:
  explicit TestView(const char* prefix = "View") { NamePrefix = prefix; }
  void DrawTo(TCanvas*) override {}
};

class TestAddIn : public TestView {
 public:
  const char* ClassName() const override { return "TfrTestAddIn"; }
};

// A stretcheable object whose content needs a fixed height.
class TestStretcheable : public Drawless<TfrStretcheable> {
 public:
  int CalcHeight() override { return 37; }
  int MinimumHeight() override { return 5; }
  int RemainingHeight() override { return 0; }
  void DrawTo(TCanvas*) override {}
};

class TestControl : public Drawless<TfrControl> {
 public:
  void PaintHostedControl() override {}
};

// The engine's host with any of its services replaced by a test; a service
// the test leaves empty is the engine's own.
class TestHost : public TfrEngineHost {
 public:
  std::function<void(TfrView&, TCanvas*)> OnBeginDraw;
  std::function<void(TfrView&)> OnDoBeforePrint;
  std::function<void(TfrView&)> OnRunScript;
  std::function<AnsiString(TfrView&, const AnsiString&)> OnExpandVariables;
  std::function<std::optional<TfrBandPlacement>()> OnCurrentBand;
  std::function<TfrView*(const AnsiString&)> OnFindObject;
  std::function<TfrObject*(int)> OnTemplatePage;
  std::function<TComponent*(const AnsiString&)> OnFindDialogComponent;
  std::function<TDataSet*()> OnDefaultDataSet;
  std::function<void(int, int, TfrView&)> OnExportObject;
  std::function<void(const TRect&, int, int, const AnsiString&, TfrMemoView&, uint16_t)> OnExportText;
  std::function<std::optional<std::pair<int, int>>()> OnPageLimits;
  std::function<std::vector<TfrView*>()> OnPageObjects;
  std::function<AnsiString(TfrView&, const AnsiString&)> OnExpandValue;
  std::function<bool()> OnRegistrationMode;
  std::function<std::optional<TfrAggregateBand>()> OnPrintingBand;
  std::function<std::optional<TfrAggregateBand>()> OnCandidateBand;
  std::function<void(const AnsiString&, const Variant&)> OnRegisterTotal;
  std::function<std::optional<Variant>(const AnsiString&)> OnReadTotal;
  std::function<int()> OnCurrentColumn;
  std::function<TfrVariables*()> OnDictionaryVariables;
  std::function<bool(const AnsiString&, const Variant&)> OnSetDictionaryVariable;
  std::function<void(int)> OnSetDialogModalResult;
  std::function<void(int)> OnSetCurY;
  std::function<void(const AnsiString&)> OnShowProgress;
  TfrParser* UseParser = nullptr;

  void BeginDraw(TfrView& v, TCanvas* c) override {
    OnBeginDraw ? OnBeginDraw(v, c) : TfrEngineHost::BeginDraw(v, c);
  }
  void DoBeforePrint(TfrView& v) override { OnDoBeforePrint ? OnDoBeforePrint(v) : TfrEngineHost::DoBeforePrint(v); }
  void RunScript(TfrView& v) override { OnRunScript ? OnRunScript(v) : TfrEngineHost::RunScript(v); }
  AnsiString ExpandVariables(TfrView& v, const AnsiString& text) override {
    return OnExpandVariables ? OnExpandVariables(v, text) : TfrEngineHost::ExpandVariables(v, text);
  }
  std::optional<TfrBandPlacement> CurrentBand() override {
    return OnCurrentBand ? OnCurrentBand() : TfrEngineHost::CurrentBand();
  }
  TfrView* FindObject(const AnsiString& name) override {
    return OnFindObject ? OnFindObject(name) : TfrEngineHost::FindObject(name);
  }
  TfrObject* TemplatePage(int index) override {
    return OnTemplatePage ? OnTemplatePage(index) : TfrEngineHost::TemplatePage(index);
  }
  TComponent* FindDialogComponent(const AnsiString& name) override {
    return OnFindDialogComponent ? OnFindDialogComponent(name) : TfrEngineHost::FindDialogComponent(name);
  }
  TDataSet* DefaultDataSet() override { return OnDefaultDataSet ? OnDefaultDataSet() : TfrEngineHost::DefaultDataSet(); }
  void ExportObject(int left, int top, TfrView& v) override {
    OnExportObject ? OnExportObject(left, top, v) : TfrEngineHost::ExportObject(left, top, v);
  }
  void ExportText(const TRect& r, int x, int y, const AnsiString& line, TfrMemoView& v, uint16_t frame) override {
    OnExportText ? OnExportText(r, x, y, line, v, frame) : TfrEngineHost::ExportText(r, x, y, line, v, frame);
  }
  std::optional<std::pair<int, int>> PageLimits() override {
    return OnPageLimits ? OnPageLimits() : TfrEngineHost::PageLimits();
  }
  std::vector<TfrView*> PageObjects() override { return OnPageObjects ? OnPageObjects() : TfrEngineHost::PageObjects(); }
  AnsiString ExpandValue(TfrView& v, const AnsiString& inner) override {
    return OnExpandValue ? OnExpandValue(v, inner) : TfrEngineHost::ExpandValue(v, inner);
  }
  bool RegistrationMode() override {
    return OnRegistrationMode ? OnRegistrationMode() : TfrEngineHost::RegistrationMode();
  }
  std::optional<TfrAggregateBand> PrintingBand() override {
    return OnPrintingBand ? OnPrintingBand() : TfrEngineHost::PrintingBand();
  }
  std::optional<TfrAggregateBand> CandidateBand() override {
    return OnCandidateBand ? OnCandidateBand() : TfrEngineHost::CandidateBand();
  }
  void RegisterTotal(const AnsiString& key, const Variant& start) override {
    OnRegisterTotal ? OnRegisterTotal(key, start) : TfrEngineHost::RegisterTotal(key, start);
  }
  std::optional<Variant> ReadTotal(const AnsiString& key) override {
    return OnReadTotal ? OnReadTotal(key) : TfrEngineHost::ReadTotal(key);
  }
  int CurrentColumn() override { return OnCurrentColumn ? OnCurrentColumn() : TfrEngineHost::CurrentColumn(); }
  TfrVariables* DictionaryVariables() override {
    return OnDictionaryVariables ? OnDictionaryVariables() : TfrEngineHost::DictionaryVariables();
  }
  bool SetDictionaryVariable(const AnsiString& name, const Variant& value) override {
    return OnSetDictionaryVariable ? OnSetDictionaryVariable(name, value)
                                   : TfrEngineHost::SetDictionaryVariable(name, value);
  }
  void SetDialogModalResult(int result) override {
    OnSetDialogModalResult ? OnSetDialogModalResult(result) : TfrEngineHost::SetDialogModalResult(result);
  }
  void SetCurY(int y) override { OnSetCurY ? OnSetCurY(y) : TfrEngineHost::SetCurY(y); }
  void ShowProgress(const AnsiString& text) override {
    OnShowProgress ? OnShowProgress(text) : TfrEngineHost::ShowProgress(text);
  }
  TfrParser& Parser() override { return UseParser != nullptr ? *UseParser : TfrEngineHost::Parser(); }
};

// A test's report work: a context of its own carrying the test's host. The
// report globals (the engine's mode and object numbering, the parser, the
// interpreter, the run-time variables, the texts) are made anew for it and
// go when it ends.
class TestWork {
 public:
  TestWork() { FreeGlobals(); }
  ~TestWork() { FreeGlobals(); }
  TestWork(const TestWork&) = delete;
  TestWork& operator=(const TestWork&) = delete;

  TestHost host;
  TfrBuildContext& Context() { return scope_.Context(); }

 private:
  TfrBuildScope scope_{nullptr, host};
};

// Bytes shown as hex for failure messages.
inline std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace class_test
