#include "microkernel/CommitJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace vader::microkernel {
namespace {

constexpr char kMagic[8] = {'V', 'D', 'R', 'J', 'R', 'N', 'L', '1'};
constexpr uint32_t kEndMark = 0x454E4421;  // written last: the journal is complete

void Put(Bytes& out, uint64_t v, size_t n) {
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

void PutBytes(Bytes& out, const std::string& s) {
  Put(out, s.size(), 4);
  out += s;
}

// Bounded reader over the journal bytes.
class Reader {
 public:
  explicit Reader(const Bytes& b) : b_(b) {}
  bool Get(uint64_t& v, size_t n) {
    if (b_.size() - at_ < n) return false;
    v = ReadUnsigned(reinterpret_cast<const uint8_t*>(b_.data()) + at_, n);
    at_ += n;
    return true;
  }
  bool GetBytes(std::string& s) {
    uint64_t n = 0;
    if (!Get(n, 4) || b_.size() - at_ < n) return false;
    s.assign(b_, at_, n);
    at_ += n;
    return true;
  }
  bool AtEnd() const { return at_ == b_.size(); }

 private:
  const Bytes& b_;
  size_t at_ = 0;
};

bool SyncDirectory(const std::string& file) {
  const size_t slash = file.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool ReadFile(const std::string& path, Bytes& out) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) out.append(buf, n);
  std::fclose(in);
  return true;
}

}  // namespace

std::string JournalPath(const std::string& file) { return file + "-vtx"; }

bool WriteJournal(const std::string& file, const Journal& journal) {
  Bytes out(kMagic, sizeof kMagic);
  Put(out, journal.id, 8);
  Put(out, journal.participants.size(), 4);
  for (const std::string& p : journal.participants) PutBytes(out, p);
  Put(out, journal.entries.size(), 4);
  for (const JournalEntry& e : journal.entries) {
    Put(out, e.kind, 1);
    Put(out, e.pos, 4);
    PutBytes(out, e.record);
  }
  Put(out, kEndMark, 4);
  const std::string path = JournalPath(file);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == out.size() && ::fsync(fd) == 0;
  ::close(fd);
  return ok && SyncDirectory(path);
}

bool ReadJournal(const std::string& file, Journal& out) {
  Bytes b;
  if (!ReadFile(JournalPath(file), b) || b.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0)
    return false;
  const Bytes body = b.substr(sizeof kMagic);
  Reader r(body);
  Journal j;
  uint64_t count = 0;
  if (!r.Get(j.id, 8) || !r.Get(count, 4)) return false;
  for (uint64_t i = 0; i < count; ++i) {
    std::string p;
    if (!r.GetBytes(p)) return false;
    j.participants.push_back(std::move(p));
  }
  if (!r.Get(count, 4)) return false;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t kind = 0, pos = 0;
    JournalEntry e;
    if (!r.Get(kind, 1) || !r.Get(pos, 4) || !r.GetBytes(e.record)) return false;
    if (kind < JournalEntry::kInsert || kind > JournalEntry::kDelete) return false;
    e.kind = static_cast<JournalEntry::Kind>(kind);
    e.pos = static_cast<uint32_t>(pos);
    j.entries.push_back(std::move(e));
  }
  uint64_t end = 0;
  if (!r.Get(end, 4) || end != kEndMark || !r.AtEnd()) return false;
  out = std::move(j);
  return true;
}

bool CommitDecided(const Journal& journal) {
  for (const std::string& p : journal.participants) {
    Journal other;
    if (!ReadJournal(p, other) || other.id != journal.id) return false;
  }
  return true;
}

void RemoveJournal(const std::string& file) { std::remove(JournalPath(file).c_str()); }

}  // namespace vader::microkernel
