#include "platform/Resources.h"

#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "platform/TextCase.h"

namespace vader::platform {
namespace {

using Key = std::tuple<ResourceModule, std::string, std::string>;

struct Registry {
  std::mutex lock;
  std::map<Key, std::vector<uint8_t>> resources;
};

// Constructed on first use, so registrations from static initialisers of any translation unit
// find it ready.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

Key KeyOf(ResourceModule module, std::string_view type, std::string_view name) {
  return {module, AsciiUpperCase(type), AsciiUpperCase(name)};
}

}  // namespace

void RegisterResource(ResourceModule module, std::string_view type, std::string_view name,
                      std::span<const uint8_t> bytes) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  r.resources[KeyOf(module, type, name)].assign(bytes.begin(), bytes.end());
}

bool UnregisterResource(ResourceModule module, std::string_view type, std::string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  return r.resources.erase(KeyOf(module, type, name)) > 0;
}

std::optional<std::vector<uint8_t>> FindResource(ResourceModule module, std::string_view type,
                                                 std::string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  const auto it = r.resources.find(KeyOf(module, type, name));
  if (it == r.resources.end()) return std::nullopt;
  return it->second;
}

ResourceRegistration::ResourceRegistration(ResourceModule module, std::string_view type,
                                           std::string_view name, std::span<const uint8_t> bytes)
    : module_(module), type_(type.begin(), type.end()), name_(name.begin(), name.end()) {
  RegisterResource(module, type, name, bytes);
}

ResourceRegistration::~ResourceRegistration() {
  UnregisterResource(module_, {type_.data(), type_.size()}, {name_.data(), name_.size()});
}

}  // namespace vader::platform
