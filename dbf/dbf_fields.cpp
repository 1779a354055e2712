#include "dbf/dbf_fields.h"

#include <algorithm>

#include "dbf/dbf_str.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

// 'C' fields keep the high byte of their length in the decimals byte.
static constexpr int kMaxCharLength = 65534;

TFieldType DbfLetterToFieldType(char letter, int size, int precision, bool use_float_fields) {
  switch (letter) {
    case '+': return ftAutoInc;
    case '0': return ftBytes;
    case '@':
    case 'T': return ftDateTime;
    case 'B': return ftBlob;
    case 'C':
    case '\x91': return ftString;
    case 'D': return ftDate;
    case 'F':
    case 'N':
      if (precision != 0) return ftFloat;
      if (size <= 4) return ftSmallint;
      if (use_float_fields) return ftFloat;
      return size <= 9 ? ftInteger : ftLargeint;
    case 'O': return ftFloat;
    case 'G': return ftDBaseOle;
    case 'I': return ftInteger;
    case 'L': return ftBoolean;
    case 'M': return ftMemo;
    case 'Y': return ftBCD;
    default: return ftUnknown;
  }
}

char FieldTypeToDbfLetter(TFieldType type, int version) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString: return 'C';
    case ftSmallint:
    case ftWord:
    case ftFloat:
    case ftLargeint: return 'N';
    case ftInteger: return version == kDbfVersionDBase7 ? 'I' : 'N';
    case ftBoolean: return 'L';
    case ftCurrency:
    case ftBCD: return version == kDbfVersionFoxPro ? 'Y' : '\0';
    case ftDate: return 'D';
    case ftDateTime: return version == kDbfVersionDBase7 ? '@' : 'T';
    case ftAutoInc: return '+';
    case ftBlob: return 'B';
    case ftMemo: return 'M';
    case ftDBaseOle: return 'G';
    default: return '\0';
  }
}

TDbfFieldDef::TDbfFieldDef(TCollection* collection) : TCollectionItem(collection) {}
TDbfFieldDef::~TDbfFieldDef() = default;

TDbfFieldDefs* TDbfFieldDef::Defs() const { return dynamic_cast<TDbfFieldDefs*>(Collection()); }

int TDbfFieldDef::Version() const {
  const TDbfFieldDefs* defs = Defs();
  return defs ? defs->DbfVersion() : kDbfVersionDBase4;
}

void TDbfFieldDef::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TDbfFieldDef*>(source);
  if (!other) {
    TCollectionItem::Assign(source);
    return;
  }
  field_name_ = other->field_name_;
  field_type_ = other->field_type_;
  native_type_ = other->native_type_;
  size_ = other->size_;
  precision_ = other->precision_;
  required_ = other->required_;
  is_lock_field_ = other->is_lock_field_;
  default_buf_ = other->default_buf_;
  min_buf_ = other->min_buf_;
  max_buf_ = other->max_buf_;
  has_default_ = other->has_default_;
  has_min_ = other->has_min_;
  has_max_ = other->has_max_;
  offset_ = other->offset_;
  autoinc_next_ = other->autoinc_next_;
  copy_from_ = other->Index();
}

void TDbfFieldDef::SetFieldType(TFieldType type) {
  const char letter = FieldTypeToDbfLetter(type, Version());
  if (letter == '\0') throw EDbfError(Format(STRING_INVALID_FIELD_TYPE, {field_name_, int(type)}));
  field_type_ = type;
  native_type_ = letter;
  CheckSizePrecision();
}

void TDbfFieldDef::DeriveFieldType() {
  const TDbfFieldDefs* defs = Defs();
  field_type_ = DbfLetterToFieldType(native_type_, size_, precision_, defs ? defs->UseFloatFields() : true);
  if (field_type_ == ftUnknown) native_type_ = '\0';
}

void TDbfFieldDef::SetNativeFieldType(char letter) {
  native_type_ = AnsiUpperChar(letter);
  DeriveFieldType();
  CheckSizePrecision();
}

