#include "framework/DBFields.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/DB.h"
#include "framework/DBConsts.h"
#include "framework/FrameworkErrors.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool ParseInteger(const std::string& text, std::int64_t& value) {
  const std::string t = Trimmed(text);
  const char* begin = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, t.data() + t.size(), value);
  return !t.empty() && error == std::errc() && end == t.data() + t.size();
}

bool ParseFloat(const std::string& text, double& value) {
  const std::string t = Trimmed(text);
  if (t.empty()) return false;
  const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, t.data() + t.size(), value);
  return error == std::errc() && end == t.data() + t.size() && std::isfinite(value);
}

// True/false words accepted for boolean text; nullopt for anything else.
std::optional<bool> ParseBoolean(const std::string& text) {
  const std::string t = platform::AsciiUpperCase(Trimmed(text));
  for (const char* yes : {"TRUE", "T", "YES", "Y", "1"})
    if (t == yes) return true;
  for (const char* no : {"FALSE", "F", "NO", "N", "0"})
    if (t == no) return false;
  return std::nullopt;
}

std::string FloatText(double value, int precision) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", std::clamp(precision, 1, 17), value);
  return text;
}

// The shortest text that reads back to the same 4-byte float; whole numbers too large for the
// %g form without an exponent are written out in full (they are exact).
std::string SingleText(double value) {
  // A value typed in but not yet stored may lie beyond what 4 bytes hold: shown as it is.
  if (!(std::fabs(value) <= FLT_MAX)) return FloatText(value, 15);
  const float stored = static_cast<float>(value);
  char text[64];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(stored));
    if (std::strtof(text, nullptr) == stored) break;
  }
  if (std::strchr(text, 'e') && std::fabs(stored) >= 1 && std::fabs(stored) < 1e15f)
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(stored));
  return text;
}

// Money without decimals of its own: two decimals, more (up to four) when the value has them.
std::string MoneyText(double value) {
  char text[400];  // room for the widest double written out in full
  std::snprintf(text, sizeof text, "%.4f", value);
  std::string shown = text;
  for (int extra = 0; extra < 2 && shown.back() == '0'; ++extra) shown.pop_back();
  return shown;
}

template <typename T>
T Native(const TField& field, bool& present) {
  T value{};
  present = field.GetData(&value);
  return value;
}

template <typename T>
void PutNative(TField& field, T value) {
  field.SetData(&value);
}

}  // namespace

// ---- TField ----

TField::~TField() { SetDataSet(nullptr); }

void TField::SetDisplayLabel(const std::string& label) {
  // A label equal to the field name is no label of its own.
  displayLabel_ = label == fieldName_ ? std::string() : label;
}

void TField::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_) dataSet_->RemoveField(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->AddField(this);
}

int TField::Index() const {
  if (!dataSet_) return -1;
  for (int i = 0; i < dataSet_->FieldCount(); ++i)
    if (dataSet_->Fields(i) == this) return i;
  return -1;
}

bool TField::GetData(void* buffer) const {
  return dataSet_ && dataSet_->ReadFieldData(this, buffer);
}

void TField::SetData(const void* buffer) {
  if (!dataSet_) DatabaseError(FormatMessage(dbconsts::SFieldReadOnly, fieldName_), this);
  dataSet_->WriteFieldData(this, buffer);
}

void TField::AccessError(const char* asType) const {
  DatabaseError(FormatMessage(FormatMessage(dbconsts::SFieldAccessError, DisplayLabel()), asType));
}

void TField::ConvertError(const char* format, const std::string& text) const {
  DatabaseError(FormatMessage(format, text), this);
}

std::string TField::AsString() const { AccessError("String"); }
void TField::SetAsString(const std::string&) { AccessError("String"); }
std::int64_t TField::AsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(std::int64_t) { AccessError("Integer"); }
double TField::AsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
bool TField::AsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
TDateTime TField::AsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
TValue TField::Value() const { AccessError("Variant"); }

void TField::SetValue(const TValue& value) {
  std::visit(
      [this](const auto& v) {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::monostate>)
          Clear();
        else if constexpr (std::is_same_v<V, bool>)
          SetAsBoolean(v);
        else if constexpr (std::is_same_v<V, std::int64_t>)
          SetAsInteger(v);
        else if constexpr (std::is_same_v<V, double>)
          SetAsFloat(v);
        else
          SetAsString(v);
      },
      value);
}

