// Writes the Stat data of each Btrieve file named on the command line (file and key
// specifications, then any alternate collating sequences) into OUTPUT_DIR, one file each:
// the layout a Create buffer has, taken from real files for the record manager's fuzz target.
//   stat_seeds OUTPUT_DIR FILE...

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" int16_t BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer,
                           uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                           int8_t keyNumber);

namespace {

constexpr uint16_t kOpen = 0, kClose = 1, kStat = 15;
constexpr int8_t kReadOnly = -2;

bool WriteStat(const std::string& path, const std::string& out) {
  uint8_t position[128] = {};
  char key[256] = {};
  std::strncpy(key, path.c_str(), sizeof key - 1);
  uint32_t length = 0;
  int16_t status = BTRCALL(kOpen, position, nullptr, &length, key, 255, kReadOnly);
  if (status != 0) {
    std::fprintf(stderr, "stat_seeds: %s: open status %d\n", path.c_str(), status);
    return false;
  }
  std::vector<uint8_t> stat(65535);
  length = static_cast<uint32_t>(stat.size());
  char name[256] = {};
  status = BTRCALL(kStat, position, stat.data(), &length, name, 255, 0);
  BTRCALL(kClose, position, nullptr, &length, key, 255, 0);
  if (status != 0) {
    std::fprintf(stderr, "stat_seeds: %s: stat status %d\n", path.c_str(), status);
    return false;
  }
  FILE* f = std::fopen(out.c_str(), "wb");
  if (f == nullptr) return false;
  std::fwrite(stat.data(), 1, length, f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: stat_seeds OUTPUT_DIR FILE...\n");
    return 2;
  }
  int failed = 0;
  for (int i = 2; i < argc; ++i) {
    std::string base = argv[i];
    base = base.substr(base.find_last_of('/') + 1);
    failed += !WriteStat(argv[i], std::string(argv[1]) + "/stat-" + base);
  }
  return failed == 0 ? 0 : 1;
}
