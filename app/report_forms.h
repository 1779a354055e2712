// The main window's report components frReport1 to frReport5 as the window
// stores them: each one's description in the component stream's text form,
// with its template in the "ReportForm" property. tools/report_forms makes
// report_forms.cpp from its designs of the five protocols.
#pragma once

inline constexpr int kReportFormCount = 5;

// kReportFormTexts[i] describes frReport<i + 1>.
extern const char* const kReportFormTexts[kReportFormCount];
