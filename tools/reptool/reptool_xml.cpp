// reptool template xml IN.frf OUT.xml: reads a template and writes it as XML
// (Windows-1251, as its declaration says).
#include <cstdio>

#include "report/fr_tmpl.h"
#include "report/fr_xml.h"
#include "toolkit/core/classes.h"
#include "tools/reptool/reptool.h"

int TemplateXmlCommand(const ReptoolArgs& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: reptool template xml IN.frf OUT.xml\n");
    return 2;
  }
  TfrTemplate t;
  t.LoadFromFile(args[0], [](const AnsiString&) { return false; });
  // Written whole in memory first, so that a failure leaves no half file.
  TMemoryStream xml;
  WriteXmlTemplate(t, xml);
  xml.SaveToFile(args[1]);
  return 0;
}
