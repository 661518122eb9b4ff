// The component tree: ownership, destruction order, notifications, the loading phase, and
// the first dataset's fields.

#include <gtest/gtest.h>

#include "framework/DB.h"
#include "framework/DBCtrls.h"
#include "framework/Forms.h"
#include "framework/FrameworkErrors.h"

namespace vader {
namespace {

class Tracked : public TComponent {
 public:
  Tracked(TComponent* owner, std::vector<std::string>& log, std::string name)
      : TComponent(owner), log_(log) {
    SetName(std::move(name));
  }
  ~Tracked() override { log_.push_back(Name()); }

 private:
  std::vector<std::string>& log_;
};

TEST(ComponentTree, OwnersDestroyWhatTheyOwnLastFirst) {
  std::vector<std::string> log;
  auto* owner = new Tracked(nullptr, log, "owner");
  new Tracked(owner, log, "a");
  auto* b = new Tracked(owner, log, "b");
  new Tracked(b, log, "b1");
  new Tracked(owner, log, "c");
  EXPECT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_EQ(owner->FindComponent("B"), b);
  delete owner;
  // Each destructor body runs before the owned components go, last one first.
  EXPECT_EQ(log, (std::vector<std::string>{"owner", "c", "b", "b1", "a"}));
}

TEST(ComponentTree, ADestroyedComponentLeavesItsOwnerAndReferencesToItAreCleared) {
  TForm form(nullptr);
  auto* data = new TDataSet(&form);
  auto* source = new TDataSource(&form);
  auto* grid = new TwwDBGrid(&form);
  source->SetDataSet(data);
  grid->SetDataSource(source);
  delete data;
  EXPECT_EQ(source->DataSet(), nullptr);
  EXPECT_EQ(form.ComponentCount(), 2);
  delete source;
  EXPECT_EQ(grid->DataSource(), nullptr);
  EXPECT_THROW(form.Components(5), std::out_of_range);
}

TEST(ComponentTree, ChildControlsAndPagesFollowTheirParents) {
  TForm form(nullptr);
  auto* pages = new TPageControl(&form);
  auto* sheet = new TTabSheet(&form);
  sheet->SetPageControl(pages);
  auto* label = new TLabel(&form);
  label->SetParent(sheet);
  EXPECT_EQ(pages->PageCount(), 1);
  EXPECT_EQ(sheet->Parent(), pages);
  EXPECT_EQ(sheet->ControlCount(), 1);
  delete pages;  // the sheet loses its page control and parent, and stays usable
  EXPECT_EQ(sheet->PageControl(), nullptr);
  EXPECT_EQ(sheet->Parent(), nullptr);
  delete sheet;
  EXPECT_EQ(label->Parent(), nullptr);
}

class StoredForm : public TForm {
 public:
  explicit StoredForm(bool storeActive) : TForm(nullptr) {
    BeginLoading();
    data = new TDataSet(this);
    data->FieldDefs().push_back({"NAME", TFieldType::ftString, 10});
    data->SetActive(storeActive);
  }
  TDataSet* data;
  bool openWhenCreated = false;
  int creations = 0;

 protected:
  void FormCreate() override {
    openWhenCreated = data->Active();
    ++creations;
  }
};

TEST(LoadingPhase, StoredActiveDataSetsOpenBeforeTheCreationHandlerRuns) {
  StoredForm form(true);
  EXPECT_TRUE(form.data->Loading());
  EXPECT_FALSE(form.data->Active());  // kept until loading has finished
  form.AfterConstruction();
  EXPECT_FALSE(form.data->Loading());
  EXPECT_TRUE(form.openWhenCreated);
  EXPECT_EQ(form.creations, 1);

  StoredForm closed(false);
  closed.AfterConstruction();
  EXPECT_FALSE(closed.openWhenCreated);
}

TEST(DataSetFields, DefaultFieldsComeAndGoWithOpenAndClose) {
  TDataSet data(nullptr);
  data.FieldDefs().push_back({"NAME", TFieldType::ftString, 10});
  data.FieldDefs().push_back({"AGE", TFieldType::ftInteger, 4});
  data.Open();
  ASSERT_EQ(data.FieldCount(), 2);
  EXPECT_EQ(data.Fields(1)->Owner(), &data);
  EXPECT_EQ(data.FieldByName("age")->DataType(), TFieldType::ftInteger);
  EXPECT_THROW(data.FieldByName("missing"), EDatabaseError);
  data.Close();
  EXPECT_EQ(data.FieldCount(), 0);
  EXPECT_EQ(data.ComponentCount(), 0);
}

TEST(DataSetFields, PersistentFieldsStayAndLabelsFallBackToTheName) {
  TForm form(nullptr);
  auto* data = new TDataSet(&form);
  data->FieldDefs().push_back({"NAME", TFieldType::ftString, 10});
  auto* field = new TField(&form);
  field->SetFieldName("CODE");
  field->SetDataSet(data);
  data->Open();
  EXPECT_EQ(data->FieldCount(), 1);  // persistent fields replace the default ones
  EXPECT_EQ(field->DisplayLabel(), "CODE");
  field->SetDisplayLabel("Code");
  EXPECT_EQ(field->DisplayLabel(), "Code");
  field->SetDisplayLabel("CODE");  // the name itself is no label of its own
  field->SetFieldName("KEY");
  EXPECT_EQ(field->DisplayLabel(), "KEY");
  data->Close();
  EXPECT_EQ(data->FieldCount(), 1);
  delete field;
  EXPECT_EQ(data->FieldCount(), 0);
}

TEST(Application, InitialisationRunsTheHookChainOnce) {
  int runs = 0;
  InitProc = [&] { ++runs; };
  TApplication app;
  app.Initialize();
  app.Initialize();
  EXPECT_EQ(runs, 1);
  InitProc = nullptr;
}

}  // namespace
}  // namespace vader
