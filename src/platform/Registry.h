#pragma once
// The system registry stand-in: a REGEDIT4 text file (so that a Windows export can be dropped
// in) holding keys under the predefined roots, each with string and DWORD values. The file is
// named by the environment variable VADER_REGISTRY, else lies under the XDG config directory.
// Every change rewrites the file atomically; key names and value names match ignoring case.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vader::platform {

constexpr uint32_t HKEY_CURRENT_USER = 0x80000001;
constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002;

// Access rights of an open key.
constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t KEY_SET_VALUE = 0x0002;
constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_WRITE = 0x20006;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// Status codes of the registry operations.
constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_PARAMETER = 87;
constexpr long ERROR_WRITE_FAULT = 29;

constexpr char kRegistryEnvironmentVariable[] = "VADER_REGISTRY";

// The file the registry lives in.
std::string RegistryFileName();

// Kinds of values the registry keeps.
enum class ValueType { None, String, Dword };

// One open key: its root, its path below the root and the access it was opened with.
class RegistryKey {
 public:
  // Opens `path` (backslash-separated, leading backslash optional) under `root`; with `create`
  // the key and its parents are made when missing.
  long Open(uint32_t root, const std::string& path, uint32_t access, bool create = false);
  bool IsOpen() const { return open_; }
  const std::string& Path() const { return path_; }

  // Names of the direct subkeys, in the order the file lists them.
  long SubKeyNames(std::vector<std::string>& names) const;
  // Names of the key's values, in the order the file lists them.
  long ValueNames(std::vector<std::string>& names) const;
  // The kind of value `name`; ERROR_FILE_NOT_FOUND (and None) when there is no such value.
  long QueryValueType(const std::string& name, ValueType& type) const;
  long ReadString(const std::string& name, std::string& value) const;
  long ReadDword(const std::string& name, uint32_t& value) const;
  long WriteString(const std::string& name, const std::string& value);
  long WriteDword(const std::string& name, uint32_t value);
  // Deletes subkey `name` of this key with everything below it.
  long DeleteSubKey(const std::string& name);

 private:
  long Check(uint32_t right) const;

  bool open_ = false;
  uint32_t access_ = 0;
  std::string path_;  // full path including the root name
};

}  // namespace vader::platform
