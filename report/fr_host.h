// The engine's own build host: every service of TfrBuildHost (fr_class.h)
// answered from the running context, that is from the report, page, band
// and object the work has reached. A report component holds one for its
// builds, prints and previews; work that hands some services elsewhere (an
// export filter, a template being read) derives from it and overrides those.
#pragma once

#include "report/fr_class.h"

class TfrEngineHost : public TfrBuildHost {
 public:
  void BeginDraw(TfrView& view, TCanvas* canvas) override;
  void DoBeforePrint(TfrView& view) override;
  void RunScript(TfrView& view) override;
  AnsiString ExpandVariables(TfrView& view, const AnsiString& text) override;
  std::optional<TfrBandPlacement> CurrentBand() override;
  TfrView* FindObject(const AnsiString& name) override;
  TfrObject* TemplatePage(int index) override;
  TComponent* FindDialogComponent(const AnsiString& name) override;
  TDataSet* DefaultDataSet() override;
  // Outside an export there is no filter: nothing is handed on.
  void ExportObject(int left, int top, TfrView& view) override;
  void ExportText(const TRect& paint_rect, int x, int y, const AnsiString& line, TfrMemoView& view,
                  uint16_t frame) override;

  std::optional<std::pair<int, int>> PageLimits() override;
  std::vector<TfrView*> PageObjects() override;
  bool InLooseBand(TfrView& view) override;
  bool CurrentBandStretched() override;
  AnsiString ExpandValue(TfrView& view, const AnsiString& inner) override;

  bool RegistrationMode() override;
  std::optional<TfrAggregateBand> PrintingBand() override;
  std::optional<TfrAggregateBand> CandidateBand() override;
  void RegisterTotal(const AnsiString& key, const Variant& start) override;
  std::optional<Variant> ReadTotal(const AnsiString& key) override;
  int CurrentColumn() override;
  TfrVariables* DictionaryVariables() override;

  bool SetDictionaryVariable(const AnsiString& name, const Variant& value) override;
  void SetDialogModalResult(int result) override;
  void SetCurY(int y) override;
  void ShowProgress(const AnsiString& text) override;
  // The single parser and interpreter of the report globals (fr_globals.h).
  TfrParser& Parser() override;
  TInterpretator& Interpreter() override;
};
