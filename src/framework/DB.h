#pragma once
// The dataset abstraction. A dataset keeps a window of record buffers around its active
// record, sized by the data-aware controls linked to it, and moves that window through its
// storage by the hooks a descendant overrides (open/close, first/last, fetch a record,
// bookmarks, field data, post/delete, ...). It owns the state machine (browse, edit,
// insert, set-key, calculated fields, filter, ...), its fields and field definitions,
// and tells its data sources about every change; data sources pass that on to their data
// links. The base class is a complete dataset over an empty, read-only storage.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/DBDefs.h"
#include "framework/DBFields.h"
#include "framework/Streams.h"

namespace vader {

enum class TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc
};

enum class TDataEvent {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl
};

enum class TGetMode { gmCurrent, gmNext, gmPrior };
enum class TGetResult { grOK, grBOF, grEOF, grError };
enum class TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };
enum class TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

enum TFilterOption : unsigned { foCaseInsensitive = 1, foNoPartialCompare = 2 };
using TFilterOptions = unsigned;
enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;

// A bookmark is the storage's opaque bytes for one record; empty means none.
using TBookmark = std::string;

// One buffered record.
struct TRecordBuffer {
  std::vector<std::uint8_t> data;  // laid out by the storage
  std::vector<std::uint8_t> calc;  // calculated and lookup fields: per field a flag, then the value
};

class TDataSet;
class TDataSource;
class TDataLink;

