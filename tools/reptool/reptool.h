// Subcommands of reptool, each in a file of its own. A subcommand gets the
// arguments after its name (UTF-8) and returns the exit status: 0 done, 1 an
// engine error (reported on stderr), 2 a wrong command line.
#pragma once

#include <string>
#include <vector>

#include "toolkit/ui/dialogs.h"

using ReptoolArgs = std::vector<std::string>;

// build FILE.frf --table TABLE [--filter EXPR] [--source NAME] [--two-pass] --out OUT.frp
int BuildCommand(const ReptoolArgs& args);
// expr TEXT
int ExprCommand(const ReptoolArgs& args);
// script FILE
int ScriptCommand(const ReptoolArgs& args);
// template new|dump|copy|xml ...
int TemplateCommand(const ReptoolArgs& args);
// template xml IN.frf OUT.xml (the arguments after "xml")
int TemplateXmlCommand(const ReptoolArgs& args);
// printers
int PrintersCommand(const ReptoolArgs& args);
// preview FILE.frp --png OUT.png [--page N] [--zoom PERCENT]
int PreviewCommand(const ReptoolArgs& args);
// find FILE.frp TEXT
int FindCommand(const ReptoolArgs& args);

// The dialogs of a harness without a screen: message boxes print their
// caption and text on stderr and answer OK; nothing else is shown.
class ConsoleDialogs : public TDialogService {
 public:
  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) override;
  int MessageDlg(const AnsiString& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
  bool ExecuteFileDialog(TOpenDialog&) override { return false; }
  bool ExecuteColorDialog(TColorDialog&) override { return false; }
  bool OpenDocument(const std::string&) override { return false; }
};
// print FILE.frp --pdf OUT.pdf [--pages LIST] [--copies N] [--collate]
int PrintCommand(const ReptoolArgs& args);
