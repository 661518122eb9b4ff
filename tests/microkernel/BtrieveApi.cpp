#include "BtrieveApi.h"

#include <dlfcn.h>
#include <limits.h>
#include <spawn.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace vader::microkernel::test {
namespace {

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

}  // namespace

const Api& Api::Get() {
  static const Api api = [] {
    Api a;
    void* lib = ::dlopen((ExecutableDir() + "/libwbtrv32.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) throw std::runtime_error(::dlerror());
    a.call = reinterpret_cast<BtrCall>(::dlsym(lib, "BTRCALL"));
    a.callId = reinterpret_cast<BtrCallId>(::dlsym(lib, "BTRCALLID"));
    a.init = reinterpret_cast<BtrInit>(::dlsym(lib, "WBTRVINIT"));
    a.stop = reinterpret_cast<BtrStop>(::dlsym(lib, "WBTRVSTOP"));
    a.waitHook = reinterpret_cast<BtrWaitHook>(::dlsym(lib, "WBTRVWAITHOOK"));
    a.scan = reinterpret_cast<BtrScan>(::dlsym(lib, "VADERSCANRECORDS"));
    return a;
  }();
  return api;
}

File::~File() {
  if (open) Close();
}

int16_t File::Call(uint16_t op, void* data, uint32_t& length, void* keyBuffer, uint8_t keyLength,
                   int8_t keyNumber) {
  const Api& api = Api::Get();
  return client_
             ? api.callId(op, pb, data, &length, keyBuffer, keyLength, keyNumber, client_->bytes)
             : api.call(op, pb, data, &length, keyBuffer, keyLength, keyNumber);
}

int16_t File::Open(const std::string& path, int8_t mode, const std::string& owner) {
  char name[255] = {};
  std::strncpy(name, path.c_str(), sizeof name - 1);
  std::string ownerBuf = owner;
  uint32_t len = owner.empty() ? 0 : static_cast<uint32_t>(owner.size() + 1);
  const int16_t s = Call(0, owner.empty() ? nullptr : ownerBuf.data(), len, name, 255, mode);
  open = s == 0;
  return s;
}

int16_t File::Close() {
  uint8_t scratch[4];
  uint32_t len = 0;
  open = false;
  return Call(1, scratch, len, key, 255, 0);
}

int16_t File::Insert(const std::string& rec, int8_t keyNumber) {
  record = rec;
  uint32_t len = static_cast<uint32_t>(record.size());
  return Call(2, record.data(), len, key, 255, keyNumber);
}

int16_t File::Update(const std::string& rec, int8_t keyNumber) {
  record = rec;
  uint32_t len = static_cast<uint32_t>(record.size());
  return Call(3, record.data(), len, key, 255, keyNumber);
}

int16_t File::Delete(int8_t keyNumber) {
  uint32_t len = 0;
  return Call(4, nullptr, len, key, 255, keyNumber);
}

int16_t File::Get(uint16_t op, int8_t keyNumber, const std::string& keyValue, uint32_t bufferSize) {
  if (!keyValue.empty()) {
    std::memset(key, 0, sizeof key);
    std::memcpy(key, keyValue.data(), std::min(keyValue.size(), sizeof key));
  }
  record.assign(bufferSize, '\0');
  uint32_t len = bufferSize;
  const int16_t s = Call(op, record.data(), len, key, 255, keyNumber);
  record.resize(std::min(len, bufferSize));
  return s;
}

int16_t File::Step(uint16_t op, uint32_t bufferSize) {
  record.assign(bufferSize, '\0');
  uint32_t len = bufferSize;
  const int16_t s = Call(op, record.data(), len, key, 255, 0);
  record.resize(std::min(len, bufferSize));
  return s;
}

int16_t File::Position(uint32_t& pos) {
  uint8_t buf[4] = {};
  uint32_t len = 4;
  const int16_t s = Call(22, buf, len, key, 255, 0);
  std::memcpy(&pos, buf, 4);
  return s;
}

int16_t File::Direct(uint32_t pos, int8_t keyNumber, uint32_t bufferSize) {
  record.assign(std::max<uint32_t>(bufferSize, 4), '\0');
  std::memcpy(record.data(), &pos, 4);
  uint32_t len = bufferSize;
  const int16_t s = Call(23, record.data(), len, key, 255, keyNumber);
  record.resize(std::min(len, bufferSize));
  return s;
}

int16_t File::Stat(std::vector<uint8_t>& out, int8_t keyNumber, uint32_t size) {
  out.assign(size, 0);
  uint32_t len = size;
  char name[255] = {};
  const int16_t s = Call(15, out.data(), len, name, 255, keyNumber);
  out.resize(std::min(len, size));
  return s;
}

uint32_t File::RecordCount() {
  std::vector<uint8_t> stat;
  if (Stat(stat) != 0 && stat.size() < 10) return 0xFFFFFFFF;
  uint32_t n;
  std::memcpy(&n, stat.data() + 6, 4);
  return n;
}

Layout::Layout(uint16_t recordLength, uint16_t pageSize, uint16_t flags) : file_(16, 0) {
  std::memcpy(file_.data(), &recordLength, 2);
  std::memcpy(file_.data() + 2, &pageSize, 2);
  std::memcpy(file_.data() + 10, &flags, 2);
}

Layout& Layout::Key(std::vector<Seg> segments) {
  keys_.push_back(std::move(segments));
  return *this;
}

Layout& Layout::Acs(const std::vector<uint8_t>& block) {
  acs_.push_back(block);
  return *this;
}

std::vector<uint8_t> Layout::SegmentBytes(const std::vector<Seg>& segments) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < segments.size(); ++i) {
    const Seg& s = segments[i];
    uint8_t b[16] = {};
    const uint16_t flags =
        static_cast<uint16_t>(s.flags | 0x0100 | (i + 1 < segments.size() ? 0x0010 : 0));
    std::memcpy(b, &s.position, 2);
    std::memcpy(b + 2, &s.length, 2);
    std::memcpy(b + 4, &flags, 2);
    b[10] = s.type;
    b[11] = s.nullValue;
    b[15] = s.acs;
    out.insert(out.end(), b, b + 16);
  }
  return out;
}