TValue TField::OldValue() const {
  return dataSet_ ? dataSet_->FieldValueIn(this, TDataSetState::dsOldValue) : TValue();
}

TValue TField::NewValue() const {
  return dataSet_ ? dataSet_->FieldValueIn(this, TDataSetState::dsNewValue) : TValue();
}

void TField::SetNewValue(const TValue& value) {
  if (!dataSet_) DatabaseError(FormatMessage(dbconsts::SFieldReadOnly, fieldName_), this);
  dataSet_->SetFieldValueIn(this, TDataSetState::dsNewValue, value);
}

// ---- TStringField ----

TStringField::TStringField(TComponent* owner) : TField(owner) {
  SetDataType(TFieldType::ftString);
  SetSize(20);
}

std::string TStringField::AsString() const {
  std::string buffer(DataSize(), '\0');
  if (!GetData(buffer.data())) return {};
  buffer.resize(std::strlen(buffer.c_str()));  // the buffer ends with a NUL of its own
  if (FixedChar()) buffer.erase(buffer.find_last_not_of(' ') + 1);
  return DataSet() ? DataSet()->FieldTextFromNative(*this, std::move(buffer)) : buffer;
}

// The size limits the stored bytes, so a text is cut after its conversion.
void TStringField::SetAsString(const std::string& value) {
  const std::string native = DataSet() ? DataSet()->FieldTextToNative(*this, value) : value;
  std::string buffer(DataSize(), '\0');
  std::memcpy(buffer.data(), native.data(), std::min(native.size(), DataSize() - 1));
  SetData(buffer.data());
}

std::int64_t TStringField::AsInteger() const {
  std::int64_t value = 0;
  const std::string text = AsString();
  if (!text.empty() && !ParseInteger(text, value))
    ConvertError(dbconsts::SInvalidIntegerValue, text);
  return value;
}

double TStringField::AsFloat() const {
  double value = 0;
  const std::string text = AsString();
  if (!text.empty() && !ParseFloat(text, value)) ConvertError(dbconsts::SInvalidFloatValue, text);
  return value;
}

void TStringField::SetAsFloat(double value) { SetAsString(FloatText(value, 15)); }

bool TStringField::AsBoolean() const {
  const std::string text = AsString();
  if (text.empty()) return false;
  const auto value = ParseBoolean(text);
  if (!value) ConvertError(dbconsts::SInvalidBoolValue, text);
  return *value;
}

TDateTime TStringField::AsDateTime() const {
  const std::string text = AsString();
  if (text.empty()) return 0;
  const auto value = TextToDateTime(text);
  if (!value) ConvertError(dbconsts::SInvalidDateTime, text);
  return *value;
}

TValue TStringField::Value() const {
  if (IsNull()) return {};
  return AsString();
}

// ---- TIntegerField ----

TIntegerField::TIntegerField(TComponent* owner) : TField(owner) {
  SetDataType(TFieldType::ftInteger);
}

TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner) {
  SetDataType(TFieldType::ftSmallint);
}
TWordField::TWordField(TComponent* owner) : TIntegerField(owner) {
  SetDataType(TFieldType::ftWord);
}
TAutoIncField::TAutoIncField(TComponent* owner) : TIntegerField(owner) {
  SetDataType(TFieldType::ftAutoInc);
}
TLargeintField::TLargeintField(TComponent* owner) : TIntegerField(owner) {
  SetDataType(TFieldType::ftLargeint);
}

namespace {

// Width and range of the integer types.
struct IntegerKind {
  std::size_t size;
  std::int64_t min, max;
};

IntegerKind KindOf(TFieldType type) {
  switch (type) {
    case TFieldType::ftSmallint:
      return {2, INT16_MIN, INT16_MAX};
    case TFieldType::ftWord:
      return {2, 0, UINT16_MAX};
    case TFieldType::ftLargeint:
      return {8, INT64_MIN, INT64_MAX};
    default:
      return {4, INT32_MIN, INT32_MAX};
  }
}

}  // namespace

std::size_t TIntegerField::DataSize() const { return KindOf(DataType()).size; }
std::int64_t TIntegerField::MinValue() const { return KindOf(DataType()).min; }
std::int64_t TIntegerField::MaxValue() const { return KindOf(DataType()).max; }

