#include "io/Archive.h"

#include <bit>
#include <cstring>

#include "io/FileReplace.h"

namespace pelmar {

static_assert(std::endian::native == std::endian::little, "the archive form is little-endian, as this machine");

bool ArchiveReader::take(void* out, std::size_t size) {
  if (failed_ || data_.size() - position_ < size) {
    failed_ = true;
    return false;
  }
  std::memcpy(out, data_.data() + position_, size);
  position_ += size;
  return true;
}

bool ArchiveReader::readInt32(std::int32_t& value) { return take(&value, sizeof value); }
bool ArchiveReader::readUInt8(std::uint8_t& value) { return take(&value, sizeof value); }
bool ArchiveReader::readUInt16(std::uint16_t& value) { return take(&value, sizeof value); }
bool ArchiveReader::readUInt32(std::uint32_t& value) { return take(&value, sizeof value); }
bool ArchiveReader::readDouble(double& value) { return take(&value, sizeof value); }

bool ArchiveReader::readString(std::string& value) {
  std::uint8_t shortLength = 0;
  if (!readUInt8(shortLength)) return false;
  std::uint32_t length = shortLength;
  if (shortLength == 0xFF) {
    std::uint16_t middle = 0;
    if (!readUInt16(middle)) return false;
    length = middle;
    if (middle == 0xFFFE) {  // the marker of a UTF-16 text, which these files never hold
      failed_ = true;
      return false;
    }
    if (middle == 0xFFFF && !readUInt32(length)) return false;
  }
  if (length > remaining()) {
    failed_ = true;
    return false;
  }
  value.assign(data_, position_, length);
  position_ += length;
  return true;
}

bool ArchiveReader::readCount(std::int32_t& count, std::size_t minimumRecordSize) {
  if (!readInt32(count)) return false;
  if (count < 0 || (minimumRecordSize > 0 && static_cast<std::size_t>(count) > remaining() / minimumRecordSize)) {
    failed_ = true;
    return false;
  }
  return true;
}

void ArchiveWriter::put(const void* bytes, std::size_t size) {
  data_.append(static_cast<const char*>(bytes), size);
}

void ArchiveWriter::writeInt32(std::int32_t value) { put(&value, sizeof value); }
void ArchiveWriter::writeUInt8(std::uint8_t value) { put(&value, sizeof value); }
void ArchiveWriter::writeUInt16(std::uint16_t value) { put(&value, sizeof value); }
void ArchiveWriter::writeUInt32(std::uint32_t value) { put(&value, sizeof value); }
void ArchiveWriter::writeDouble(double value) { put(&value, sizeof value); }

void ArchiveWriter::writeString(std::string_view value) {
  const std::size_t length = value.size();
  if (length < 0xFF) {
    writeUInt8(static_cast<std::uint8_t>(length));
  } else if (length < 0xFFFE) {
    writeUInt8(0xFF);
    writeUInt16(static_cast<std::uint16_t>(length));
  } else {
    writeUInt8(0xFF);
    writeUInt16(0xFFFF);
    writeUInt32(static_cast<std::uint32_t>(length));
  }
  put(value.data(), length);
}

bool ArchiveWriter::commit(const std::filesystem::path& path) const { return replaceFileContent(path, data_); }

}  // namespace pelmar
