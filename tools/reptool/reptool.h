// Subcommands of reptool, each in a file of its own. A subcommand gets the
// arguments after its name (UTF-8) and returns the exit status: 0 done, 1 an
// engine error (reported on stderr), 2 a wrong command line.
#pragma once

#include <string>
#include <vector>

using ReptoolArgs = std::vector<std::string>;

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