std::int64_t TIntegerField::AsInteger() const {
  bool present = false;
  switch (DataType()) {
    case TFieldType::ftSmallint:
      return Native<std::int16_t>(*this, present);
    case TFieldType::ftWord:
      return Native<std::uint16_t>(*this, present);
    case TFieldType::ftLargeint:
      return Native<std::int64_t>(*this, present);
    default:
      return Native<std::int32_t>(*this, present);
  }
}

void TIntegerField::SetAsInteger(std::int64_t value) {
  if (value < MinValue() || value > MaxValue())
    DatabaseError(FormatMessage(FormatMessage(dbconsts::SFieldRangeError, std::to_string(value)),
                                DisplayLabel()) +
                  ". The allowed range is " + std::to_string(MinValue()) + " to " +
                  std::to_string(MaxValue()));
  switch (DataType()) {
    case TFieldType::ftSmallint:
      return PutNative(*this, static_cast<std::int16_t>(value));
    case TFieldType::ftWord:
      return PutNative(*this, static_cast<std::uint16_t>(value));
    case TFieldType::ftLargeint:
      return PutNative(*this, value);
    default:
      return PutNative(*this, static_cast<std::int32_t>(value));
  }
}

std::string TIntegerField::AsString() const {
  if (IsNull()) return {};
  return std::to_string(AsInteger());
}

void TIntegerField::SetAsString(const std::string& value) {
  if (Trimmed(value).empty()) return Clear();
  std::int64_t number = 0;
  if (!ParseInteger(value, number)) ConvertError(dbconsts::SInvalidIntegerValue, value);
  SetAsInteger(number);
}

void TIntegerField::SetAsFloat(double value) {
  const double rounded = std::round(value);
  // Beyond the 64-bit range the conversion is undefined; the range check reports it instead.
  if (!(rounded >= -9.2e18 && rounded <= 9.2e18))
    DatabaseError(FormatMessage(FormatMessage(dbconsts::SFieldRangeError, FloatText(value, 15)),
                                DisplayLabel()));
  SetAsInteger(static_cast<std::int64_t>(rounded));
}

TValue TIntegerField::Value() const {
  if (IsNull()) return {};
  return AsInteger();
}

// ---- TFloatField ----

TFloatField::TFloatField(TComponent* owner) : TField(owner) { SetDataType(TFieldType::ftFloat); }
TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner) {
  SetDataType(TFieldType::ftCurrency);
}
TBCDField::TBCDField(TComponent* owner) : TFloatField(owner) {
  SetDataType(TFieldType::ftBCD);
  SetSize(4);
}

double TFloatField::AsFloat() const {
  bool present = false;
  return Native<double>(*this, present);
}

void TFloatField::SetAsFloat(double value) {
  if (!std::isfinite(value))
    DatabaseError(FormatMessage(FormatMessage(dbconsts::SFieldRangeError, FloatText(value, 15)),
                                DisplayLabel()));
  PutNative(*this, value);
}

std::int64_t TFloatField::AsInteger() const {
  const double value = std::round(AsFloat());
  if (!(value >= -9.2e18 && value <= 9.2e18)) AccessError("Integer");
  return static_cast<std::int64_t>(value);
}

std::string TFloatField::AsString() const {
  if (IsNull()) return {};
  return single_ ? SingleText(AsFloat()) : FloatText(AsFloat(), precision_);
}

std::string TFloatField::DisplayText() const {
  if (IsNull()) return {};
  const int decimals = scale_ >= 0 ? scale_ : DataType() == TFieldType::ftBCD ? Size() : -1;
  if (decimals >= 0) {
    char text[400];  // room for the widest double written out in full
    std::snprintf(text, sizeof text, "%.*f", std::min(decimals, 20), AsFloat());
    return text;
  }
  if (DataType() == TFieldType::ftCurrency) return MoneyText(AsFloat());
  return AsString();
}

void TFloatField::SetAsString(const std::string& value) {
  if (Trimmed(value).empty()) return Clear();
  double number = 0;
  if (!ParseFloat(value, number)) ConvertError(dbconsts::SInvalidFloatValue, value);
  SetAsFloat(number);
}

TValue TFloatField::Value() const {
  if (IsNull()) return {};
  return AsFloat();
}

