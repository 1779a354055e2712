#include "dbf/dbf_memo.h"

#include <algorithm>
#include <cstring>

#include "dbf/dbf_fields.h"
#include "dbf/dbf_str.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"

namespace {

constexpr uint8_t kTerminator = 0x1A;
// The first bytes of a dBase IV/7 value's block header.
constexpr uint8_t kDbase4Signature[4] = {0xFF, 0xFF, 0x08, 0x00};
constexpr int kBlockHeaderSize = 8;
constexpr int kDefaultBlockSize = 512;
// FoxPro's block header type of a text value.
constexpr uint32_t kFoxProTextType = 1;

// The blocks of size block_size that the header covers. Rounded up: a block
// that shares bytes with the header would be overwritten by every header store.
int64_t HeaderBlocksFor(int block_size) {
  return block_size > 0 ? (kMemoHeaderSize + block_size - 1) / block_size : 1;
}

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

}  // namespace

// ---- TMemoFile -----------------------------------------------------------------

TMemoFile::TMemoFile() = default;

TMemoFile::~TMemoFile() {
  try {
    CloseMemoFile();
  } catch (...) {
    // A destructor must not throw; an unwritten header shows at the next open.
  }
}

int64_t TMemoFile::HeaderBlocks() const { return HeaderBlocksFor(BlockSize()); }

int TMemoFile::ValueHeaderSize() const { return version_ == kDbfVersionDBase3 ? 0 : kBlockHeaderSize; }

int TMemoFile::TerminatorSize() const { return version_ == kDbfVersionDBase3 ? 2 : 0; }

void TMemoFile::OpenMemoFile() {
  if (opened_) return;
  SetPageOffsetByHeader(false);
  SetVirtualLocks(false);
  OpenStream();
  SetHeaderSize(kMemoHeaderSize);
  if (version_ == kDbfVersionDBase3) Header()[16] = 3;
  const bool foxpro = version_ == kDbfVersionFoxPro;
  if (IsCreatingMode(Mode())) {
    SetNextFreeBlock(requested_block_size_ >= 1 ? HeaderBlocksFor(requested_block_size_) : 1);
    SetBlockSizeInHeader(requested_block_size_);
    StoreHeader();
  }
  int block_size = BlockSizeInHeader();
  if (!foxpro && (block_size <= 0 || block_size % 128 != 0)) {
    block_size = kDefaultBlockSize;
    SetBlockSizeInHeader(block_size);
  }
  SetRecordSize(std::max(0, block_size));
  block_buffer_.assign(size_t(std::max(block_size, kBlockHeaderSize)) + 1, 0);
  opened_ = true;
}

void TMemoFile::CloseMemoFile() {
  if (!opened_) return;
  opened_ = false;
  block_buffer_.clear();
  CloseStream();
}

void TMemoFile::ReadMemo(int64_t block, TStream& stream) {
  stream.SetSize(0);
  stream.SetPosition(0);
  const int block_size = BlockSize();
  if (!opened_ || block_size <= 0 || block < HeaderBlocks()) return;
  const int64_t offset = RecordOffset(block);
  const int64_t file_size = Stream()->Size();
  // A reference past the end is a memo file cut short (or another table's):
  // read as empty it would pass for a value the user cleared, and a pack
  // would make the loss final.
  const auto beyond_end = [&] {
    buffer_block_ = block;
    throw EDbfError(DamagedValueText(STRING_MEMO_BEYOND_END));
  };
  if (offset >= file_size) beyond_end();

  // A short last block (some writers do not pad it) reads as zeros after its
  // end. A FoxPro file may have blocks smaller than a value's header, which
  // then runs on into the next block: the header is read whole all the same.
  const int got = int(ReadBlock(BlockBuffer(), std::max<int64_t>(block_size, ValueHeaderSize()), offset));
  if (got <= 0) beyond_end();
  buffer_block_ = block;
  std::fill(block_buffer_.begin() + got, block_buffer_.end(), 0);

  std::string value;
  int64_t length = BlockDataLength();
  if (length >= 0) {
    // A length that runs past the end of the file: the value was cut off
    // with the file.
    if (length > file_size - offset - kBlockHeaderSize) beyond_end();
    value.resize(size_t(length));
    if (ReadBlock(value.data(), length, offset + kBlockHeaderSize) != length) beyond_end();
  } else {
    ReadTerminatedValue(block, got, value);
  }
  stream.WriteBuffer(value.data(), int64_t(value.size()));
  stream.SetPosition(0);
}

