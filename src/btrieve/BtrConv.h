#pragma once
// Field values between Btrieve's native layouts and the engine's field types: the type mapping,
// field and index descriptors built from dictionary records, the two value converters, and the
// binding to the optional external library that decodes other systems' formats.
//
// Engine values: texts are NUL-terminated; dates are 32-bit day numbers (day 1 = 1 January
// 0001); times 32-bit milliseconds since midnight; timestamps doubles of day number x 86 400 000
// plus milliseconds of the day; booleans 16-bit (0 or -1); floats doubles. A destination holds
// at least max(8, native size + 1) bytes.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "btrieve/BtrTypes.h"
#include "engine/BseTable.h"
#include "framework/DateTimes.h"
#include "framework/FrameworkErrors.h"

namespace vader {

// Process-wide conversion options, set from the driver settings.
struct TConversionOptions {
  bool Read = false;                // undecodable native values read as zero bytes
  bool Write = false;               // unencodable engine values are skipped silently
  bool SmallIntAsByte = false;      // a 1-byte INTEGER is unsigned
  bool StringPaddedSpaces = true;   // STRING fields are padded with spaces, else NULs
  bool IntegersShowAsZero = false;  // an integer 0 is a value, not blank
};
TConversionOptions& ConversionOptions();

// Minutes to add to local time to get universal time; read from the system at start-up.
int32_t TimeZoneBias();
void SetTimeZoneBias(int32_t minutes);

// Start-up of the conversion module: no conversion library is bound yet, and the machine's
// time-zone bias (standard plus daylight) is recorded. Shut-down frees a bound library.
void BtrConvStartup();
void BtrConvShutdown();

// The engine type, subtype, units and value size of a native type of a given size.
void MapFieldType(uint16_t nativeType, uint16_t nativeSize, uint16_t& fieldType,
                  uint16_t& fieldSubType, int16_t& units1, uint16_t& engineSize);

// A field descriptor from one dictionary field record; a nullptr `desc` does nothing.
void BuildFieldDesc(const DictionaryField& entry, uint16_t fieldNumber, FieldDesc* desc);

// Adds one dictionary index segment over `segmentField` to the index being built in `desc`.
void AddIndexSegment(IndexDesc& desc, const DictionaryIndexSegment& segment,
                     const FieldDesc& segmentField, uint16_t segmentNumber);

// Decodes the native field at `source` into the engine value at `dest`. A blank field sets
// `isBlank` and leaves `dest` alone. `dest` may be nullptr for LOGICAL and BIT only. `length` is
// the field's engine length, accepted for the caller's convenience and not used.
void ConvertNativeToLocal(uint16_t nativeType, uint16_t nativeSize, int16_t dec, uint16_t length,
                          const void* source, void* dest, bool& isBlank);

// Encodes the engine value at `source` into the native field at `dest`.
void ConvertLocalToNative(uint16_t nativeType, uint16_t nativeSize, int16_t dec, uint16_t length,
                          const void* source, void* dest);


// The exports of the external conversion library, in resolution order.
enum class TConversionExport : int {
  Get_LongYMD,
  Set_LongDate,
  Get_Binary,
  Set_Binary,
  Get_MagicDate,
  Set_MagicDate,
  Get_Ctime,
  Set_Ctime,
  Get_MagicNum100,
  Set_MagicNum100,
  Get_TasProTime,
  Set_TasProTime,
  Get_TasProNum,
  Set_TasProNum,
  Get_MagicTime,
  Set_MagicTime,
  Get_YMD,
  Set_YMD,
  Get_YYMMDD,
  Set_YYMMDD,
  Get_YYYYMMDD,
  Set_YYYYMMDD,
  Get_TasProDate,
  Set_TasProDate,
  Get_UDecimal,
  Set_UDecimal,
  Get_VBCurrency,
  Set_VBCurrency,
  Get_BtrieveDate,
  Set_BtrieveDate,
  Get_BtrieveTime,
  Set_BtrieveTime,
  Count
};
constexpr size_t kConversionExportCount = static_cast<size_t>(TConversionExport::Count);

// The binding to the external conversion library ("titanc32.dll", else "s2dtconv.dll"). Every
// function returns 0 on success; a date-time is a double counting days from 30 December 1899.
class TConversionFunctions {
 public:
  static constexpr uintptr_t kNotLoaded = 32;

  // Loads the first of the two libraries that loads.
  TConversionFunctions();
  // Loads nothing; LoadLibraryFile chooses the library.
  struct NoLibrary {};
  explicit TConversionFunctions(NoLibrary) {}
  ~TConversionFunctions();
  TConversionFunctions(const TConversionFunctions&) = delete;
  TConversionFunctions& operator=(const TConversionFunctions&) = delete;

  // False when a library is already loaded or `name` does not load. A missing export is
  // reported to the user, the application is asked to terminate, and the entry stays empty.
  bool LoadLibraryFile(std::string_view name);
  bool IsLoaded() const { return libraryHandle_ != kNotLoaded; }
  uintptr_t LibraryHandle() const { return libraryHandle_; }

  // The entry point of `which`; nullptr when it is not available.
  void* Entry(TConversionExport which) const { return entries_[static_cast<size_t>(which)]; }

 private:
  uintptr_t libraryHandle_ = kNotLoaded;
  void* module_ = nullptr;
  std::array<void*, kConversionExportCount> entries_{};
};

// The process's conversion library, created (and so loaded) by the first call.
TConversionFunctions& ConversionFunctions();
// Replaces the process's conversion library object (nullptr: created again on next use).
void SetConversionFunctions(std::unique_ptr<TConversionFunctions> functions);

}  // namespace vader
