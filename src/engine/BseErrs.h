#pragma once
// Engine errors: the exception family every engine unit raises, the raise routines, the table
// that names an error code, and the error stack that keeps the last engine error readable after
// the call layer has turned it into a status code.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "framework/FrameworkErrors.h"

namespace vader {

// Engine error codes raised by the core itself (category x 256 + number).
constexpr uint16_t DBIERR_NONE = 0x0000;
constexpr uint16_t DBIERR_BOF = 0x2201;
constexpr uint16_t DBIERR_EOF = 0x2202;
constexpr uint16_t DBIERR_RECDELETED = 0x2204;
constexpr uint16_t DBIERR_NOCURRREC = 0x2205;
constexpr uint16_t DBIERR_DRIVERLIMIT = 0x2513;
constexpr uint16_t DBIERR_INVALIDPARAM = 0x2702;
constexpr uint16_t DBIERR_INVALIDHNDL = 0x2706;
constexpr uint16_t DBIERR_NOSUCHINDEX = 0x270D;
constexpr uint16_t DBIERR_INVALIDRECSTRUCT = 0x2713;
constexpr uint16_t DBIERR_INVALIDINDEXSTRUCT = 0x2715;
constexpr uint16_t DBIERR_UNKNOWNDB = 0x271E;
constexpr uint16_t DBIERR_INVALIDINDEXNAME = 0x2726;
constexpr uint16_t DBIERR_NOSUCHTABLE = 0x2728;
constexpr uint16_t DBIERR_NOSUCHFILTER = 0x2742;
constexpr uint16_t DBIERR_INVALIDTABLECREATE = 0x2744;
constexpr uint16_t DBIERR_NA = 0x2A04;
constexpr uint16_t DBIERR_NOTINDEXED = 0x2A05;
constexpr uint16_t DBIERR_NOTINITIALIZED = 0x2A06;
constexpr uint16_t DBIERR_NOTSUPPORTED = 0x3001;

// Longest context text an exception keeps.
constexpr size_t kMaxContextLength = 255;

// Where a statement's text is wrong: the byte offset in the text as the caller gave it (-1:
// not known) and the word that stands there.
struct TStatementPosition {
  int32_t offset = -1;
  std::string token;
  bool Known() const { return offset >= 0; }
};

// Root of every engine failure. It is a silent exception of the GUI framework, so an engine error
// that escapes to the application's top-level handler is not shown; its own message is empty.
class EVaderEngineError : public EAbort {
 public:
  explicit EVaderEngineError(uint16_t code);
  EVaderEngineError(uint16_t code, std::string_view context);

  uint16_t Code() const { return code_; }
  const std::string& Context() const { return context_; }
  int32_t NativeError() const { return nativeError_; }

  // Context text, cut to 255 characters.
  void SetContext(std::string_view context);
  const TStatementPosition& StatementPosition() const { return position_; }
  void SetStatementPosition(TStatementPosition position) { position_ = std::move(position); }

  // Description of NativeError; empty for errors of the core.
  virtual std::string GetNativeMessage() const;
  // Format ("%d" takes a number) describing an error whose code has no name.
  virtual std::string GetMessageFormat() const;

 protected:
  void SetNativeError(int32_t nativeError) { nativeError_ = nativeError; }
  void SetCode(uint16_t code) { code_ = code; }

