#pragma once
// The GUI framework's exception classes. Every error raised by the system is an
// `Exception` (a std::exception with a message); the application's top-level handler
// shows it, except for `EAbort` and its descendants, which are silent by design.

#include <stdexcept>
#include <string>
#include <utility>

namespace vader {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// The silent exception: unwinds like any other, but the top-level handler does not show it.
class EAbort : public Exception {
 public:
  using Exception::Exception;
};

// Settings-file failure ("Unable to write to %s").
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

// A file that exists but cannot be opened ("Cannot open file %s").
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// A value outside the range its destination can hold ("Range check error").
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// A value that cannot be converted to the type asked for.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An index outside a list's bounds.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// The dataset layer's error with its fixed English texts.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// A typed character that the code page of a field's database cannot hold: nothing was stored.
class ECharacterNotStored : public EDatabaseError {
 public:
  ECharacterNotStored(const std::string& message, std::string character, std::string field)
      : EDatabaseError(message), character_(std::move(character)), field_(std::move(field)) {}
  const std::string& Character() const { return character_; }
  const std::string& Field() const { return field_; }

 private:
  std::string character_;
  std::string field_;
};

// Replaces the first "%s" of Format by Arg; the framework's message texts use this one form.
std::string FormatMessage(const std::string& format, const std::string& arg);

// Raises EDatabaseError with Message, prefixed by "<name>: " when Component has a name.
class TComponent;
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);

// True when the top-level handler should show E to the user.
bool IsShownToUser(const std::exception& e);

}  // namespace vader
