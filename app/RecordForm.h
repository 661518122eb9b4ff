#pragma once
// The form view of a data window's current record: one data-aware control per field (edits,
// check boxes for logical fields, pickers for dates and times), memo fields in a text pane, and binary or graphic fields
// shown as pictures, loaded from and saved to files. It follows the data window's moves.

#include <string>
#include <vector>

#include "AppForm.h"

namespace vader {
class TComboBox;
class TField;
}

namespace vader::app {

class TDataForm;

class TRecordForm : public TAppForm {
 public:
  TRecordForm(TComponent* owner, TDataForm* data);
  ~TRecordForm() override;
  TDataForm* DataForm() const { return data_; }

  // Stores the memo pane's text in its field (the record is posted with the next post).
  void StoreMemo();
  // Loads the blob field from a file's bytes / writes its bytes to a file.
  bool LoadBlob(const std::string& path);
  bool SaveBlob(const std::string& path);

 protected:
  void ShowState() override;

 private:
  class Follow;
  // A field that holds the id of a row of another table, chosen by that row's name.
  struct TLookup {
    TField* field = nullptr;
    TComboBox* combo = nullptr;
    std::vector<std::string> ids, names;
  };
  static constexpr int kLookupRows = 5000;  // larger tables keep the plain edit
  // The choice of a field that holds another table's id, nullptr when the field is no such.
  TControl* AddLookup(TWinControl* parent, TField* field, const std::string& base, int top,
                      int width);
  void PlaceFields(TPanel* pane);
  void PlacePanes(TPanel* pane);
  std::vector<TLookup> lookups_;
  TDataForm* data_;
  TField* memoField_ = nullptr;
  TField* blobField_ = nullptr;
  std::unique_ptr<Follow> follow_;
};

}  // namespace vader::app
