// Explicit little- and big-endian load/store helpers and a bounds-checked
// reader and writer over byte buffers, used by the RPC PDU codec and the NDR
// stub helpers. Platform-internal; tests may use them to craft odd PDUs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kivo::platform {

inline std::uint16_t LoadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint16_t LoadBe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint32_t LoadBe32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
inline void StoreLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreBe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void StoreBe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

// Appends integers in one byte order to a growing buffer.
class ByteWriter {
 public:
  ByteWriter(std::vector<std::uint8_t>& out, bool littleEndian) : out_(out), littleEndian_(littleEndian) {}

  // Grows with resize and writes in place: the insert forms trip a false
  // overflow warning of the optimiser.
  void U8(std::uint8_t v) { Grow(1)[0] = v; }
  void U16(std::uint16_t v) { littleEndian_ ? StoreLe16(Grow(2), v) : StoreBe16(Grow(2), v); }
  void U32(std::uint32_t v) { littleEndian_ ? StoreLe32(Grow(4), v) : StoreBe32(Grow(4), v); }
  void Bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    std::uint8_t* p = Grow(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) p[i] = bytes[i];
  }
  // Pads with zero bytes until the buffer's length is a multiple of `n`.
  void AlignTo(std::size_t n) {
    std::size_t rest = out_.size() % n;
    if (rest != 0) Grow(n - rest);
  }
  std::size_t Size() const { return out_.size(); }

 private:
  std::uint8_t* Grow(std::size_t n) {
    std::size_t at = out_.size();
    out_.resize(at + n);
    return out_.data() + at;
  }

  std::vector<std::uint8_t>& out_;
  bool littleEndian_;
};

// Reads integers in one byte order; a read past the end sets the failed flag
// and yields zero, so a decoder checks Ok() once at the end.
class ByteReader {
 public:
  ByteReader(std::span<const std::uint8_t> bytes, bool littleEndian)
      : bytes_(bytes), littleEndian_(littleEndian) {}

  std::uint8_t U8() {
    if (!Need(1)) return 0;
    return bytes_[pos_++];
  }
  std::uint16_t U16() {
    if (!Need(2)) return 0;
    std::uint16_t v = littleEndian_ ? LoadLe16(&bytes_[pos_]) : LoadBe16(&bytes_[pos_]);
    pos_ += 2;
    return v;
  }
  std::uint32_t U32() {
    if (!Need(4)) return 0;
    std::uint32_t v = littleEndian_ ? LoadLe32(&bytes_[pos_]) : LoadBe32(&bytes_[pos_]);
    pos_ += 4;
    return v;
  }
  // Copies `n` bytes; false (and failed) when fewer remain.
  bool Bytes(std::uint8_t* out, std::size_t n) {
    if (!Need(n)) return false;
    for (std::size_t i = 0; i < n; ++i) out[i] = bytes_[pos_ + i];
    pos_ += n;
    return true;
  }
  void Skip(std::size_t n) {
    if (Need(n)) pos_ += n;
  }
  // Skips to the next multiple of `n` counted from the start of the buffer.
  void AlignTo(std::size_t n) {
    std::size_t rest = pos_ % n;
    if (rest != 0) Skip(n - rest);
  }
  std::span<const std::uint8_t> Rest() const { return failed_ ? bytes_.subspan(0, 0) : bytes_.subspan(pos_); }
  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return failed_ ? 0 : bytes_.size() - pos_; }
  bool Ok() const { return !failed_; }

 private:
  bool Need(std::size_t n) {
    if (failed_ || bytes_.size() - pos_ < n) {
      failed_ = true;
      return false;
    }
    return true;
  }

  std::span<const std::uint8_t> bytes_;
  bool littleEndian_;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace kivo::platform