// ---- TBooleanField ----

TBooleanField::TBooleanField(TComponent* owner) : TField(owner) {
  SetDataType(TFieldType::ftBoolean);
}

bool TBooleanField::AsBoolean() const {
  bool present = false;
  return Native<std::int16_t>(*this, present) != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  PutNative(*this, static_cast<std::int16_t>(value ? -1 : 0));
}

std::string TBooleanField::AsString() const {
  if (IsNull()) return {};
  return AsBoolean() ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& value) {
  if (Trimmed(value).empty()) return Clear();
  const auto parsed = ParseBoolean(value);
  if (!parsed) ConvertError(dbconsts::SInvalidBoolValue, value);
  SetAsBoolean(*parsed);
}

TValue TBooleanField::Value() const {
  if (IsNull()) return {};
  return AsBoolean();
}

// ---- TDateTimeField ----

TDateTimeField::TDateTimeField(TComponent* owner) : TField(owner) {
  SetDataType(TFieldType::ftDateTime);
}
TDateField::TDateField(TComponent* owner) : TDateTimeField(owner) {
  SetDataType(TFieldType::ftDate);
}
TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner) {
  SetDataType(TFieldType::ftTime);
}

std::size_t TDateTimeField::DataSize() const {
  return DataType() == TFieldType::ftDateTime ? sizeof(double) : sizeof(std::int32_t);
}

TDateTime TDateTimeField::AsDateTime() const {
  bool present = false;
  switch (DataType()) {
    case TFieldType::ftDate: {
      const auto day = Native<std::int32_t>(*this, present);
      return present ? DayNumberToDateTime(day) : 0;
    }
    case TFieldType::ftTime:
      return TimeMSecsToDateTime(Native<std::int32_t>(*this, present));
    default: {
      const double ms = Native<double>(*this, present);
      return present ? ms / kMSecsPerDay - kDateDelta : 0;
    }
  }
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
  if (!std::isfinite(value) || value < -kDateDelta + 1 || value > 2958465.99999)
    ConvertError(dbconsts::SInvalidDateTime, FloatText(value, 15));
  switch (DataType()) {
    case TFieldType::ftDate:
      return PutNative(*this, DateTimeToDayNumber(value));
    case TFieldType::ftTime:
      return PutNative(*this, DateTimeToTimeMSecs(value));
    default:
      return PutNative(*this, static_cast<double>(DateTimeToDayNumber(value)) * kMSecsPerDay +
                                  DateTimeToTimeMSecs(value));
  }
}

std::string TDateTimeField::AsString() const {
  if (IsNull()) return {};
  switch (DataType()) {
    case TFieldType::ftDate:
      return DateToText(AsDateTime());
    case TFieldType::ftTime:
      return TimeToText(AsDateTime());
    default:
      return DateTimeToText(AsDateTime());
  }
}

void TDateTimeField::SetAsString(const std::string& value) {
  if (Trimmed(value).empty()) return Clear();
  const auto parsed = TextToDateTime(Trimmed(value));
  if (!parsed) ConvertError(dbconsts::SInvalidDateTime, value);
  SetAsDateTime(*parsed);
}

TValue TDateTimeField::Value() const {
  if (IsNull()) return {};
  return AsDateTime();
}

// ---- TBinaryField ----

TBinaryField::TBinaryField(TComponent* owner) : TField(owner) {
  SetDataType(TFieldType::ftBytes);
  SetSize(16);
}
TVarBytesField::TVarBytesField(TComponent* owner) : TBinaryField(owner) {
  SetDataType(TFieldType::ftVarBytes);
}

std::size_t TBinaryField::DataSize() const {
  const auto size = static_cast<std::size_t>(std::max(Size(), 0));
  return DataType() == TFieldType::ftVarBytes ? size + 2 : size;
}

std::string TBinaryField::AsString() const {
  std::string buffer(DataSize(), '\0');
  if (!GetData(buffer.data())) return {};
  if (DataType() != TFieldType::ftVarBytes) return buffer;
  std::uint16_t length = 0;
  std::memcpy(&length, buffer.data(), 2);
  // A stored length beyond the field's size is clipped, never read past the buffer.
  return buffer.substr(2, std::min<std::size_t>(length, DataSize() - 2));
}

