#include "btrieve/BtrBlob.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "btrieve/BtrConv.h"
#include "engine/BseErrs.h"

namespace vader {
namespace {

using Group = std::array<char, 4>;

constexpr char kSignature[] = "###";
constexpr size_t kSignatureLength = 3;
constexpr char kRepeat = '!';
constexpr char kPad = '=';
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char MapByteBase64(uint8_t value) {
  if (value > 63) throw EConvertError("MapByteBase64 - Unexpected value: " + std::to_string(value));
  return kAlphabet[value];
}

uint8_t MapBase64toByte(char c) {
  if (c == kPad) return 0;
  const char* found = std::strchr(kAlphabet, c);
  if (c == '\0' || found == nullptr)
    throw EConvertError(std::string("MapBase64toByte - Unexpected value: ") + c);
  return static_cast<uint8_t>(found - kAlphabet);
}

Group EncodeGroup(const uint8_t (&b)[3], size_t count) {
  return {MapByteBase64(b[0] >> 2), MapByteBase64(((b[0] & 0x03) << 4) | (b[1] >> 4)),
          count < 2 ? kPad : MapByteBase64(((b[1] & 0x0F) << 2) | (b[2] >> 6)),
          count < 3 ? kPad : MapByteBase64(b[2] & 0x3F)};
}

}  // namespace

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

size_t TMemoryStream::Read(void* dest, size_t count) {
  if (position_ >= data_.size()) return 0;
  const size_t n = std::min(count, data_.size() - position_);
  std::memcpy(dest, data_.data() + position_, n);
  position_ += n;
  return n;
}

void TMemoryStream::Write(const void* src, size_t count) {
  if (count == 0) return;
  if (position_ + count > data_.size()) data_.resize(position_ + count);
  std::memcpy(data_.data() + position_, src, count);
  position_ += count;
}

void EncodeBlob(TMemoryStream& source, TMemoryStream& dest) {
  dest.Clear();
  source.Seek(0);
  dest.Write(kSignature, kSignatureLength);
  // No group of three bytes encodes as four pad characters, so the first group is never a repeat.
  Group last = {kPad, kPad, kPad, kPad};
  for (;;) {
    uint8_t bytes[3] = {};
    const size_t count = source.Read(bytes, 3);
    if (count == 0) return;
    const Group group = EncodeGroup(bytes, count);
    if (count == 3 && group == last) {
      dest.Write(&kRepeat, 1);
    } else {
      dest.Write(group.data(), group.size());
      last = group;
    }
    if (count < 3) return;
  }
}

size_t BlobTextLength(const std::string& value) {
  if (value.empty()) return 0;
  TMemoryStream source, text;
  source.Write(value.data(), value.size());
  EncodeBlob(source, text);
  return text.Size() + 1;
}

void DecodeBlob(TMemoryStream& source, TMemoryStream& dest) {
  dest.Clear();
  const uint8_t* text = source.Data();
  const size_t size = source.Size();
  if (size < kSignatureLength || std::memcmp(text, kSignature, kSignatureLength) != 0)
    RaiseEngineError(DBIERR_BLOBVERSION);
  uint8_t last[3] = {};
  size_t i = kSignatureLength;
  while (i < size) {
    if (text[i] == kRepeat) {
      dest.Write(last, 3);
      ++i;
      continue;
    }
    // A short final group counts its missing characters as padding.
    char g[4] = {kPad, kPad, kPad, kPad};
    const size_t available = std::min<size_t>(4, size - i);
    std::memcpy(g, text + i, available);
    i += available;
    uint8_t v[4];
    for (int k = 0; k < 4; ++k) v[k] = MapBase64toByte(g[k]);
    last[0] = static_cast<uint8_t>((v[0] << 2) | (v[1] >> 4));
    last[1] = static_cast<uint8_t>((v[1] << 4) | (v[2] >> 2));
    last[2] = static_cast<uint8_t>((v[2] << 6) | v[3]);
    const size_t count = 1 + (g[2] != kPad) + (g[3] != kPad);
    dest.Write(last, count);
    if (count < 3) return;
  }
}

}  // namespace vader
