#pragma once
// Small string and buffer routines shared by the engine and its drivers. Fixed-size character
// buffers are always written with a bound and read only up to their own size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vader {

// A length-prefixed string of at most 255 characters in a 256-byte block: byte 0 holds the
// length, the text follows. Bytes past the length are part of the block and may be set.
class TShortString {
 public:
  static constexpr size_t kMaxLength = 255;

  TShortString() = default;
  explicit TShortString(std::string_view text) { Assign(text); }

  // Stores at most the first 255 characters of `text`.
  void Assign(std::string_view text);
  size_t Length() const { return bytes_[0]; }
  std::string_view View() const { return {reinterpret_cast<const char*>(bytes_ + 1), Length()}; }
  std::string Str() const { return std::string(View()); }
  // Byte `index` of the block (0 is the length byte).
  unsigned char& Byte(size_t index) { return bytes_[index]; }
  unsigned char Byte(size_t index) const { return bytes_[index]; }

 private:
  unsigned char bytes_[kMaxLength + 1] = {};
};

// Copies at most `size` - 1 characters of `text` into `dest` and ends it with a NUL.
void CopyBounded(char* dest, size_t size, std::string_view text);

// CopyBounded into a character array, sized by the array.
template <size_t N>
void CopyToBuffer(char (&dest)[N], std::string_view text) {
  CopyBounded(dest, N, text);
}

// The NUL-terminated text of a character array, never reading past the array.
template <size_t N>
std::string BoundedString(const char (&text)[N]) {
  size_t length = 0;
  while (length < N && text[length] != '\0') ++length;
  return std::string(text, length);
}

// Sets bytes Length() + 1 to width - 1 of `s` to `ch` (when width >= 2 and the text is shorter
// than width); the length is kept. Width is bounded by the block.
void PadShortString(TShortString& s, char ch, size_t width);

// The characters of `src` that are '+', '-', '.' or a digit, in order.
std::string KeepNumericChars(std::string_view src);

// The `len` bytes of `buf` without leading and trailing blanks and control characters, cut to
// 255 characters.
std::string BufferToTrimmedString(const void* buf, size_t len);

// As BufferToTrimmedString, with a NUL character appended inside the result.
std::string BufferToTrimmedZString(const void* buf, size_t len);

// Unsigned byte-wise comparison of the first `len` bytes: -1, 0 or 1.
int CompareBytes(const void* a, const void* b, size_t len);

// Appends `ch` unless `s` already holds 255 characters.
void AppendChar(TShortString& s, char ch);

// `src` with a backslash appended when it does not end with one.
std::string AddBackslash(std::string_view src);

void ZeroMem(void* p, uint16_t count);
bool IsZeroMem(const void* p, size_t count);
std::string MakeCharString(char ch, size_t count);

// `src` without any occurrence of `ch`.
std::string RemoveChar(std::string_view src, char ch);

// Replaces every `oldCh` byte of the first `len` bytes of `buf` by `newCh`.
void ReplaceChar(void* buf, size_t len, char oldCh, char newCh);

// As ReplaceChar, but leaves text between quotes alone; a double and a single quote toggle one
// common quoted state.
void ReplaceCharOutsideQuotes(void* buf, size_t len, char oldCh, char newCh);

// True when `name` holds ':', a backslash or a slash, or (with allowDot) a '.'.
bool IsPathName(std::string_view name, bool allowDot);

inline uint32_t MinUnsigned(uint32_t a, uint32_t b) { return a < b ? a : b; }

// Replaces the first `find` in the NUL-terminated `dest` by `repl` (nullptr deletes it), keeping
// at most `maxLen` characters (`dest` holds maxLen + 1 bytes). False when `find` does not occur
// or is empty.
bool ReplaceText(char* dest, const char* find, const char* repl, size_t maxLen);

// Cuts the NUL-terminated `s` at the first `ch`; returns `s` (nullptr stays nullptr).
char* TruncAtChar(char* s, char ch);

// The login name of the current user, at most 255 characters.
std::string GetNetUserName();

// Equality ignoring the case of ASCII letters.
bool SameText(std::string_view a, std::string_view b);

}  // namespace vader