void TBinaryField::SetAsString(const std::string& value) {
  std::string buffer(DataSize(), '\0');
  if (DataType() == TFieldType::ftVarBytes) {
    const auto length = static_cast<std::uint16_t>(std::min(value.size(), DataSize() - 2));
    std::memcpy(buffer.data(), &length, 2);
    std::memcpy(buffer.data() + 2, value.data(), length);
  } else {
    std::memcpy(buffer.data(), value.data(), std::min(value.size(), DataSize()));
  }
  SetData(buffer.data());
}

TValue TBinaryField::Value() const {
  if (IsNull()) return {};
  return AsString();
}

// ---- TBlobField ----

TBlobField::TBlobField(TComponent* owner) : TField(owner) { SetDataType(TFieldType::ftBlob); }
TMemoField::TMemoField(TComponent* owner) : TBlobField(owner) { SetDataType(TFieldType::ftMemo); }
TGraphicField::TGraphicField(TComponent* owner) : TBlobField(owner) {
  SetDataType(TFieldType::ftGraphic);
}

std::string TMemoField::AsString() const {
  std::string native = TBlobField::AsString();
  return DataSet() ? DataSet()->FieldTextFromNative(*this, std::move(native)) : native;
}

void TMemoField::SetAsString(const std::string& value) {
  TBlobField::SetAsString(DataSet() ? DataSet()->FieldTextToNative(*this, value) : value);
}

std::string TBlobField::AsString() const {
  if (!DataSet()) return {};
  auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), TBlobStreamMode::bmRead);
  return stream ? stream->ReadAll() : std::string();
}

void TBlobField::SetAsString(const std::string& value) {
  if (!DataSet()) DatabaseError(FormatMessage(dbconsts::SFieldReadOnly, FieldName()), this);
  auto stream = DataSet()->CreateBlobStream(this, TBlobStreamMode::bmWrite);
  if (!stream) DatabaseError(dbconsts::SNotEditing, DataSet());  // no record to write to
  const auto size = static_cast<std::int64_t>(value.size());
  if (stream->Write(value.data(), size) != size)
    DatabaseError(FormatMessage(FormatMessage(dbconsts::SBlobWriteShort, std::to_string(size)),
                                DisplayLabel()),
                  DataSet());
}

TValue TBlobField::Value() const {
  if (IsNull()) return {};
  return AsString();
}

// ---- factory ----

TField* CreateField(TFieldType type, TComponent* owner) {
  TField* field = nullptr;
  switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
      field = new TStringField(owner);
      break;
    case TFieldType::ftSmallint:
      field = new TSmallintField(owner);
      break;
    case TFieldType::ftInteger:
      field = new TIntegerField(owner);
      break;
    case TFieldType::ftWord:
      field = new TWordField(owner);
      break;
    case TFieldType::ftAutoInc:
      field = new TAutoIncField(owner);
      break;
    case TFieldType::ftLargeint:
      field = new TLargeintField(owner);
      break;
    case TFieldType::ftFloat:
      field = new TFloatField(owner);
      break;
    case TFieldType::ftCurrency:
      field = new TCurrencyField(owner);
      break;
    case TFieldType::ftBCD:
      field = new TBCDField(owner);
      break;
    case TFieldType::ftBoolean:
      field = new TBooleanField(owner);
      break;
    case TFieldType::ftDate:
      field = new TDateField(owner);
      break;
    case TFieldType::ftTime:
      field = new TTimeField(owner);
      break;
    case TFieldType::ftDateTime:
      field = new TDateTimeField(owner);
      break;
    case TFieldType::ftBytes:
      field = new TBytesField(owner);
      break;
    case TFieldType::ftVarBytes:
      field = new TVarBytesField(owner);
      break;
    case TFieldType::ftMemo:
    case TFieldType::ftFmtMemo:
      field = new TMemoField(owner);
      break;
    case TFieldType::ftGraphic:
      field = new TGraphicField(owner);
      break;
    case TFieldType::ftBlob:
    case TFieldType::ftParadoxOle:
    case TFieldType::ftDBaseOle:
    case TFieldType::ftTypedBinary:
      field = new TBlobField(owner);
      break;
    default:
      field = new TField(owner);
      break;
  }
  field->SetDataType(type);
  return field;
}

}  // namespace vader
