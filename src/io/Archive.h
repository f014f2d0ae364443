#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pelmar {

// Reads the little-endian, length-prefixed binary form of Ellip.db and
// Transformation.db from memory. It never trusts a length or a count: each
// read checks what is left before it takes or allocates anything, and a
// failed read leaves the reader failed for good.
class ArchiveReader {
 public:
  explicit ArchiveReader(std::string data) : data_(std::move(data)) {}

  bool readInt32(std::int32_t& value);
  bool readUInt8(std::uint8_t& value);
  bool readUInt16(std::uint16_t& value);
  bool readUInt32(std::uint32_t& value);
  bool readDouble(double& value);
  // A text: one length byte below 255; else 0xFF and a 2-byte length below
  // 0xFFFE; else 0xFF, 0xFFFF and a 4-byte length; then the bytes.
  bool readString(std::string& value);

  // A count of records of at least `minimumRecordSize` bytes each: refused
  // when negative or when the rest of the data cannot hold that many.
  bool readCount(std::int32_t& count, std::size_t minimumRecordSize);

  std::size_t remaining() const noexcept { return failed_ ? 0 : data_.size() - position_; }
  bool failed() const noexcept { return failed_; }
  bool atEnd() const noexcept { return !failed_ && position_ == data_.size(); }

 private:
  bool take(void* out, std::size_t size);

  std::string data_;
  std::size_t position_ = 0;
  bool failed_ = false;
};

class ArchiveWriter {
 public:
  void writeInt32(std::int32_t value);
  void writeUInt8(std::uint8_t value);
  void writeUInt16(std::uint16_t value);
  void writeUInt32(std::uint32_t value);
  void writeDouble(double value);
  void writeString(std::string_view value);

  const std::string& data() const noexcept { return data_; }
  // Replaces `path` with the data through a temporary file and a rename.
  bool commit(const std::filesystem::path& path) const;

 private:
  void put(const void* bytes, std::size_t size);
  std::string data_;
};

}  // namespace pelmar
