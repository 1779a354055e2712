// Record sources: what a band of a report reads its rows from.
//
// The build engine knows a record source only through six operations: Open,
// Close, First, Next, Prior and Eof. The base class keeps a 0-based record
// number and a range (where First starts, where the walk ends); its
// descendants move real data along with it. TfrUserDataset has no data of its
// own: a band that names a number instead of a source gets one that counts up
// to that number, and programs can drive one through its events.
#pragma once

#include <cstdint>
#include <functional>

#include "toolkit/core/component.h"
#include "toolkit/core/typinfo.h"

// Where First starts.
enum TRangeBegin { rbFirst, rbCurrent };
// Where the walk ends: at the data's end, at the record that was current at
// Open, or after RangeEndCount records.
enum TRangeEnd { reLast, reCurrent, reCount };

const TTypeInfo& TypeInfoTRangeBegin();
const TTypeInfo& TypeInfoTRangeEnd();

// Sender; eof in: the source's own answer, out: the answer Eof gives.
using TCheckEOFEvent = std::function<void(TComponent* Sender, bool& Eof)>;

// The abstract record source. Its operations only keep RecNo and raise the
// events; Open and Close do nothing.
class TfrDataset : public TComponent {
  KIV7_PERSISTENT(TfrDataset)

 public:
  explicit TfrDataset(TComponent* owner);
  ~TfrDataset() override;

  virtual void Open();
  virtual void Close();
  // RecNo := 0, then OnFirst.
  virtual void First();
  // RecNo + 1, then OnNext unless a counted range has just been exhausted.
  virtual void Next();
  // RecNo - 1, then OnPrior.
  virtual void Prior();
  // A counted range is over when RecNo reached RangeEndCount; OnCheckEOF may
  // change the answer.
  virtual bool Eof();

  TRangeBegin RangeBegin() const { return range_begin_; }
  void SetRangeBegin(TRangeBegin value) { range_begin_ = value; }
  TRangeEnd RangeEnd() const { return range_end_; }
  void SetRangeEnd(TRangeEnd value) { range_end_ = value; }
  // Records in a counted range (RangeEnd = reCount).
  int32_t RangeEndCount() const { return range_end_count_; }
  void SetRangeEndCount(int32_t value) { range_end_count_ = value; }
  // The 0-based number of the current record.
  int32_t RecNo() const { return rec_no_; }

  TNotifyEvent OnFirst, OnNext, OnPrior;
  TCheckEOFEvent OnCheckEOF;

 private:
  TRangeBegin range_begin_ = rbFirst;
  TRangeEnd range_end_ = reLast;
  int32_t range_end_count_ = 0;
  int32_t rec_no_ = 0;
};

// A record source without data, walked by its events or by a record count.
class TfrUserDataset : public TfrDataset {
  KIV7_PERSISTENT(TfrUserDataset)

 public:
  explicit TfrUserDataset(TComponent* owner);
};

// ---- Implementation details follow. Clients should ignore. --------------------------

// Publishes RangeBegin, RangeEnd and RangeEndCount: the record sources that
// publish them all do so in this order with these defaults.
template <class C>
void PublishRecordSourceRange(TPublisher<C>& p) {
  p.Ordinal("RangeBegin", TypeInfoTRangeBegin(), &TfrDataset::RangeBegin, &TfrDataset::SetRangeBegin)
      .WithDefault(rbFirst);
  p.Ordinal("RangeEnd", TypeInfoTRangeEnd(), &TfrDataset::RangeEnd, &TfrDataset::SetRangeEnd).WithDefault(reLast);
  p.Integer("RangeEndCount", &TfrDataset::RangeEndCount, &TfrDataset::SetRangeEndCount).WithDefault(0);
}
