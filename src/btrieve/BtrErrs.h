#pragma once
// Btrieve failures as engine errors: the mapping of native statuses onto engine codes, the
// exception that keeps the native status and an extra text, the native message texts, and the
// raising routines every part of the driver calls.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/BseErrs.h"

namespace vader {

// Identifier of the native message of status s: kNativeMessageBase + s.
constexpr int kNativeMessageBase = 5000;
// Longest extra text and native message.
constexpr size_t kMaxExtraTextLength = 255;

// A failed Btrieve call. Code is the mapped engine code, NativeError the status; the message is
// produced by GetNativeMessage.
class EBtrieveEngineError : public EVaderEngineError {
 public:
  explicit EBtrieveEngineError(int16_t status);
  // With an extra text (file, table or option string), cut to 255 characters.
  EBtrieveEngineError(int16_t status, std::string_view text);

  std::string_view ExtraText() const { return {extraText_, extraLength_}; }
  uint16_t ExtraLength() const { return extraLength_; }

  std::string GetNativeMessage() const override;

 private:
  char extraText_[kMaxExtraTextLength + 1] = {};
  uint16_t extraLength_ = 0;
};

// The status-to-engine-code pairs, in search order.
std::span<const StatusCodePair> BtrieveStatusTable();

// The engine code that native status `status` stands for.
uint16_t BtrieveStatusCode(int16_t status);

// The compiled-in native message with identifier `resourceId`; empty when there is none.
std::string_view LoadNativeMessage(int resourceId);

// Status 9 raises EVaderEOFError; any other status EBtrieveEngineError.
[[noreturn]] void BtrieveError(int16_t status);
// As BtrieveError, with `text` as extra text (dropped for status 9).
[[noreturn]] void BtrieveErrorText(int16_t status, std::string_view text);

}  // namespace vader
