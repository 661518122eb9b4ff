#pragma once
// The engine's registry access class: keys opened under a root key, absolute ("\A\B") or relative
// to the key opened last, with a chosen access mask for keys that are opened without being
// created. Readers set Access to KEY_READ before opening, so that a key they may only read is
// not asked for write access.

#include <cstdint>
#include <string>
#include <vector>

#include "framework/FrameworkErrors.h"
#include "platform/Registry.h"

namespace vader {

// A registry value that cannot be read as the kind asked for, or a write that fails.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// Kinds of registry values.
enum class TRegDataType : uint8_t { rdUnknown = 0, rdString = 1, rdInteger = 2 };

class TRightsRegistry {
 public:
  // Root HKEY_CURRENT_USER, no key open, Access all access.
  TRightsRegistry();
  TRightsRegistry(const TRightsRegistry&) = delete;
  TRightsRegistry& operator=(const TRightsRegistry&) = delete;
  ~TRightsRegistry() { CloseKey(); }

  // Access mask of keys opened without creating them.
  uint32_t Access = platform::KEY_ALL_ACCESS;

  uint32_t RootKey() const { return root_; }
  // Changing the root closes the current key.
  void SetRootKey(uint32_t root);
  // Path of the current key below the root, without a leading backslash; empty when none.
  const std::string& CurrentPath() const { return currentPath_; }
  bool HasCurrentKey() const { return current_.IsOpen(); }

  // Opens `key` (absolute when it starts with a backslash, else below the current key). With
  // canCreate and a non-empty key it is created when missing and opened with all access;
  // otherwise it is opened with Access. On success it becomes the current key; false when it
  // could not be opened (the current key is then unchanged).
  bool OpenKey(const std::string& key, bool canCreate);
  void CloseKey();
  bool KeyExists(const std::string& key) const;
  // Deletes `key` with everything below it; false when it does not exist or may not be deleted.
  bool DeleteKey(const std::string& key);

  // Names of the current key's subkeys / values; empty without a current key or the right.
  std::vector<std::string> GetKeyNames() const;
  std::vector<std::string> GetValueNames() const;
  TRegDataType GetDataType(const std::string& name) const;
  bool ValueExists(const std::string& name) const;
  // Empty when the value does not exist; a value of another kind raises ERegistryException.
  std::string ReadString(const std::string& name) const;
  // A missing value or one of another kind raises ERegistryException.
  int32_t ReadInteger(const std::string& name) const;
  // A write the key does not allow, or that fails, raises ERegistryException.
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);

 private:
  // Full path below the root of `key`, and whether it was relative.
  std::string Resolve(const std::string& key) const;

  uint32_t root_ = platform::HKEY_CURRENT_USER;
  platform::RegistryKey current_;
  std::string currentPath_;
};

}  // namespace vader
