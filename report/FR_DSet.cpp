#include "report/FR_DSet.h"

#include "toolkit/core/typinfo.h"

const TTypeInfo& TypeInfoTRangeBegin() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TRangeBegin", {"rbFirst", "rbCurrent"});
  return t;
}

const TTypeInfo& TypeInfoTRangeEnd() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TRangeEnd", {"reLast", "reCurrent", "reCount"});
  return t;
}

const TClassInfo& TfrDataset::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TfrDataset>, "TfrDataset", &TComponent::StaticClassInfo());
  return info;
}

const TClassInfo& TfrUserDataset::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TfrUserDataset>, "TfrUserDataset", &TfrDataset::StaticClassInfo(),
                               [](TPublisher<TfrUserDataset>& p) { PublishRecordSourceRange(p); });
  return info;
}

TfrDataset::TfrDataset(TComponent* owner) : TComponent(owner) {}

TfrDataset::~TfrDataset() = default;

void TfrDataset::Open() {}

void TfrDataset::Close() {}

void TfrDataset::First() {
  rec_no_ = 0;
  if (OnFirst) OnFirst(this);
}

void TfrDataset::Next() {
  ++rec_no_;
  if (range_end_ == reCount && rec_no_ >= range_end_count_) return;
  if (OnNext) OnNext(this);
}

void TfrDataset::Prior() {
  --rec_no_;
  if (OnPrior) OnPrior(this);
}

bool TfrDataset::Eof() {
  bool eof = range_end_ == reCount && rec_no_ >= range_end_count_;
  if (OnCheckEOF) OnCheckEOF(this, eof);
  return eof;
}

TfrUserDataset::TfrUserDataset(TComponent* owner) : TfrDataset(owner) {}
