// fuzz-deps: kiv7_report
// Reads random object records, of every stream version and both record
// modes, directly or through the object factory as the page readers do (type
// code, the class name of an add-in, then the record). Every input must end in
// an object or in one of the toolkit's exceptions. An object that was read
// must write a record that reads back into an object writing the same bytes:
// what a template or a built page holds survives being saved again. A crash,
// a sanitizer report, another exception or a changed record is a finding.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "report/fr_class.h"
#include "report/fr_host.h"
#include "tests/report/class_support.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/exceptions.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// The stream versions the readers meet: zero-terminated texts before 23,
// names from 23 on, record versions and the newest fields from 24 on.
constexpr int kVersions[] = {21, 22, 23, 24, 25};

std::unique_ptr<TfrView> Make(const char* class_name) {
  if (std::string(class_name) == "TfrTestAddIn") return std::make_unique<class_test::TestAddIn>();
  return std::make_unique<class_test::TestView>("Memo");
}

std::string Written(TfrView& view) {
  TMemoryStream out;
  if (view.RecordMode == rmPrepared) view.ExpandedMemo.Assign(view.Memo);
  view.WriteRecord(out);
  return std::string(out.Bytes());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The objects read name themselves and measure their texts as in the
  // engine's own work.
  TfrEngineHost host;
  TfrBuildScope work(nullptr, host);
  // The first byte picks the version, the second the record mode (bit 0) and
  // whether a type code and class name precede the record (bit 1).
  const int version = kVersions[data[0] % std::size(kVersions)];
  const uint8_t mode = (data[1] & 1) ? rmPrepared : rmTemplate;
  const bool through_factory = (data[1] & 2) != 0;
  static const bool registered = RegisterAddInViewClass(
      "TfrTestAddIn", [] { return std::unique_ptr<TfrView>(std::make_unique<class_test::TestAddIn>()); });
  Require(registered);

  TMemoryStream in;
  in.WriteBuffer(data + 2, static_cast<int64_t>(size - 2));
  in.SetPosition(0);

  std::unique_ptr<TfrView> view;
  try {
    ResetMissingClasses();
    if (through_factory) {
      const uint8_t type_code = ReadByte(in);
      const AnsiString class_name = type_code == 10 ? ReadCountedString(in) : AnsiString();
      view = CreateViewByType(type_code, class_name);
      if (!view) return 0;
    } else {
      view = Make("TfrView");
    }
    view->RecordMode = mode;
    view->ReadRecord(in, version);
  } catch (const Exception&) {
    return 0;
  }

  // Texts too long for the counted form cannot be written; the writer says so.
  std::string first;
  try {
    first = Written(*view);
  } catch (const EWriteError&) {
    return 0;
  }
  std::unique_ptr<TfrView> again = Make(view->ClassName());
  again->RecordMode = mode;
  TMemoryStream back;
  back.WriteBuffer(first.data(), static_cast<int64_t>(first.size()));
  back.SetPosition(0);
  try {
    again->ReadRecord(back, kVersions[std::size(kVersions) - 1]);
  } catch (const Exception&) {
    Require(false);
  }
  Require(back.Position() == back.Size());
  Require(Written(*again) == first);
  Require(again->Name == view->Name && again->Left == view->Left && again->Top == view->Top &&
          again->Width == view->Width && again->Height == view->Height && again->Flags == view->Flags &&
          again->FrameTyp == view->FrameTyp && again->FrameWidth == view->FrameWidth &&
          again->Visible == view->Visible && again->Tag == view->Tag && again->BandAlign == view->BandAlign);
  return 0;
}