using TDataSetNotifyEvent = std::function<void(TDataSet*)>;
using TFilterRecordEvent = std::function<void(TDataSet*, bool& accept)>;

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner) : TComponent(owner) {}
  ~TDataSet() override;

  // ---- opening ----
  bool Active() const { return state_ != TDataSetState::dsInactive; }
  // While loading, the value is kept and applied when loading finishes.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return state_; }

  // Opens a closed dataset so its field labels can be translated, when this kind of dataset
  // allows that (an attached table does); false when it does not apply.
  virtual bool OpenForTranslation() { return false; }

  // ---- fields ----
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int index) const;
  TField* FindField(const std::string& name) const;
  TField* FieldByName(const std::string& name) const;  // raises "Field '%s' not found"
  // The fields named in "A;B", in that order; raises for a missing one.
  std::vector<TField*> GetFieldList(const std::string& names) const;
  TFieldDefs& FieldDefs() { return fieldDefs_; }
  const TFieldDefs& FieldDefs() const { return fieldDefs_; }
  bool DefaultFields() const { return defaultFields_; }
  bool AutoCalcFields() const { return autoCalcFields_; }
  void SetAutoCalcFields(bool value) { autoCalcFields_ = value; }

  // ---- navigation ----
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves Distance records (negative: backwards); returns how far it got.
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const {
    return Active() && recordCount_ == 0 && state_ != TDataSetState::dsInsert;
  }
  // Re-reads the buffered records around the active one from the storage.
  void Refresh();
  void Resync();

  // ---- editing ----
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  // A whole new record in one call: Values go to the fields in order, then it is posted.
  void InsertRecord(const std::vector<TValue>& values) { AddRecord(values, false); }
  void AppendRecord(const std::vector<TValue>& values) { AddRecord(values, true); }
  // The value Field has in State: dsOldValue gives the value before the current edit,
  // dsNewValue and dsCurValue the value being edited. A descendant with other sources for
  // these states (cached updates) answers through CurrentRecordBuffer.
  TValue FieldValueIn(const TField* field, TDataSetState state);
  void SetFieldValueIn(TField* field, TDataSetState state, const TValue& value);
  // Posts or cancels a pending edit (posted when something changed).
  void CheckBrowseMode();
  // Asks the data links to write their pending edits into the fields.
  void UpdateRecord();
  bool Modified() const { return modified_; }
  virtual bool CanModify() const { return false; }
  virtual TUpdateStatus UpdateStatus() const { return TUpdateStatus::usUnmodified; }

  // ---- bookmarks ----
  TBookmark GetBookmark() const;
  void GotoBookmark(const TBookmark& bookmark);
  // True when Bookmark still names a record of the storage.
  bool BookmarkValid(const TBookmark& bookmark);
  // Negative, 0 or positive; a missing bookmark is smaller than any other, two are equal.
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

  // ---- counts and record numbers ----
  virtual int RecordCount() { return 0; }
  virtual int RecNo() const { return -1; }
  virtual void SetRecNo(int) {}
  virtual bool IsSequenced() const { return false; }

  // ---- filters and searches ----
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool value);
  const std::string& Filter() const { return filterText_; }
  virtual void SetFilterText(const std::string& value);
  TFilterOptions FilterOptions() const { return filterOptions_; }
  virtual void SetFilterOptions(TFilterOptions value);
  const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
  virtual void SetOnFilterRecord(TFilterRecordEvent handler);
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }
  // Moves to the first record whose KeyFields ("A;B") hold Values.
  virtual bool Locate(const std::string& keyFields, const std::vector<TValue>& values,
                      TLocateOptions options);
  // The ResultFields of the first record whose KeyFields hold Values, without moving; all
  // null when there is none.
  virtual std::vector<TValue> Lookup(const std::string& keyFields,
                                     const std::vector<TValue>& values,
                                     const std::string& resultFields);

  // Reads the records after the one After names (from the first when After is empty)
  // without moving the active record, the window or telling anyone: for each, the fields
  // show that record while Visit runs; Visit returns false to stop. True when Visit
  // stopped the reading, false at the end. Only while browsing.
  bool ReadRecords(const TBookmark& after, const std::function<bool()>& visit);
  // The same going back: the records before the one Before names (from the last when empty),
  // nearest first.
  bool ReadRecordsBefore(const TBookmark& before, const std::function<bool()>& visit);
  // Inside Visit: the bookmark of the record being read.
  TBookmark ReadingBookmark() const;

  // The text of a string or memo field from its stored bytes, and the bytes of a text to
  // store; a dataset whose records hold another code page than the system's converts here
  // (the second raises ECharacterNotStored for a character it cannot hold).
  virtual std::string FieldTextFromNative(const TField&, std::string native) const {
    return native;
  }
  virtual std::string FieldTextToNative(const TField&, const std::string& text) const {
    return text;
  }

  // ---- blobs ----
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);

  // ---- controls ----
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }
  // Changes whenever the records may have changed (not by mere moves): opening, posting,
  // deleting, re-reading and filter changes. Lets a control that keeps rows of its own
  // tell a move from a change.
  std::uint64_t RowsVersion() const { return rowsVersion_; }
  // Block reading (size > 0) moves without telling the controls; 0 returns to browsing.
  int BlockReadSize() const { return blockReadSize_; }
  virtual void SetBlockReadSize(int value);
  // The master link's data source of a detail dataset, else none.
  virtual TDataSource* DataSource() const { return nullptr; }
  bool IsLinkedTo(const TDataSource* source) const;

  // ---- the record window ----
  int ActiveRecord() const { return activeRecord_; }
  int BufferCount() const { return bufferCount_; }
  int BufferedRecords() const { return recordCount_; }
  // bfEOF while appending, bfInserted while inserting, else bfCurrent (bfBOF when empty).
  TBookmarkFlag ActiveBookmarkFlag() const;

  // ---- field data (used by the fields) ----
  bool ReadFieldData(const TField* field, void* dest) const;
  void WriteFieldData(TField* field, const void* source);

  // ---- events ----
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
      BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
      AfterDelete, BeforeScroll, AfterScroll, OnNewRecord, OnCalcFields;

 protected:
  // ---- storage hooks ----
  // Opens the storage and fills FieldDefs (unless they are already there); closes it.
  virtual void InternalOpen() {}
  virtual void InternalClose() {}
  virtual std::size_t RecordBufferSize() const { return 0; }
  // Positions before the first / after the last record.
  virtual void InternalFirst() {}
  virtual void InternalLast() {}
  // Reads the record at, after or before the storage position into Buffer and moves there.
  // DoCheck: failures other than the ends raise instead of answering grError.
  virtual TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck);
  virtual void InternalInitRecord(TRecordBuffer& buffer);
  virtual TBookmark GetBookmarkData(const TRecordBuffer&) const { return {}; }
  virtual void SetBookmarkData(TRecordBuffer&, const TBookmark&) {}
  virtual TBookmarkFlag GetBookmarkFlag(const TRecordBuffer&) const {
    return TBookmarkFlag::bfCurrent;
  }
  virtual void SetBookmarkFlag(TRecordBuffer&, TBookmarkFlag) {}
  virtual void InternalGotoBookmark(const TBookmark& bookmark);
  // Whether Bookmark names a record; may move the storage (the dataset re-positions it).
  virtual bool InternalBookmarkValid(const TBookmark& bookmark);
  // Positions the storage on the record held in Buffer.
  virtual void InternalSetToRecord(TRecordBuffer& buffer) {
    InternalGotoBookmark(GetBookmarkData(buffer));
  }
  // Native field data of a data field in Buffer: false for null; Dest may be null.
  virtual bool GetFieldData(const TField* field, const TRecordBuffer& buffer, void* dest) const;
  virtual void SetFieldData(TField* field, TRecordBuffer& buffer, const void* source);
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  // Writes the active buffer (edit: over its record; insert: as a new record before the one
  // the storage is positioned on, or at the end when its bookmark flag is bfEOF) and leaves
  // the storage positioned on the written record.
  virtual void InternalPost();
  virtual void InternalCancel() {}
  // Deletes the record the storage is positioned on, leaving it where the record was.
  virtual void InternalDelete();
  virtual void InternalRefresh() {}
  // Searches from the storage position, or from an end when Restart, for a record the filter
  // accepts (OnFilterRecord, applied here for an unfiltered dataset).
  virtual bool FindRecord(bool restart, bool goForward);
  // The buffer that set-key state reads and writes (a descendant's key buffer).
  virtual TRecordBuffer* KeyRecordBuffer() const { return nullptr; }
  virtual void PostKeyBuffer(bool /*commit*/) {}

  // ---- helpers for descendants ----
  void Loaded() override;
  void SetState(TDataSetState value);
  TRecordBuffer* ActiveBuffer() const;
  // The buffer that field reads and writes go to in the current state (nullptr: none).
  virtual TRecordBuffer* CurrentRecordBuffer() const;
  // True when OnFilterRecord accepts Buffer (or there is no handler); runs in filter state.
  bool FilterAccepts(TRecordBuffer& buffer);
  void CalculateFields(TRecordBuffer& buffer);
  void DataEvent(TDataEvent event, TField* field = nullptr, int info = 0);
  // The storage position no longer matches a buffered row.
  void CursorPosChanged() { currentRecord_ = -1; }
  // The records may have changed (a descendant's range or index switch, say).
  void RowsChanged() { ++rowsVersion_; }
  // Reads the window again around the storage's current record, placed near the middle.
  void ResyncFromStorage(bool center);
  void CheckActive() const;
  void CheckInactive() const;

 private:
  friend class TField;
  friend class TDataSource;
  friend class TDataLink;
  class TempState;

  bool ReadRecordsFrom(const TBookmark& from, TGetMode mode, const std::function<bool()>& visit);
  void AddField(TField* field);
  void RemoveField(TField* field);
  void OpenCursor();
  void CloseCursor();
  void BindFields();
  void CreateDefaultFields();
  void DestroyDefaultFields();
  void CheckRequiredFields();
  void RecalculateActive();

  // The record window.
  std::unique_ptr<TRecordBuffer> NewBuffer() const;
  void SetBufferCount(int count);
  void UpdateBufferCount();
  void ClearBuffers();
  void InitRecord(TRecordBuffer& buffer);
  bool FetchNext();
  bool FetchPrior();
  void FillForward();
  void ReadFromStart();
  void SetCurrentRecord(int index);
  bool ReadCurrentInto(TRecordBuffer& buffer);
  void RemoveActiveBuffer();
  void BeginInsertAppend();
  void AddRecord(const std::vector<TValue>& values, bool append);
  void EndInsertAppend();
  void Scrolled(int shift);

  // Searches.
  bool ScanFor(const std::vector<TField*>& fields, const std::vector<TValue>& values,
               TLocateOptions options, const std::function<void()>& onMatch);
  bool RecordMatches(const std::vector<TField*>& fields, const std::vector<TValue>& values,
                     TLocateOptions options) const;
  void RefreshAfterFilterChange();

  void Notify(TDataEvent event, TField* field, int info);

  std::vector<TField*> fields_;
  TFieldDefs fieldDefs_;
  std::vector<TDataSource*> dataSources_;
  TDataSetState state_ = TDataSetState::dsInactive;
  bool streamedActive_ = false;
  bool defaultFields_ = false;
  bool autoCalcFields_ = true;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  std::size_t calcFieldsSize_ = 0;
  bool hasCalcFields_ = false;

  std::vector<std::unique_ptr<TRecordBuffer>> buffers_;  // bufferCount_ rows + one spare
  int bufferCount_ = 0;
  int recordCount_ = 0;
  int activeRecord_ = 0;
  int currentRecord_ = -1;  // the buffered row the storage is positioned on, -1: none
  TRecordBuffer* calcBuffer_ = nullptr;
  std::unique_ptr<TRecordBuffer> oldBuffer_;  // the active record as it was when edit began
  TRecordBuffer* filterBuffer_ = nullptr;

  bool filtered_ = false;
  std::string filterText_;
  TFilterOptions filterOptions_ = 0;
  TFilterRecordEvent onFilterRecord_;
  int blockReadSize_ = 0;
  int disableCount_ = 0;
  bool pendingChange_ = false;
  std::uint64_t rowsVersion_ = 0;
};

