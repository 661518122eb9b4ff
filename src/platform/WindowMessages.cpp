#include "platform/WindowMessages.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>

#include "platform/TextCase.h"

namespace vader::platform {
namespace {

constexpr std::size_t kTableCapacity = kLastRegisteredMessage - kFirstRegisteredMessage + 1;

std::string DefaultTableFile() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir = (runtime && *runtime) ? runtime
                                                : std::filesystem::temp_directory_path().string();
  return dir + "/vader-" + std::to_string(getuid()) + "-messages";
}

struct MessageTable {
  std::mutex mutex;
  std::optional<std::string> file;             // unset until first use
  std::vector<std::string> localNames;         // used when the file cannot be
  std::map<std::string, std::uint32_t> cache;  // upper-cased name -> identifier
};

MessageTable& Table() {
  static MessageTable table;
  return table;
}

std::optional<std::uint32_t> IndexOf(const std::vector<std::string>& names,
                                     const std::string& name) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (EqualsIgnoringAsciiCase(names[i], name)) return static_cast<std::uint32_t>(i);
  return std::nullopt;
}

// Looks Name up in (or appends it to) the locked shared file; nothing when the file fails.
std::optional<std::uint32_t> RegisterInFile(const std::string& path, const std::string& name) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return std::nullopt;
  std::optional<std::uint32_t> index;
  if (flock(fd, LOCK_EX) == 0) {
    std::vector<std::string> names;
    {
      std::ifstream in(path);
      for (std::string line; std::getline(in, line);) names.push_back(line);
    }
    index = IndexOf(names, name);
    if (!index && names.size() < kTableCapacity) {
      const std::string line = name + "\n";
      if (lseek(fd, 0, SEEK_END) >= 0 &&
          write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()))
        index = static_cast<std::uint32_t>(names.size());
    }
    flock(fd, LOCK_UN);
  }
  close(fd);
  return index;
}

std::optional<std::uint32_t> RegisterLocally(MessageTable& table, const std::string& name) {
  if (auto index = IndexOf(table.localNames, name)) return index;
  if (table.localNames.size() >= kTableCapacity) return std::nullopt;
  table.localNames.push_back(name);
  return static_cast<std::uint32_t>(table.localNames.size() - 1);
}

struct BroadcastQueue {
  std::mutex mutex;
  std::vector<PostedMessage> pending;
  std::map<int, BroadcastReceiver> receivers;
  int nextId = 1;
  std::function<void()> wakeUp;
};

BroadcastQueue& Queue() {
  static BroadcastQueue queue;
  return queue;
}

}  // namespace

std::uint32_t RegisterWindowMessage(const std::string& name) {
  // A line break would split the name in the shared table; such names cannot register.
  if (name.empty() || name.find_first_of("\r\n") != std::string::npos) return 0;
  MessageTable& table = Table();
  std::lock_guard lock(table.mutex);
  const std::string cacheKey = AsciiUpperCase(name);
  if (auto hit = table.cache.find(cacheKey); hit != table.cache.end()) return hit->second;
  if (!table.file) table.file = DefaultTableFile();

  std::optional<std::uint32_t> index;
  if (!table.file->empty()) index = RegisterInFile(*table.file, name);
  if (!index) index = RegisterLocally(table, name);
  if (!index) return 0;
  const std::uint32_t id = kFirstRegisteredMessage + *index;
  table.cache[cacheKey] = id;
  return id;
}

void SetMessageTableFile(const std::string& path) {
  MessageTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.file = path;
  table.cache.clear();
  table.localNames.clear();
}

bool PostBroadcastMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message == 0) return false;
  std::function<void()> wakeUp;
  {
    BroadcastQueue& queue = Queue();
    std::lock_guard lock(queue.mutex);
    queue.pending.push_back({message, wParam, lParam});
    wakeUp = queue.wakeUp;
  }
  if (wakeUp) wakeUp();
  return true;
}

int AddBroadcastReceiver(BroadcastReceiver receiver) {
  BroadcastQueue& queue = Queue();
  std::lock_guard lock(queue.mutex);
  const int id = queue.nextId++;
  queue.receivers[id] = std::move(receiver);
  return id;
}

void RemoveBroadcastReceiver(int id) {
  BroadcastQueue& queue = Queue();
  std::lock_guard lock(queue.mutex);
  queue.receivers.erase(id);
}

void SetPostWakeUp(std::function<void()> wakeUp) {
  BroadcastQueue& queue = Queue();
  std::lock_guard lock(queue.mutex);
  queue.wakeUp = std::move(wakeUp);
}

void DeliverPostedMessages() {
  std::vector<PostedMessage> batch;
  std::vector<BroadcastReceiver> receivers;
  {
    BroadcastQueue& queue = Queue();
    std::lock_guard lock(queue.mutex);
    batch.swap(queue.pending);
    for (const auto& [id, receiver] : queue.receivers) receivers.push_back(receiver);
  }
  // Receivers run outside the lock: they may post again or (un)register.
  for (const auto& message : batch)
    for (const auto& receiver : receivers) receiver(message);
}

std::vector<PostedMessage> PendingBroadcasts() {
  BroadcastQueue& queue = Queue();
  std::lock_guard lock(queue.mutex);
  return queue.pending;
}

void DiscardPendingBroadcasts() {
  BroadcastQueue& queue = Queue();
  std::lock_guard lock(queue.mutex);
  queue.pending.clear();
}

}  // namespace vader::platform
