#pragma once
// Byte streams: what blob fields read and write their contents through.

#include <cstdint>
#include <string>

namespace vader {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };
enum class TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

class TStream {
 public:
  virtual ~TStream() = default;
  // Read and Write return the bytes moved; Seek returns the new position.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size() = 0;
  // Cuts the stream at the current position.
  virtual void Truncate() = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  // The whole contents from the start; the stream stays at its end.
  std::string ReadAll();
};

}  // namespace vader
