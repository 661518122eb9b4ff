#include "platform/Registry.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ProgramFiles.h"
#include "platform/TextCase.h"

namespace vader::platform {
namespace {

struct Value {
  std::string name;
  bool isDword = false;
  std::string text;
  uint32_t dword = 0;
};

struct Key {
  std::string path;
  std::vector<Value> values;
};

using Store = std::vector<Key>;

bool SameName(const std::string& a, const std::string& b) {
  return AsciiUpperCase(a) == AsciiUpperCase(b);
}

std::string RootName(uint32_t root) {
  switch (root) {
    case HKEY_CURRENT_USER:
      return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE:
      return "HKEY_LOCAL_MACHINE";
    default:
      return {};
  }
}

// "a\\b" -> "a\b" and "\"" -> '"' inside a quoted REGEDIT4 string starting after `pos`.
std::string Unquote(const std::string& line, size_t& pos) {
  std::string out;
  for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
    if (line[pos] == '\\' && pos + 1 < line.size()) ++pos;
    out += line[pos];
  }
  ++pos;
  return out;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

void ParseValue(const std::string& line, Key& key) {
  size_t pos = 0;
  Value value;
  if (line[0] == '@') {
    pos = 1;
  } else {
    value.name = Unquote(line, pos);
  }
  if (pos >= line.size() || line[pos] != '=') return;
  ++pos;
  if (pos < line.size() && line[pos] == '"') {
    value.text = Unquote(line, pos);
  } else if (line.compare(pos, 6, "dword:") == 0) {
    value.isDword = true;
    value.dword = static_cast<uint32_t>(std::strtoul(line.c_str() + pos + 6, nullptr, 16));
  } else {
    return;  // other value kinds are not used by the system
  }
  key.values.push_back(std::move(value));
}

Store Load() {
  Store store;
  std::ifstream in(RegistryFileName(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line[0] == '[' && line.back() == ']') {
      if (line[1] == '-') continue;
      store.push_back(Key{line.substr(1, line.size() - 2), {}});
    } else if (!store.empty() && !line.empty() && (line[0] == '"' || line[0] == '@')) {
      ParseValue(line, store.back());
    }
  }
  return store;
}

bool Save(const Store& store) {
  const std::string file = RegistryFileName();
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  std::ostringstream out;
  out << "REGEDIT4\r\n";
  for (const Key& key : store) {
    out << "\r\n[" << key.path << "]\r\n";
    for (const Value& v : key.values) {
      out << (v.name.empty() ? "@" : Quote(v.name)) << "=";
      if (v.isDword) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "dword:%08x", v.dword);
        out << hex << "\r\n";
      } else {
        out << Quote(v.text) << "\r\n";
      }
    }
  }
  const std::string temp = file + ".tmp~";
  {
    std::ofstream tmp(temp, std::ios::binary | std::ios::trunc);
    tmp << out.str();
    if (!tmp.flush()) return false;
  }
  return std::rename(temp.c_str(), file.c_str()) == 0;
}

Key* FindKey(Store& store, const std::string& path) {
  for (Key& key : store)
    if (SameName(key.path, path)) return &key;
  return nullptr;
}

bool IsBelow(const std::string& path, const std::string& parent) {
  return path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
         SameName(path.substr(0, parent.size()), parent);
}

// A key exists when it is listed or when a key below it is.
bool KeyExists(Store& store, const std::string& path) {
  if (FindKey(store, path)) return true;
  return std::any_of(store.begin(), store.end(),
                     [&](const Key& k) { return IsBelow(k.path, path); });
}