// Connects a dataset to data-aware controls: each control holds a data link on the source.
class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner) : TComponent(owner) {}
  ~TDataSource() override;
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool value) { autoEdit_ = value; }
  // The dataset's state, or inactive when there is none or the source is disabled.
  TDataSetState State() const;
  // Puts the dataset in edit state when AutoEdit allows it and it is browsing.
  void Edit();
  // True when the dataset is this source's or leads, through master links, back to it.
  bool IsLinkedTo(const TDataSet* dataSet) const;

  std::function<void(TDataSource*)> OnStateChange;
  std::function<void(TDataSource*, TField*)> OnDataChange;
  std::function<void(TDataSource*)> OnUpdateData;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent event, TField* field, int info);

  TDataSet* dataSet_ = nullptr;
  std::vector<TDataLink*> links_;
  bool enabled_ = true;
  bool autoEdit_ = true;
  TDataSetState state_ = TDataSetState::dsInactive;
};

// A control's connection to a data source. Descendants override the notifications.
class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  // The number of records this link shows; the dataset keeps at least the largest.
  int BufferCount() const { return bufferCount_; }
  void SetBufferCount(int value);
  // The active record's place in this link's window, and the rows in that window.
  int ActiveRecord() const;
  int RecordCount() const;
  // Starts editing through the data source; true when the dataset is then editing.
  bool Edit();
  // Writes this link's pending edit into its fields (the dataset's update-record event).
  void UpdateRecord();

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void FocusControl(TField* /*field*/) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void UpdateData() {}

 private:
  friend class TDataSource;
  friend class TDataSet;
  void DataEvent(TDataEvent event, TField* field, int info);
  void UpdateState();
  void UpdateRange();

  TDataSource* dataSource_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool updating_ = false;
  int bufferCount_ = 1;
  int firstRecord_ = 0;
};

}  // namespace vader
