#include "engine/BseRgtry.h"

namespace vader {
namespace {

bool IsAbsolute(const std::string& key) { return !key.empty() && key.front() == '\\'; }

// `key` without its leading backslash.
std::string WithoutLead(const std::string& key) { return IsAbsolute(key) ? key.substr(1) : key; }

}  // namespace

TRightsRegistry::TRightsRegistry() = default;

void TRightsRegistry::SetRootKey(uint32_t root) {
  if (root == root_) return;
  CloseKey();
  root_ = root;
}

void TRightsRegistry::CloseKey() {
  current_ = platform::RegistryKey();
  currentPath_.clear();
}

std::string TRightsRegistry::Resolve(const std::string& key) const {
  if (IsAbsolute(key) || !current_.IsOpen()) return WithoutLead(key);
  if (key.empty()) return currentPath_;
  return currentPath_.empty() ? key : currentPath_ + "\\" + key;
}

bool TRightsRegistry::OpenKey(const std::string& key, bool canCreate) {
  const std::string path = Resolve(key);
  const bool create = canCreate && !key.empty();
  platform::RegistryKey opened;
  if (opened.Open(root_, path, create ? platform::KEY_ALL_ACCESS : Access, create) !=
      platform::ERROR_SUCCESS)
    return false;
  current_ = opened;
  currentPath_ = path;
  return true;
}

bool TRightsRegistry::KeyExists(const std::string& key) const {
  platform::RegistryKey probe;
  return probe.Open(root_, Resolve(key), 0) == platform::ERROR_SUCCESS;
}

bool TRightsRegistry::DeleteKey(const std::string& key) {
  const std::string path = Resolve(key);
  const size_t cut = path.rfind('\\');
  const std::string parentPath = cut == std::string::npos ? std::string() : path.substr(0, cut);
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  if (name.empty()) return false;
  platform::RegistryKey parent;
  if (parent.Open(root_, parentPath, platform::KEY_ALL_ACCESS) != platform::ERROR_SUCCESS)
    return false;
  return parent.DeleteSubKey(name) == platform::ERROR_SUCCESS;
}

std::vector<std::string> TRightsRegistry::GetKeyNames() const {
  std::vector<std::string> names;
  if (current_.IsOpen()) current_.SubKeyNames(names);
  return names;
}

std::vector<std::string> TRightsRegistry::GetValueNames() const {
  std::vector<std::string> names;
  if (current_.IsOpen()) current_.ValueNames(names);
  return names;
}

TRegDataType TRightsRegistry::GetDataType(const std::string& name) const {
  platform::ValueType type = platform::ValueType::None;
  if (!current_.IsOpen() || current_.QueryValueType(name, type) != platform::ERROR_SUCCESS)
    return TRegDataType::rdUnknown;
  switch (type) {
    case platform::ValueType::String:
      return TRegDataType::rdString;
    case platform::ValueType::Dword:
      return TRegDataType::rdInteger;
    default:
      return TRegDataType::rdUnknown;
  }
}

bool TRightsRegistry::ValueExists(const std::string& name) const {
  platform::ValueType type = platform::ValueType::None;
  return current_.IsOpen() && current_.QueryValueType(name, type) == platform::ERROR_SUCCESS;
}

std::string TRightsRegistry::ReadString(const std::string& name) const {
  if (!ValueExists(name)) return {};
  std::string value;
  if (current_.ReadString(name, value) != platform::ERROR_SUCCESS)
    throw ERegistryException(FormatMessage("Invalid data type for '%s'", name));
  return value;
}

int32_t TRightsRegistry::ReadInteger(const std::string& name) const {
  uint32_t value = 0;
  if (!current_.IsOpen() || current_.ReadDword(name, value) != platform::ERROR_SUCCESS)
    throw ERegistryException(FormatMessage("Invalid data type for '%s'", name));
  return static_cast<int32_t>(value);
}

void TRightsRegistry::WriteString(const std::string& name, const std::string& value) {
  if (!current_.IsOpen() || current_.WriteString(name, value) != platform::ERROR_SUCCESS)
    throw ERegistryException(FormatMessage("Failed to set data for '%s'", name));
}

void TRightsRegistry::WriteInteger(const std::string& name, int32_t value) {
  if (!current_.IsOpen() ||
      current_.WriteDword(name, static_cast<uint32_t>(value)) != platform::ERROR_SUCCESS)
    throw ERegistryException(FormatMessage("Failed to set data for '%s'", name));
}

}  // namespace vader