std::string Normalize(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

const Value* FindValue(const Key* key, const std::string& name) {
  if (key == nullptr) return nullptr;
  for (const Value& v : key->values)
    if (SameName(v.name, name)) return &v;
  return nullptr;
}

long Write(const std::string& path, Value value) {
  Store store = Load();
  Key* key = FindKey(store, path);
  if (key == nullptr) {
    store.push_back(Key{path, {}});
    key = &store.back();
  }
  auto it = std::find_if(key->values.begin(), key->values.end(),
                         [&](const Value& v) { return SameName(v.name, value.name); });
  if (it != key->values.end())
    *it = std::move(value);
  else
    key->values.push_back(std::move(value));
  return Save(store) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

}  // namespace

std::string RegistryFileName() {
  if (const char* file = std::getenv(kRegistryEnvironmentVariable); file && *file) return file;
  return UserConfigDirectory() + "registry.reg";
}

long RegistryKey::Open(uint32_t root, const std::string& path, uint32_t access, bool create) {
  open_ = false;
  const std::string rootName = RootName(root);
  if (rootName.empty()) return ERROR_INVALID_PARAMETER;
  const std::string relative = Normalize(path);
  const std::string full = relative.empty() ? rootName : rootName + "\\" + relative;
  Store store = Load();
  if (!KeyExists(store, full)) {
    if (!create) return ERROR_FILE_NOT_FOUND;
    store.push_back(Key{full, {}});
    if (!Save(store)) return ERROR_WRITE_FAULT;
  }
  path_ = full;
  access_ = access;
  open_ = true;
  return ERROR_SUCCESS;
}

long RegistryKey::Check(uint32_t right) const {
  if (!open_) return ERROR_INVALID_PARAMETER;
  return (access_ & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

long RegistryKey::SubKeyNames(std::vector<std::string>& names) const {
  names.clear();
  if (long status = Check(KEY_ENUMERATE_SUB_KEYS)) return status;
  for (const Key& key : Load()) {
    if (!IsBelow(key.path, path_)) continue;
    std::string name = key.path.substr(path_.size() + 1);
    name = name.substr(0, name.find('\\'));
    const bool known = std::any_of(names.begin(), names.end(),
                                   [&](const std::string& n) { return SameName(n, name); });
    if (!known) names.push_back(name);
  }
  return ERROR_SUCCESS;
}

long RegistryKey::ValueNames(std::vector<std::string>& names) const {
  names.clear();
  if (long status = Check(KEY_QUERY_VALUE)) return status;
  Store store = Load();
  if (const Key* key = FindKey(store, path_))
    for (const Value& v : key->values) names.push_back(v.name);
  return ERROR_SUCCESS;
}

long RegistryKey::QueryValueType(const std::string& name, ValueType& type) const {
  type = ValueType::None;
  if (long status = Check(KEY_QUERY_VALUE)) return status;
  Store store = Load();
  const Value* v = FindValue(FindKey(store, path_), name);
  if (v == nullptr) return ERROR_FILE_NOT_FOUND;
  type = v->isDword ? ValueType::Dword : ValueType::String;
  return ERROR_SUCCESS;
}

long RegistryKey::ReadString(const std::string& name, std::string& value) const {
  if (long status = Check(KEY_QUERY_VALUE)) return status;
  Store store = Load();
  const Value* v = FindValue(FindKey(store, path_), name);
  if (v == nullptr || v->isDword) return ERROR_FILE_NOT_FOUND;
  value = v->text;
  return ERROR_SUCCESS;
}

long RegistryKey::ReadDword(const std::string& name, uint32_t& value) const {
  if (long status = Check(KEY_QUERY_VALUE)) return status;
  Store store = Load();
  const Value* v = FindValue(FindKey(store, path_), name);
  if (v == nullptr || !v->isDword) return ERROR_FILE_NOT_FOUND;
  value = v->dword;
  return ERROR_SUCCESS;
}

long RegistryKey::WriteString(const std::string& name, const std::string& value) {
  if (long status = Check(KEY_SET_VALUE)) return status;
  return Write(path_, Value{name, false, value, 0});
}

long RegistryKey::WriteDword(const std::string& name, uint32_t value) {
  if (long status = Check(KEY_SET_VALUE)) return status;
  return Write(path_, Value{name, true, {}, value});
}

long RegistryKey::DeleteSubKey(const std::string& name) {
  if (long status = Check(KEY_CREATE_SUB_KEY)) return status;
  const std::string target = path_ + "\\" + Normalize(name);
  Store store = Load();
  if (!KeyExists(store, target)) return ERROR_FILE_NOT_FOUND;
  std::erase_if(store,
                [&](const Key& k) { return SameName(k.path, target) || IsBelow(k.path, target); });
  return Save(store) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

}  // namespace vader::platform
