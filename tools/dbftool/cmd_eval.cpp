// dbftool eval: the value and kind of an expression without a table; and the
// record filter behind "dump --filter".
#include <charconv>
#include <cstdio>
#include <cstring>

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

std::string ValueText(TExprKind kind, const char* value) {
  switch (kind) {
    case ekInteger: {
      int32_t v;
      std::memcpy(&v, value, sizeof v);
      return std::to_string(v);
    }
    case ekLargeInt: {
      int64_t v;
      std::memcpy(&v, value, sizeof v);
      return std::to_string(v);
    }
    case ekFloat:
    case ekDateTime: {
      double v;
      std::memcpy(&v, value, sizeof v);
      char buf[64];
      const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
      return ec == std::errc() ? std::string(buf, end) : std::string();
    }
    case ekBoolean: return value[0] != 0 ? "true" : "false";
    case ekString: return AnsiToUtf8(value);
    default: return std::string();
  }
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
