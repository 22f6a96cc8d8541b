// TextBuffer: the growable NUL-terminated 8-bit text of the system. Used for
// the report text, the monitor's pending text and the host description.
// No lock of its own: shared instances are guarded by their users.
#pragma once

#include <cstdint>
#include <memory>

namespace kivo {

class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  // Appends a NUL-terminated text; null or empty changes nothing.
  void Append(const char* text);
  void AppendPair(const char* first, const char* second);
  // Appends the number in decimal, as "%d" gives it.
  void AppendNumber(std::int32_t number);
  // Appends exactly n bytes taken as strncpy takes them (bytes after a zero
  // byte become zeros); nothing when data is null or n < 1.
  void AppendBytes(const char* data, std::int32_t n);
  void AppendBuffer(const TextBuffer& other);
  void Assign(const char* text);
  // Length 0; the storage stays allocated.
  void Clear();
  // The text; "" while there is no storage. Valid until the next change.
  const char* Text() const;

  std::int32_t Length() const { return length_; }
  std::int32_t Capacity() const { return capacity_; }

 private:
  void Reserve(std::int64_t needed);
  // True when `text` points into this buffer's own storage, which growth
  // may release.
  bool Holds(const char* text) const;

  std::int32_t length_ = 0;
  std::int32_t capacity_ = 0;
  std::unique_ptr<char[]> storage_;
};

}  // namespace kivo