std::string TMemoFile::DamagedValueText(const char* text, const std::string& extra) const {
  const AnsiString block = std::to_string(buffer_block_);
  const AnsiString file = Utf8ToAnsi(FileName());
  return extra.empty() ? Format(text, {block, file}) : Format(text, {block, file, extra});
}

// A dBase III value ends at 1A 1A or 1A 00. A terminator pair may straddle two
// blocks; a lone 1A inside the text does not end it. The buffer holds the
// first block (got bytes of it).
void TMemoFile::ReadTerminatedValue(int64_t block, int got, std::string& value) {
  const int block_size = BlockSize();
  uint8_t* buf = BlockBuffer();
  // A value without a block header in a file whose values have one (a
  // dBase III value in a dBase IV table) ends with its terminators before the
  // next value's header. Running into a header or the end of the file means
  // the value is not there: a damaged block size puts every value here, and
  // scanning on would read the rest of the file for each of them.
  const bool headered = ValueHeaderSize() > 0;
  const auto not_there = [this] { throw EDbfError(DamagedValueText(STRING_MEMO_NO_BLOCK_HEADER)); };
  bool first = true;
  bool prev_ended_with_terminator = false;
  for (;;) {
    if (!first) {
      got = ReadRecordAt(block, buf);
      if (got <= 0) {
        if (headered) not_there();
        return;
      }
      std::fill(block_buffer_.begin() + got, block_buffer_.end(), 0);
      if (headered && std::memcmp(buf, kDbase4Signature, sizeof kDbase4Signature) == 0) not_there();
      if (prev_ended_with_terminator && (buf[0] == kTerminator || buf[0] == 0)) {
        value.pop_back();
        return;
      }
    }
    for (int i = 0; i + 1 < block_size; ++i) {
      if (buf[i] == kTerminator && (buf[i + 1] == kTerminator || buf[i + 1] == 0)) {
        value.append(reinterpret_cast<const char*>(buf), size_t(i));
        return;
      }
    }
    value.append(reinterpret_cast<const char*>(buf), size_t(got));
    if (got < block_size) {  // the end of the file
      if (headered) not_there();
      return;
    }
    prev_ended_with_terminator = buf[block_size - 1] == kTerminator;
    first = false;
    ++block;
  }
}

void TMemoFile::WriteMemo(int64_t& block, int64_t old_size, TStream& stream) {
  const int64_t size = stream.Size();
  if (size <= 0) {
    block = 0;
    return;
  }
  const int block_size = BlockSize();
  if (!opened_ || block_size <= 0) throw EDbfError(STRING_INVALID_DBF_FILE);
  const int header = ValueHeaderSize();
  const int terminators = TerminatorSize();
  const int64_t needed = CeilDiv(size + header + terminators, block_size);
  // Blocks inside the header never belong to a value, whatever a record says.
  const int64_t held = (block >= HeaderBlocks() && old_size > 0) ? CeilDiv(old_size, block_size) : 0;

  // The value's bytes, laid out over the blocks it will fill.
  std::vector<uint8_t> out(size_t(needed * block_size), ' ');
  PutBlockHeader(out.data(), size);
  stream.SetPosition(0);
  stream.ReadBuffer(out.data() + header, size);
  std::fill_n(out.begin() + header + size, terminators, kTerminator);

  const bool allocate = needed > held;
  int64_t first = block;
  if (allocate) {
    LockRecord(0, true);
    {
      TScopeExit unlock([this] { UnlockRecord(0); });
      // Another process may have taken blocks since the header was read.
      if (NeedLocks()) ReadHeader();
      // A free pointer inside the header or before the end of the file
      // (a header not stored after a crash, a damaged one) would let the new
      // value overwrite the header or other values.
      const int64_t blocks_in_file = CeilDiv(Stream()->Size(), block_size);
      first = std::max({NextFreeBlock(), HeaderBlocks(), blocks_in_file});
      if (first + needed > int64_t(UINT32_MAX)) throw EDbfWriteError(STRING_WRITE_ERROR);
      WriteBlock(out.data(), int64_t(out.size()), RecordOffset(first));
      if (!WriteError()) {
        SetNextFreeBlock(first + needed);
        StoreHeader();
      }
    }
  } else {
    WriteBlock(out.data(), int64_t(out.size()), RecordOffset(first));
  }
  if (WriteError()) {
    ClearWriteError();
    throw EDbfWriteError(STRING_WRITE_ERROR);
  }
  block = first;
}

