// Memo files: the values of memo, blob and OLE fields ('M', 'B', 'G'). The
// record holds a block number as text; the value lives in the table's memo
// file (".dbt" for dBase tables, ".fpt" for FoxPro) as a chain of consecutive
// fixed-size blocks.
//
// Layout. Block n starts at n * block size; the first 512 bytes are the
// header, so the blocks that overlap it are never used for values.
//   dBase (III, IV, 7), integers little-endian:
//     0   next free block (32 bits)
//     16  dBase III: the byte 3
//     20  block size (16 bits; dBase III always uses 512 whatever it says)
//   FoxPro, integers big-endian:
//     0   next free block (32 bits)
//     6   block size (16 bits)
// Values:
//   dBase III   the bytes, then 1A 1A; the rest of the last block blank.
//               There is no length: a reader scans for the terminators.
//   dBase IV/7  block header FF FF 08 00 and the length + 8 (32 bits LE),
//               then the bytes; the rest of the last block blank.
//   FoxPro      block header: type (32 bits BE, 1 = text) and the length
//               (32 bits BE), then the bytes as above.
//
// Accounting: a value that still fits the blocks it held is written over
// them; a longer one gets new blocks at the next free block, which then
// moves past it. Blocks given up are not reused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_pgfile.h"

class TStream;

// The size of a memo file's header as read and written.
inline constexpr int kMemoHeaderSize = 512;

class TMemoFile : public TPagedFile {
 public:
  TMemoFile();
  ~TMemoFile() override;

  // ---- Settings (before OpenMemoFile) ----

  // The table's version (kDbfVersion...): decides the dBase III layout.
  int DbfVersion() const { return version_; }
  void SetDbfVersion(int version) { version_ = version; }
  // The block size a new file is made with; an existing file keeps its own.
  int MemoRecordSize() const { return requested_block_size_; }
  void SetMemoRecordSize(int size) { requested_block_size_ = size; }

  // ---- Operations ----

  // Opens (or, in a creating mode, initialises) the file and takes the block
  // size from its header.
  virtual void OpenMemoFile();
  virtual void CloseMemoFile();
  // Replaces the stream's content with the value that starts at block; an
  // empty value for block <= 0, a block inside the header or past the end.
  // Raises EIntOverflow for a dBase IV block header whose length is below 8
  // and EDbfError for a dBase IV/7 value without a block header (a damaged
  // file or block size): both name the block and the file.
  virtual void ReadMemo(int64_t block, TStream& stream);
  // Writes the whole of stream as a value. block is the value's old first
  // block (<= 0: none) and old_size its old length in bytes; on return it is
  // the new first block (0 for an empty stream). Raises EDbfWriteError when
  // the file could not be written; block is then unchanged.
  virtual void WriteMemo(int64_t& block, int64_t old_size, TStream& stream);

  // The block size in use (0 before opening).
  int BlockSize() const { return RecordSize(); }
  // The number of blocks the 512-byte header occupies.
  int64_t HeaderBlocks() const;

  // ---- Layout of the header and the block header ----

  // The block size the header names.
  virtual int BlockSizeInHeader() = 0;
  // The value's length from the block header in the block buffer; -1 when
  // the block does not say (dBase III values).
  virtual int64_t BlockDataLength() = 0;
  virtual int64_t NextFreeBlock() = 0;
  virtual void SetNextFreeBlock(int64_t block) = 0;
  virtual void SetBlockSizeInHeader(int size) = 0;

 protected:
  // The block header of a value of size bytes (8 bytes; nothing for dBase III).
  virtual void PutBlockHeader(uint8_t* block, int64_t size) = 0;
  // The bytes a value needs before it and after it.
  int ValueHeaderSize() const;
  int TerminatorSize() const;
  // The buffer holding one block.
  uint8_t* BlockBuffer() { return block_buffer_.data(); }
  // The message of a damaged value's error: the text with the block in the
  // buffer and the file's name, then extra.
  std::string DamagedValueText(const char* text, const std::string& extra = std::string()) const;

 private:
  void ReadTerminatedValue(int64_t block, int got, std::string& value);

  int version_ = 0;
  int requested_block_size_ = 0;
  // One block plus a zero byte, so that a scan may look past the block's end.
  std::vector<uint8_t> block_buffer_;
  // The block whose first bytes the buffer holds.
  int64_t buffer_block_ = 0;
  bool opened_ = false;
};

// The dBase III, IV and 7 layouts.
class TDbaseMemoFile : public TMemoFile {
 public:
  int BlockSizeInHeader() override;
  int64_t BlockDataLength() override;
  int64_t NextFreeBlock() override;
  void SetNextFreeBlock(int64_t block) override;
  void SetBlockSizeInHeader(int size) override;

 protected:
  void PutBlockHeader(uint8_t* block, int64_t size) override;
};

// The FoxPro layout.
class TFoxProMemoFile : public TMemoFile {
 public:
  int BlockSizeInHeader() override;
  int64_t BlockDataLength() override;
  int64_t NextFreeBlock() override;
  void SetNextFreeBlock(int64_t block) override;
  void SetBlockSizeInHeader(int size) override;

 protected:
  void PutBlockHeader(uint8_t* block, int64_t size) override;
};

// Stands in for a memo file that is missing: every value reads empty. A value
// cannot be stored in it: writing one raises EDbfError "Open: file not found"
// naming the missing file, instead of dropping the value without a word.
class TNullMemoFile : public TMemoFile {
 public:
  void OpenMemoFile() override;
  void CloseMemoFile() override;
  void ReadMemo(int64_t block, TStream& stream) override;
  void WriteMemo(int64_t& block, int64_t old_size, TStream& stream) override;
  bool LockSection(int64_t offset, int64_t length, bool wait) override;
  bool UnlockSection(int64_t offset, int64_t length) override;

  int BlockSizeInHeader() override { return 0; }
  int64_t BlockDataLength() override { return 0; }
  int64_t NextFreeBlock() override { return 0; }
  void SetNextFreeBlock(int64_t) override {}
  void SetBlockSizeInHeader(int) override {}

 protected:
  void PutBlockHeader(uint8_t*, int64_t) override {}
};

// A memo file object of the layout of a table version (not yet opened).
std::unique_ptr<TMemoFile> NewMemoFile(int version);
