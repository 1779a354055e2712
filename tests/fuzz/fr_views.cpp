// fuzz-deps: kiv7_report
// Reads random records of the text, picture, band, sub-report and line
// objects, of every stream version and both record modes. Every input must end
// in an object or in one of the toolkit's exceptions, without reading past
// the record's bytes; an object that was read must write a record that reads
// back, to its last byte, into an object writing the same bytes. A crash, a
// sanitizer report, another exception or a changed record is a finding.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "report/fr_host.h"
#include "report/fr_memo.h"
#include "report/fr_views.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/exceptions.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

constexpr int kVersions[] = {21, 22, 23, 24, 25};

std::unique_ptr<TfrView> Make(int kind) {
  switch (kind) {
    case gtMemo: return std::make_unique<TfrMemoView>();
    case gtPicture: return std::make_unique<TfrPictureView>();
    case gtBand: return std::make_unique<TfrBandView>();
    case gtSubReport: return std::make_unique<TfrSubReportView>();
    default: return std::make_unique<TfrLineView>();
  }
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
  // The first byte picks the version, the second the kind (0 to 4) and the
  // record mode (bit 3).
  const int version = kVersions[data[0] % std::size(kVersions)];
  const int kind = (data[1] & 7) % 5;
  const uint8_t mode = (data[1] & 8) ? rmPrepared : rmTemplate;

  TMemoryStream in;
  in.WriteBuffer(data + 2, static_cast<int64_t>(size - 2));
  in.SetPosition(0);
  std::unique_ptr<TfrView> view = Make(kind);
  view->RecordMode = mode;
  try {
    view->ReadRecord(in, version);
  } catch (const Exception&) {
    return 0;
  }
  Require(in.Position() <= in.Size());

  // Texts too long for the counted form cannot be written; the writer says so.
  std::string first;
  try {
    first = Written(*view);
  } catch (const EWriteError&) {
    return 0;
  }
  std::unique_ptr<TfrView> again = Make(kind);
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
  return 0;
}
