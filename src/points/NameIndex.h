#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace pelmar {

// Point names (bytes, letter case included) indexed for lookup in constant
// time: an open-addressing table of 8-byte slots, each the name's hash and
// its position in the caller's list, which keeps the names; `nameAt`
// (position -> std::string_view) reads them back. std::unordered_map spent
// a heap block per name: at a million points the pairing and the check for
// repeated names took a quarter of an estimation's time.
template <class NameAt>
class NameIndex {
 public:
  explicit NameIndex(NameAt nameAt, std::size_t expected = 0) : nameAt_(std::move(nameAt)) { Resize(expected); }

  // The position of the first name equal to `name` that was added; or, when
  // there is none, -1 after adding `name` at `position`.
  std::ptrdiff_t FindOrAdd(std::string_view name, std::size_t position) {
    if (position >= kEmpty) throw std::length_error("NameIndex: more than 4e9 names");
    if (2 * (count_ + 1) > slots_.size()) Resize(count_ + 1);
    const std::uint64_t hash = Hash(name);
    std::size_t at = static_cast<std::size_t>(hash) & mask_;
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (;; at = (at + 1) & mask_) {
      Slot& slot = slots_[at];
      if (slot.position == kEmpty) {
        slot = {tag, static_cast<std::uint32_t>(position)};
        ++count_;
        return -1;
      }
      if (slot.tag == tag && nameAt_(slot.position) == name) return slot.position;
    }
  }

  // The position of the first name equal to `name` that was added, or -1.
  std::ptrdiff_t Find(std::string_view name) const {
    const std::uint64_t hash = Hash(name);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t at = static_cast<std::size_t>(hash) & mask_;; at = (at + 1) & mask_) {
      const Slot& slot = slots_[at];
      if (slot.position == kEmpty) return -1;
      if (slot.tag == tag && nameAt_(slot.position) == name) return slot.position;
    }
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;
    std::uint32_t position = kEmpty;
  };
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

  static std::uint64_t Hash(std::string_view name) { return std::hash<std::string_view>{}(name); }

  // At least two slots per name (at most half full), a power of two.
  void Resize(std::size_t names) {
    std::size_t size = 16;
    while (size < 2 * names) size *= 2;
    if (size <= slots_.size()) return;
    std::vector<Slot> old(size);
    old.swap(slots_);
    mask_ = size - 1;
    for (const Slot& slot : old) {
      if (slot.position == kEmpty) continue;
      std::size_t at = static_cast<std::size_t>(Hash(nameAt_(slot.position))) & mask_;
      while (slots_[at].position != kEmpty) at = (at + 1) & mask_;
      slots_[at] = slot;
    }
  }

  NameAt nameAt_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

}  // namespace pelmar