// ---- TDbaseMemoFile ----------------------------------------------------------------

int TDbaseMemoFile::BlockSizeInHeader() {
  return DbfVersion() == kDbfVersionDBase3 ? kDefaultBlockSize : GetLE16(Header() + 20);
}

int64_t TDbaseMemoFile::BlockDataLength() {
  const uint8_t* b = BlockBuffer();
  if (std::memcmp(b, kDbase4Signature, sizeof kDbase4Signature) != 0) return -1;
  const uint32_t stored = GetLE32(b + 4);
  if (stored < uint32_t(kBlockHeaderSize))
    throw EIntOverflow(DamagedValueText(STRING_MEMO_LENGTH_BELOW_HEADER, std::to_string(stored)));
  return int64_t(stored) - kBlockHeaderSize;
}

int64_t TDbaseMemoFile::NextFreeBlock() { return GetLE32(Header()); }

void TDbaseMemoFile::SetNextFreeBlock(int64_t block) { PutLE32(Header(), uint32_t(block)); }

void TDbaseMemoFile::SetBlockSizeInHeader(int size) { PutLE16(Header() + 20, uint16_t(size)); }

void TDbaseMemoFile::PutBlockHeader(uint8_t* block, int64_t size) {
  if (DbfVersion() == kDbfVersionDBase3) return;
  std::memcpy(block, kDbase4Signature, sizeof kDbase4Signature);
  PutLE32(block + 4, uint32_t(size + kBlockHeaderSize));
}

// ---- TFoxProMemoFile -----------------------------------------------------------------

int TFoxProMemoFile::BlockSizeInHeader() { return GetBE16(Header() + 6); }

int64_t TFoxProMemoFile::BlockDataLength() { return GetBE32(BlockBuffer() + 4); }

int64_t TFoxProMemoFile::NextFreeBlock() { return GetBE32(Header()); }

void TFoxProMemoFile::SetNextFreeBlock(int64_t block) { PutBE32(Header(), uint32_t(block)); }

void TFoxProMemoFile::SetBlockSizeInHeader(int size) { PutBE16(Header() + 6, uint16_t(size)); }

void TFoxProMemoFile::PutBlockHeader(uint8_t* block, int64_t size) {
  PutBE32(block, kFoxProTextType);
  PutBE32(block + 4, uint32_t(size));
}

// ---- TNullMemoFile ---------------------------------------------------------------------

void TNullMemoFile::OpenMemoFile() {}

void TNullMemoFile::CloseMemoFile() {}

void TNullMemoFile::ReadMemo(int64_t, TStream& stream) {
  stream.SetSize(0);
  stream.SetPosition(0);
}

void TNullMemoFile::WriteMemo(int64_t& block, int64_t, TStream& stream) {
  if (stream.Size() <= 0) {
    block = 0;
    return;
  }
  throw EDbfError(Format(STRING_FILE_NOT_FOUND, {FileName()}));
}

bool TNullMemoFile::LockSection(int64_t, int64_t, bool) { return true; }

bool TNullMemoFile::UnlockSection(int64_t, int64_t) { return true; }

std::unique_ptr<TMemoFile> NewMemoFile(int version) {
  std::unique_ptr<TMemoFile> memo;
  if (version == kDbfVersionFoxPro)
    memo = std::make_unique<TFoxProMemoFile>();
  else
    memo = std::make_unique<TDbaseMemoFile>();
  memo->SetDbfVersion(version);
  return memo;
}