void TDbfFieldDef::SetSize(int size) {
  size_ = size;
  CheckSizePrecision();
}

void TDbfFieldDef::SetPrecision(int precision) {
  precision_ = precision;
  CheckSizePrecision();
}

void TDbfFieldDef::SetFromDescriptor(const AnsiString& name, char letter, int size, int precision) {
  field_name_ = name;
  size_ = size;
  precision_ = precision;
  native_type_ = AnsiUpperChar(letter);
  DeriveFieldType();
  AllocBuffers();
}

void TDbfFieldDef::SetDefaultSize() {
  const bool dbase7 = Version() == kDbfVersionDBase7;
  switch (field_type_) {
    case ftInteger:
      size_ = dbase7 ? 4 : 9;
      precision_ = 0;
      break;
    case ftSmallint:
    case ftWord:
      size_ = 4;
      precision_ = 0;
      break;
    case ftFloat:
      size_ = 18;
      precision_ = 9;
      break;
    case ftCurrency:
    case ftBCD:
      size_ = 8;
      precision_ = 4;
      break;
    case ftDate:
    case ftDateTime:
      size_ = (native_type_ == 'T' && Version() != kDbfVersionFoxPro) ? 14 : 8;
      precision_ = 0;
      break;
    case ftLargeint:
      size_ = 18;
      precision_ = 0;
      break;
    default:
      break;
  }
  CheckSizePrecision();
}

void TDbfFieldDef::CheckSizePrecision() {
  switch (native_type_) {
    case '@':
    case 'D':
    case 'O':
      size_ = 8;
      precision_ = 0;
      break;
    case 'B':
    case 'G':
    case 'M':
      size_ = 10;
      precision_ = 0;
      break;
    case 'C':
      size_ = std::clamp(size_, 0, kMaxCharLength);
      precision_ = 0;
      break;
    case 'F':
    case 'N':
      if (field_type_ == ftSmallint) {
        size_ = 4;
        precision_ = 0;
      } else if (field_type_ == ftInteger) {
        size_ = 9;
        precision_ = 0;
      } else if (field_type_ == ftLargeint) {
        size_ = 18;
        precision_ = 0;
      } else {
        size_ = std::clamp(size_, 2, 20);
        precision_ = std::clamp(precision_, 0, size_ - 2);
      }
      break;
    case '+':
    case 'I':
      size_ = 4;
      precision_ = 0;
      break;
    case 'L':
      size_ = 1;
      precision_ = 0;
      break;
    case 'T':
      size_ = Version() == kDbfVersionFoxPro ? 8 : 14;
      precision_ = 0;
      break;
    case 'Y':
      size_ = 8;
      precision_ = 4;
      break;
    default:
      break;
  }
  AllocBuffers();
}

void TDbfFieldDef::AllocBuffers() {
  const size_t n = size_t(std::max(0, size_));
  if (default_buf_.size() == n) return;
  default_buf_.assign(n, 0);
  min_buf_.assign(n, 0);
  max_buf_.assign(n, 0);
  has_default_ = has_min_ = has_max_ = false;
}

void TDbfFieldDef::SetPropertyValue(int kind, const uint8_t* value, int length) {
  std::vector<uint8_t>* target = nullptr;
  bool* flag = nullptr;
  if (kind == 2) target = &min_buf_, flag = &has_min_;
  if (kind == 3) target = &max_buf_, flag = &has_max_;
  if (kind == 4) target = &default_buf_, flag = &has_default_;
  if (!target) return;
  std::fill(target->begin(), target->end(), 0);
  std::copy_n(value, std::min<size_t>(size_t(std::max(0, length)), target->size()), target->begin());
  *flag = true;
}

bool TDbfFieldDef::IsBlob() const { return native_type_ == 'B' || native_type_ == 'G' || native_type_ == 'M'; }

TDbfFieldDefs::TDbfFieldDefs() : TCollection([](TCollection* c) { return new TDbfFieldDef(c); }) {}
