// dbftool eval: the value and kind of an expression without a table; and the
// record filter behind "dump --filter".
#include <cstdio>

#include "dbf/dbf_parser.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "tools/dbftool/dbftool.h"

namespace dbftool {
namespace {

const char* KindName(TExprKind kind) {
  switch (kind) {
    case ekInteger: return "integer";
    case ekString: return "text";
    case ekBoolean: return "boolean";
    case ekLargeInt: return "large integer";
    case ekFloat: return "float";
    case ekDateTime: return "date-time";
    default: return "unknown";
  }
}

// Texts are shown in UTF-8, the terminal's encoding.
std::string ValueText(TExprKind kind, const char* value) {
  return kind == ekString ? AnsiToUtf8(value) : ExprValueText(kind, value);
}

}  // namespace

int RunEval(const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one EXPR"};
  TDbfParser parser(nullptr);
  parser.CompileText(Utf8ToAnsi(args[0]));
  const char* value = parser.EvaluateRecord(nullptr);
  const TExprKind kind = parser.GetResultKind();
  std::printf("%s\t%s\n", KindName(kind), ValueText(kind, value).c_str());
  return 0;
}

RecordFilter MakeRecordFilter(TDbfFile& table, const std::string& expression) {
  // As the table component filters: texts trimmed and in the ANSI code page,
  // "*" at either end of a text a wildcard, case respected.
  auto parser = std::make_shared<TDbfParser>(&table);
  parser->SetRawStrings(false);
  parser->SetPartialCompare(true);
  parser->SetIgnoreCase(false);
  parser->CompileText(Utf8ToAnsi(expression));
  if (parser->GetResultKind() != ekBoolean) throw UsageError{"the filter \"" + expression + "\" is not a condition"};
  return [parser](const uint8_t* record) {
    return parser->EvaluateRecord(reinterpret_cast<const char*>(record))[0] != 0;
  };
}

}  // namespace dbftool