std::vector<uint8_t> Layout::Bytes() const {
  std::vector<uint8_t> out = file_;
  out[4] = static_cast<uint8_t>(keys_.size());
  for (const auto& k : keys_) {
    const auto seg = SegmentBytes(k);
    out.insert(out.end(), seg.begin(), seg.end());
  }
  for (const auto& a : acs_) out.insert(out.end(), a.begin(), a.end());
  return out;
}

int16_t Create(const std::string& path, const std::vector<uint8_t>& layout, int8_t mode,
               ClientId* client) {
  File f(client);
  std::vector<uint8_t> buf = layout;
  char name[255] = {};
  std::strncpy(name, path.c_str(), sizeof name - 1);
  uint32_t len = static_cast<uint32_t>(buf.size());
  return f.Call(14, buf.data(), len, name, 255, mode);
}

int16_t Op(uint16_t op, ClientId* client) {
  uint8_t pb[128] = {};
  uint8_t data[16] = {};
  uint8_t key[255] = {};
  uint32_t len = 0;
  const Api& api = Api::Get();
  return client ? api.callId(op, pb, data, &len, key, 0, 0, client->bytes)
                : api.call(op, pb, data, &len, key, 0, 0);
}

std::string TempDir() {
  char tmpl[] = "/tmp/vader-mk-XXXXXX";
  const char* dir = ::mkdtemp(tmpl);
  return dir ? std::string(dir) : std::string("/tmp");
}

void RemoveTree(const std::string& dir) {
  if (dir.rfind("btrv://", 0) == 0) return;  // the test server goes with everything on it
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

std::string Le(uint64_t v, size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n && i < 8; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

uint64_t FromLe(const std::string& s, size_t offset, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n && offset + i < s.size(); ++i)
    v |= static_cast<uint64_t>(static_cast<uint8_t>(s[offset + i])) << (8 * i);
  return v;
}

int SpawnChild(const std::string& role, const std::vector<std::string>& args, int stdoutFd,
               int stdinFd, const std::string& netns) {
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return -1;
  exe[n] = '\0';
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back("VADER_MK_CHILD=" + role);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore = {exe};
  if (!netns.empty()) argStore = {"/usr/sbin/ip", "netns", "exec", netns, exe};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
  if (stdinFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, argStore.front().c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

}  // namespace vader::microkernel::test
