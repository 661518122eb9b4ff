#pragma once
// The field family: a field object shows one column of its dataset's current record and
// converts its value between the storage's native form and text, integer, float,
// date-time, boolean and null. Native forms (what GetData/SetData move):
//   string, fixed char: Size characters + NUL     smallint, word: 16-bit
//   integer, auto-increment: 32-bit               large integer: 64-bit
//   float, currency, BCD: 8-byte double           boolean: 16-bit, -1 true, 0 false
//   date: 32-bit day number                       time: 32-bit milliseconds since midnight
//   date-time: double milliseconds since day 0    bytes: Size bytes
//   var-bytes: 16-bit length + Size bytes         blobs: none (read through a blob stream)

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "framework/Classes.h"
#include "framework/DBDefs.h"
#include "framework/DateTimes.h"

namespace vader {

class TDataSet;

// A field value as a caller sees it: null, boolean, integer, float or text.
using TValue = std::variant<std::monostate, bool, std::int64_t, double, std::string>;

enum class TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };

class TField : public TComponent {
 public:
  explicit TField(TComponent* owner) : TComponent(owner) {}
  ~TField() override;

  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(const std::string& name) { fieldName_ = name; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType type) { dataType_ = type; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }
  int FieldNo() const { return fieldNo_; }
  void SetFieldNo(int fieldNo) { fieldNo_ = fieldNo; }
  TFieldKind FieldKind() const { return fieldKind_; }
  void SetFieldKind(TFieldKind kind) { fieldKind_ = kind; }
  // Calculated and lookup fields live in the record's calculated area, not in the storage.
  bool Calculated() const {
    return fieldKind_ == TFieldKind::fkCalculated || fieldKind_ == TFieldKind::fkLookup;
  }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }

  // The label shown for the field: its field name until a label is set.
  std::string DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(const std::string& label);

  TDataSet* DataSet() const { return dataSet_; }
  // Adds the field to DataSet's fields (and removes it from its former dataset's).
  void SetDataSet(TDataSet* dataSet);
  int Index() const;  // position among the dataset's fields, -1 when detached

  // Lookup fields: the value of LookupResultField in LookupDataSet's record whose
  // LookupKeyFields equal this dataset's KeyFields.
  TDataSet* LookupDataSet = nullptr;
  std::string KeyFields, LookupKeyFields, LookupResultField;

  // Bytes of the native value (0 for blobs and unknown types).
  virtual std::size_t DataSize() const { return 0; }
  // Copies the native value into Buffer (DataSize bytes) and answers true, or answers false
  // for null. Buffer may be null to test for null only.
  bool GetData(void* buffer) const;
  // Writes a native value (nullptr: null) through the dataset's edit checks.
  void SetData(const void* buffer);

  virtual bool IsNull() const { return !GetData(nullptr); }
  void Clear() { SetData(nullptr); }

  virtual std::string AsString() const;
  virtual void SetAsString(const std::string& value);
  // The value as a grid or form shows it: AsString, numbers with their decimals.
  virtual std::string DisplayText() const { return AsString(); }
  virtual std::int64_t AsInteger() const;
  virtual void SetAsInteger(std::int64_t value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  virtual TDateTime AsDateTime() const;
  virtual void SetAsDateTime(TDateTime value);
  // Null for a null field, else the value in the field's natural kind.
  virtual TValue Value() const;
  void SetValue(const TValue& value);
  // The value before the current edit, and the value being edited.
  TValue OldValue() const;
  TValue NewValue() const;
  void SetNewValue(const TValue& value);

 protected:
  [[noreturn]] void AccessError(const char* asType) const;
  [[noreturn]] void ConvertError(const char* format, const std::string& text) const;

 private:
  friend class TDataSet;
  std::string fieldName_;
  std::string displayLabel_;
  TFieldType dataType_ = TFieldType::ftUnknown;
  int size_ = 0;
  int fieldNo_ = 0;
  TFieldKind fieldKind_ = TFieldKind::fkData;
  bool readOnly_ = false;
  bool required_ = false;
  bool visible_ = true;
  static constexpr std::size_t kUnbound = SIZE_MAX;
  std::size_t calcOffset_ = kUnbound;  // place in the calculated area, set when fields are bound
  TDataSet* dataSet_ = nullptr;
};

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner);
  std::size_t DataSize() const override { return static_cast<std::size_t>(Size()) + 1; }
  // Fixed-char fields lose their trailing blanks when read.
  bool FixedChar() const { return DataType() == TFieldType::ftFixedChar; }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;  // longer texts are cut at Size
  std::int64_t AsInteger() const override;
  void SetAsInteger(std::int64_t value) override { SetAsString(std::to_string(value)); }
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override { SetAsString(value ? "True" : "False"); }
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override { SetAsString(DateTimeToText(value)); }
  TValue Value() const override;
};

