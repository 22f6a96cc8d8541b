// TextBuffer growth: needed × 3 / 2, at least 16 bytes.
#include "controller/TextBuffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace kivo {

void TextBuffer::Reserve(std::int64_t needed) {
  if (needed <= capacity_) return;
  std::int64_t capacity = needed * 3 / 2;
  if (capacity < 16) capacity = 16;
  if (capacity > INT32_MAX) capacity = INT32_MAX;
  if (needed > capacity) {
    // Past 2 GiB the 32-bit length cannot describe the text: stop rather than
    // corrupt it.
    std::fputs("kivo: text buffer exceeds 2 GiB\n", stderr);
    std::abort();
  }
  auto grown = std::make_unique<char[]>(static_cast<std::size_t>(capacity));
  if (storage_) {
    std::memcpy(grown.get(), storage_.get(), static_cast<std::size_t>(length_) + 1);
  } else {
    grown[0] = '\0';
  }
  storage_ = std::move(grown);
  capacity_ = static_cast<std::int32_t>(capacity);
}

bool TextBuffer::Holds(const char* text) const {
  if (!storage_ || text == nullptr) return false;
  const std::less<const char*> before;
  return !before(text, storage_.get()) && before(text, storage_.get() + capacity_);
}

void TextBuffer::Append(const char* text) {
  if (text == nullptr || *text == '\0') return;
  if (Holds(text)) {
    // Its own text: take a copy before growth can release the storage.
    const std::string copy(text);
    Append(copy.c_str());
    return;
  }
  std::size_t added = std::strlen(text);
  Reserve(static_cast<std::int64_t>(length_) + static_cast<std::int64_t>(added) + 1);
  std::memcpy(storage_.get() + length_, text, added + 1);
  length_ += static_cast<std::int32_t>(added);
}

void TextBuffer::AppendPair(const char* first, const char* second) {
  if (Holds(second)) {
    // Appending the first text may move the storage the second lies in.
    const std::string copy(second);
    Append(first);
    Append(copy.c_str());
    return;
  }
  Append(first);
  Append(second);
}

void TextBuffer::AppendNumber(std::int32_t number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", number);
  Append(digits);
}

void TextBuffer::AppendBytes(const char* data, std::int32_t n) {
  if (data == nullptr || n < 1) return;
  if (Holds(data)) {
    // Its own bytes: strncpy stops at the copy's terminator and pads with
    // zeros as it would have on the original.
    const std::string copy(data, ::strnlen(data, static_cast<std::size_t>(n)));
    AppendBytes(copy.c_str(), n);
    return;
  }
  Reserve(static_cast<std::int64_t>(length_) + n + 1);
  std::strncpy(storage_.get() + length_, data, static_cast<std::size_t>(n));
  length_ += n;
  storage_[length_] = '\0';
}

void TextBuffer::AppendBuffer(const TextBuffer& other) {
  if (&other == this) {
    // Appending a buffer to itself: copy first, the storage may move.
    std::unique_ptr<char[]> copy = std::make_unique<char[]>(static_cast<std::size_t>(length_) + 1);
    std::memcpy(copy.get(), Text(), static_cast<std::size_t>(length_) + 1);
    AppendBytes(copy.get(), length_);
    return;
  }
  AppendBytes(other.storage_.get(), other.length_);
}

void TextBuffer::Assign(const char* text) {
  Clear();
  Append(text);
}

void TextBuffer::Clear() {
  length_ = 0;
  if (storage_) storage_[0] = '\0';
}

const char* TextBuffer::Text() const {
  return storage_ ? storage_.get() : "";
}

}  // namespace kivo
