#include "framework/DB.h"
#include "framework/DBCtrls.h"
#include "framework/Forms.h"
#include "framework/FrameworkErrors.h"
#include "language/LanguageFixture.h"

namespace vader {
namespace {

using Walker = vader::testing::LanguageTest;

const char* const kDictionary =
    "Caption~|~Titre\nHint~|~Astuce\nItem~|~Element\nA~|~B\nB~|~C\nNAME~|~Nom\n"
    "Page~|~Feuille\nColumn~|~Colonne\nTab~|~Onglet\n";

// A dataset with fields made on opening, optionally able to open itself for translation
// the way an attached table does.
class TestDataSet : public TDataSet {
 public:
  explicit TestDataSet(TComponent* owner) : TDataSet(owner) {
    FieldDefs().push_back({"NAME", TFieldType::ftString, 20});
    FieldDefs().push_back({"CITY", TFieldType::ftString, 20});
  }
  bool attached = false;
  bool failToOpen = false;
  int opens = 0;
  bool OpenForTranslation() override {
    if (!attached) return false;
    Open();
    return true;
  }

 protected:
  void InternalOpen() override {
    if (failToOpen) throw EDatabaseError("Table does not exist");
    ++opens;
  }
};

TEST_F(Walker, ButtonsAndBitButtonsGetCaptionAndHint) {
  StartWith(kDictionary);
  TForm form(nullptr);
  auto* button = new TButton(&form);
  auto* bitBtn = new TBitBtn(&form);
  for (TControl* c : {static_cast<TControl*>(button), static_cast<TControl*>(bitBtn)}) {
    c->SetCaption("Caption");
    c->SetHint("Hint");
  }
  TranslateComponent(&form);
  EXPECT_EQ(bitBtn->Caption(), "Titre");
  EXPECT_EQ(bitBtn->Hint(), "Astuce");
  EXPECT_EQ(button->Caption(), "Titre");
}

TEST_F(Walker, EveryCaptionKindAndTheFormItself) {
  StartWith(kDictionary);
  TForm form(nullptr);
  form.SetCaption("Caption");
  form.SetHint("Hint");
  std::vector<TControl*> controls = {
      new TLabel(&form),       new TfcLabel(&form),    new TPanel(&form),
      new TSpeedButton(&form), new TToolButton(&form), new TGroupBox(&form),
      new TRadioButton(&form), new TCheckBox(&form),   new TDBCheckBox(&form)};
  for (auto* c : controls) {
    c->SetCaption("caption");
    c->SetHint("HINT");
  }
  TranslateComponent(&form);
  EXPECT_EQ(form.Caption(), "Titre");
  EXPECT_EQ(form.Hint(), "Astuce");
  for (auto* c : controls) {
    EXPECT_EQ(c->Caption(), "Titre") << typeid(*c).name();
    EXPECT_EQ(c->Hint(), "Astuce") << typeid(*c).name();
  }
}

TEST_F(Walker, RadioGroupItemsAndCaptionButNotItsHint) {
  StartWith(kDictionary);
  TForm form(nullptr);
  auto* group = new TRadioGroup(&form);
  group->SetCaption("Caption");
  group->SetHint("Hint");
  group->SetItems({"Item", "Other", " item "});
  TranslateComponent(&form);
  EXPECT_EQ(group->Caption(), "Titre");
  EXPECT_EQ(group->Hint(), "Hint");
  EXPECT_EQ(group->Items(), (TStrings{"Element", "Other", "Element"}));
}

TEST_F(Walker, ListTabAndNotebookTexts) {
  StartWith(kDictionary);
  TForm form(nullptr);
  auto* list = new TListView(&form);
  list->AddColumn("Column");
  list->AddColumn("Name");
  list->AddRow({"Caption", "Item"});  // cells are data
  auto* tabs = new TTabSet(&form);
  tabs->SetItems({"Tab", "Page"});
  auto* tabbed = new TTabbedNotebook(&form);
  tabbed->SetItems({"Page"});
  auto* ovc = new TOvcNotebook(&form);
  ovc->AddPage("Page", "Hint");
  TranslateComponent(&form);
  EXPECT_EQ(list->Columns()[0].caption, "Colonne");
  EXPECT_EQ(list->Columns()[1].caption, "Nom");
  EXPECT_EQ(list->Rows()[0], (TStrings{"Caption", "Item"}));
  EXPECT_EQ(tabs->Items(), (TStrings{"Onglet", "Feuille"}));
  EXPECT_EQ(tabbed->Items(), (TStrings{"Feuille"}));
  EXPECT_EQ(ovc->Pages()[0].caption, "Feuille");
  EXPECT_EQ(ovc->Pages()[0].hint, "Astuce");
}

TEST_F(Walker, PagesAreTranslatedOnceThroughTheirPageControl) {
  StartWith("A~|~B\nB~|~C\n");
  TForm form(nullptr);
  auto* pages = new TPageControl(&form);
  auto* sheet = new TTabSheet(&form);
  sheet->SetPageControl(pages);
  sheet->SetCaption("A");
  TranslateComponent(&form);
  EXPECT_EQ(sheet->Caption(), "B");  // visited again as the form's component: no kind
}

TEST_F(Walker, MenuItemsAreReachedAsComponentsOfTheWindow) {
  StartWith(kDictionary);
  TForm form(nullptr);
  auto* menu = new TMainMenu(&form);
  auto* file = new TMenuItem(&form);
  auto* item = new TMenuItem(&form);
  menu->Items()->Add(file);
  file->Add(item);
  file->SetCaption("Caption");
  item->SetHint("Hint");
  TranslateComponent(&form);
  EXPECT_EQ(file->Caption(), "Titre");
  EXPECT_EQ(item->Hint(), "Astuce");
}

TEST_F(Walker, UnknownKindsAreSkippedButTheirChildrenVisited) {
  StartWith(kDictionary);
  TForm form(nullptr);
  auto* plain = new TComponent(&form);
  auto* label = new TLabel(plain);
  label->SetCaption("Caption");
  TranslateComponent(&form);
  EXPECT_EQ(label->Caption(), "Titre");
}

TEST_F(Walker, FieldLabelsFallBackToTheFieldNameAndChainThroughEveryVisit) {
  StartWith(kDictionary);
  TForm form(nullptr);
  auto* data = new TestDataSet(&form);
  auto* persistent = new TField(&form);  // a persistent field: owned by the window
  persistent->SetFieldName("CODE");
  persistent->SetDisplayLabel("A");
  persistent->SetDataSet(data);
  auto* source = new TDataSource(&form);
  source->SetDataSet(data);
  auto* grid = new TwwDBGrid(&form);
  grid->SetDataSource(source);
  data->Open();
  // Visited through the dataset, through the grid and as the window's component:
  // A -> B -> C, and C has no entry.
  TranslateComponent(&form);
  EXPECT_EQ(persistent->DisplayLabel(), "C");
  EXPECT_EQ(data->opens, 1);
}

TEST_F(Walker, OpeningCreatesFieldsThatAreVisitedTwice) {
  StartWith("NAME~|~A\nA~|~B\nB~|~C\n");
  TForm form(nullptr);
  auto* data = new TestDataSet(&form);
  data->attached = true;
  TranslateComponent(&form);
  ASSERT_TRUE(data->Active());  // stays open after the walk
  // Once through the dataset, once as a component the dataset owns.
  EXPECT_EQ(data->FieldByName("NAME")->DisplayLabel(), "B");
  EXPECT_EQ(data->FieldByName("CITY")->DisplayLabel(), "CITY");
}

TEST_F(Walker, ClosedDataSetsThatCannotOpenAreSkippedSilently) {
  StartWith(kDictionary);
  TForm form(nullptr);
  auto* idle = new TestDataSet(&form);  // not attached
  auto* failing = new TestDataSet(&form);
  failing->attached = true;
  failing->failToOpen = true;
  auto* after = new TLabel(&form);
  after->SetCaption("Caption");
  TranslateComponent(&form);
  EXPECT_FALSE(idle->Active());
  EXPECT_FALSE(failing->Active());
  EXPECT_EQ(after->Caption(), "Titre");  // the walk went on
}

TEST_F(Walker, GridWithoutDataSourceOrDataSetIsLeftAlone) {
  StartWith(kDictionary);
  TForm form(nullptr);
  auto* grid = new TwwDBGrid(&form);
  grid->SetCaption("Caption");
  auto* source = new TDataSource(&form);
  TranslateComponent(&form);
  grid->SetDataSource(source);
  TranslateComponent(&form);
  EXPECT_EQ(grid->Caption(), "Caption");  // nothing of the grid itself
}

}  // namespace
}  // namespace vader
