#include "framework/Streams.h"

namespace vader {

std::string TStream::ReadAll() {
  Seek(0, TSeekOrigin::soBeginning);
  std::string contents;
  char chunk[4096];
  for (;;) {
    const std::int64_t got = Read(chunk, sizeof chunk);
    if (got <= 0) break;
    contents.append(chunk, static_cast<std::size_t>(got));
  }
  return contents;
}

}  // namespace vader