// Integers of 16, 32 and 64 bits, signed or not; the native width follows the type.
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TComponent* owner);
  std::size_t DataSize() const override;
  std::int64_t MinValue() const;
  std::int64_t MaxValue() const;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  std::int64_t AsInteger() const override;
  void SetAsInteger(std::int64_t value) override;  // out of range raises
  double AsFloat() const override { return static_cast<double>(AsInteger()); }
  void SetAsFloat(double value) override;
  bool AsBoolean() const override { return AsInteger() != 0; }
  void SetAsBoolean(bool value) override { SetAsInteger(value ? 1 : 0); }
  TValue Value() const override;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner);
};
class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* owner);
};
class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* owner);
};
class TLargeintField : public TIntegerField {
 public:
  explicit TLargeintField(TComponent* owner);
};

class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* owner);
  std::size_t DataSize() const override { return sizeof(double); }
  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value; }
  // The decimals a value shows (money and decimal fields), -1: as many as it has.
  int Scale() const { return scale_; }
  void SetScale(int value) { scale_ = value; }
  // Stored in 4 bytes: the text shows the digits the stored value holds (0.15, not the
  // 0.150000005960464 of its double), and reads back to the same stored value.
  bool SinglePrecision() const { return single_; }
  void SetSinglePrecision(bool value) { single_ = value; }
  std::string AsString() const override;
  std::string DisplayText() const override;
  void SetAsString(const std::string& value) override;
  std::int64_t AsInteger() const override;
  void SetAsInteger(std::int64_t value) override { SetAsFloat(static_cast<double>(value)); }
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  TValue Value() const override;

 private:
  int precision_ = 15;
  int scale_ = -1;
  bool single_ = false;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* owner);
};
// BCD values are kept as doubles; Size is the number of decimals.
class TBCDField : public TFloatField {
 public:
  explicit TBCDField(TComponent* owner);
};

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner);
  std::size_t DataSize() const override { return 2; }
  std::string AsString() const override;  // "True", "False", "" for null
  void SetAsString(const std::string& value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  std::int64_t AsInteger() const override { return AsBoolean() ? 1 : 0; }
  void SetAsInteger(std::int64_t value) override { SetAsBoolean(value != 0); }
  TValue Value() const override;
};

// Date, time and date-time fields; the type decides the native form.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* owner);
  std::size_t DataSize() const override;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  double AsFloat() const override { return AsDateTime(); }
  void SetAsFloat(double value) override { SetAsDateTime(value); }
  TValue Value() const override;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner);
};
class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner);
};

// Bytes and var-bytes: the text form is the raw bytes.
class TBinaryField : public TField {
 public:
  explicit TBinaryField(TComponent* owner);
  std::size_t DataSize() const override;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;  // longer values are cut at Size
  TValue Value() const override;
};

class TBytesField : public TBinaryField {
 public:
  explicit TBytesField(TComponent* owner) : TBinaryField(owner) {}
};
class TVarBytesField : public TBinaryField {
 public:
  explicit TVarBytesField(TComponent* owner);
};

// Blob, memo and graphic fields read and write their whole contents through the dataset's
// blob stream.
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner);
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  TValue Value() const override;
};

// Memo text is stored in the dataset's code page, as string fields are.
class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner);
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
};
class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* owner);
};

// A field object of the class that serves Type (a plain TField for unknown types).
TField* CreateField(TFieldType type, TComponent* owner);

}  // namespace vader
