#pragma once
// The stand-in for the binary resources of executables and libraries (RCDATA): a process-wide
// registry of named byte blocks. The application and each module register theirs, usually from
// generated sources at static initialisation; readers look them up by module, type and name.
// Names and types match ignoring ASCII case, as resource names do.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vader::platform {

// Which image a resource belongs to: the executable, or a module identified by an address it
// owns (any object of the module will do).
using ResourceModule = const void*;
constexpr ResourceModule kExecutableModule = nullptr;

constexpr std::string_view RT_RCDATA = "RCDATA";

// Adds the resource, replacing one of the same module, type and name.
void RegisterResource(ResourceModule module, std::string_view type, std::string_view name,
                      std::span<const uint8_t> bytes);
// False when there was no such resource.
bool UnregisterResource(ResourceModule module, std::string_view type, std::string_view name);

// A copy of the resource's bytes; nullopt when it is not registered.
std::optional<std::vector<uint8_t>> FindResource(ResourceModule module, std::string_view type,
                                                 std::string_view name);

// Registers a resource for the lifetime of the object (generated sources define one statically).
class ResourceRegistration {
 public:
  ResourceRegistration(ResourceModule module, std::string_view type, std::string_view name,
                       std::span<const uint8_t> bytes);
  ~ResourceRegistration();
  ResourceRegistration(const ResourceRegistration&) = delete;
  ResourceRegistration& operator=(const ResourceRegistration&) = delete;

 private:
  ResourceModule module_;
  std::vector<char> type_;
  std::vector<char> name_;
};

}  // namespace vader::platform