 private:
  uint16_t code_;
  std::string context_;
  int32_t nativeError_ = 0;
  TStatementPosition position_;
};

// Groups the two end-of-cursor errors; loops over list cursors stop on it.
class EVaderBoundryError : public EVaderEngineError {
 protected:
  using EVaderEngineError::EVaderEngineError;
};

class EVaderEOFError : public EVaderBoundryError {
 public:
  EVaderEOFError() : EVaderBoundryError(DBIERR_EOF) {}
};

class EVaderBOFError : public EVaderBoundryError {
 public:
  EVaderBOFError() : EVaderBoundryError(DBIERR_BOF) {}
};

[[noreturn]] void RaiseEngineError(uint16_t code);
[[noreturn]] void RaiseEngineErrorContext(uint16_t code, std::string_view context);
[[noreturn]] void RaiseEOF();
[[noreturn]] void RaiseBOF();
// Raises DBIERR_NOTSUPPORTED with the text of string resource `resourceId` as context.
[[noreturn]] void RaiseNotSupported(int resourceId);

// Returns true when `ok`, else raises `code`.
bool CheckCondition(bool ok, uint16_t code);

// Returns `p` when it is set, else raises `code`.
template <class T>
T* CheckAssigned(T* p, uint16_t code) {
  if (p == nullptr) RaiseEngineError(code);
  return p;
}
template <class T>
T* CheckParam(T* p) {
  return CheckAssigned(p, DBIERR_INVALIDPARAM);
}
template <class T>
T* CheckHandle(T* p) {
  return CheckAssigned(p, DBIERR_INVALIDHNDL);
}

// One entry of the error-name table: the code and its mnemonic without the "DBIERR_" prefix.
struct ErrorNameEntry {
  uint16_t code;
  const char* mnemonic;
};

// Resource id of the first error mnemonic; entry i of the table is resource kErrorNameBase + i.
constexpr int kErrorNameBase = 14000;

// The 471-entry error-name table, in search order.
std::span<const ErrorNameEntry> ErrorNameTable();

// The engine's string resources: the error mnemonics 14000-14470; empty for any other id.
std::string LoadEngineString(int resourceId);

// "DBIERR_" plus the mnemonic of `code`, else the generic description; cut to `maxLen`.
std::string GetErrorName(uint16_t code, size_t maxLen = kMaxContextLength);

// Replaces the first "%d" of `format` by `number`.
std::string FormatErrorNumber(std::string_view format, long long number);

// Maps a driver status through (status, code) pairs; unmapped statuses come back unchanged.
struct StatusCodePair {
  uint16_t status;
  uint16_t code;
};
uint16_t TranslateStatus(const StatusCodePair* pairs, int pairCount, uint16_t status);

#pragma pack(push, 1)
// One error as the call layer keeps it; copied whole.
struct TErrorEntry {
  int32_t NativeError;
  char NativeMessage[261];
  uint16_t Code;
  char Message[128];
  char Context[4][128];
};
#pragma pack(pop)
static_assert(sizeof(TErrorEntry) == 907);
static_assert(offsetof(TErrorEntry, NativeMessage) == 4);
static_assert(offsetof(TErrorEntry, Code) == 265);
static_assert(offsetof(TErrorEntry, Message) == 267);
static_assert(offsetof(TErrorEntry, Context) == 395);

// Bounded stack of error entries, newest first; the oldest entry falls off when it is full.
class TErrorStack {
 public:
  static constexpr uint16_t kMaxCapacity = 20;

  explicit TErrorStack(uint16_t capacity);

  uint16_t Capacity() const { return capacity_; }
  uint16_t Count() const { return count_; }
  bool HasEntries() const { return count_ > 0; }

  void Clear() {
    count_ = 0;
    position_ = {};
  }
  void Push(const TErrorEntry& entry);
  // Pushes the error's entry; its statement position becomes the stack's.
  void PushException(const EVaderEngineError& e);
  // Where the statement of the last error pushed is wrong, when it told.
  const TStatementPosition& StatementPosition() const { return position_; }
  // Entry `index` (1 = newest); false when there is no such entry.
  bool GetEntry(uint16_t index, TErrorEntry& entry) const;

 private:
  std::unique_ptr<TErrorEntry[]> entries_;
  uint16_t capacity_;
  uint16_t count_ = 0;
  TStatementPosition position_;
};

// Size of the text buffers of the read-out routines: 260 characters and the NUL.
constexpr size_t kErrorTextSize = 261;

// Formats entry `index` for display into `text` (kErrorTextSize bytes) and returns its code;
// returns 0 and leaves both outputs untouched when there is no such entry.
uint16_t GetErrorEntry(const TErrorStack& stack, uint16_t index, int32_t& nativeError, char* text);

// Looks for the newest entry with `code` and formats it into `text`; 0 when found, else `code`.
uint16_t GetErrorString(const TErrorStack& stack, uint16_t code, char* text);

// Called inside a catch block: an engine error replaces the stack's contents and its code is
// returned; any other exception is re-raised unchanged.
uint16_t StatusFromCurrentException(TErrorStack& stack);

// Runs `call` and returns 0, or the code of the engine error it raised (kept on `stack`).
template <class F>
uint16_t GuardEngineCall(TErrorStack& stack, F&& call) {
  try {
    call();
    return DBIERR_NONE;
  } catch (...) {
    return StatusFromCurrentException(stack);
  }
}

}  // namespace vader
