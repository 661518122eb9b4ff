#include "framework/FrameworkErrors.h"

#include "framework/Classes.h"

namespace vader {

std::string FormatMessage(const std::string& format, const std::string& arg) {
  const auto at = format.find("%s");
  if (at == std::string::npos) return format;
  std::string result = format;
  result.replace(at, 2, arg);
  return result;
}

void DatabaseError(const std::string& message, const TComponent* component) {
  if (component && !component->Name().empty())
    throw EDatabaseError(component->Name() + ": " + message);
  throw EDatabaseError(message);
}

bool IsShownToUser(const std::exception& e) { return dynamic_cast<const EAbort*>(&e) == nullptr; }

}  // namespace vader
