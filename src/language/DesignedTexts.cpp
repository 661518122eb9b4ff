#include "language/DesignedTexts.h"

#include <functional>

#include "framework/DB.h"
#include "framework/DBCtrls.h"
#include "framework/DBFields.h"
#include "framework/Forms.h"
#include "language/zInter.h"

namespace vader {
namespace {

// Reads every text into the list, or writes the list back, in one fixed order per kind.
class TextList {
 public:
  TextList(std::vector<std::string>& texts, bool restore) : texts_(texts), restore_(restore) {}

  void Text(const std::string& current, const std::function<void(const std::string&)>& set) {
    if (!restore_) {
      texts_.push_back(current);
    } else if (at_ < texts_.size()) {
      if (texts_[at_] != current) set(texts_[at_]);
    }
    ++at_;
  }

 private:
  std::vector<std::string>& texts_;
  bool restore_;
  std::size_t at_ = 0;
};

template <typename Kind>
Kind* As(TComponent* c) {
  return dynamic_cast<Kind*>(c);
}

void Exchange(TComponent* c, TextList& list) {
  if (auto* field = As<TField>(c)) {
    list.Text(field->DisplayLabel(), [field](const std::string& t) { field->SetDisplayLabel(t); });
  } else if (auto* item = As<TMenuItem>(c)) {
    list.Text(item->Caption(), [item](const std::string& t) { item->SetCaption(t); });
    list.Text(item->Hint(), [item](const std::string& t) { item->SetHint(t); });
  }
  auto* control = As<TControl>(c);
  if (!control) return;
  list.Text(control->Caption(), [control](const std::string& t) { control->SetCaption(t); });
  list.Text(control->Hint(), [control](const std::string& t) { control->SetHint(t); });
  if (auto* items = As<TItemsControl>(c)) {
    for (int i = 0; i < static_cast<int>(items->Items().size()); ++i)
      list.Text(items->Items()[static_cast<std::size_t>(i)],
                [items, i](const std::string& t) { items->SetItem(i, t); });
  } else if (auto* listView = As<TListView>(c)) {
    for (int i = 0; i < static_cast<int>(listView->Columns().size()); ++i)
      list.Text(listView->Columns()[static_cast<std::size_t>(i)].caption,
                [listView, i](const std::string& t) { listView->SetColumnCaption(i, t); });
  } else if (auto* notebook = As<TOvcNotebook>(c)) {
    for (int i = 0; i < static_cast<int>(notebook->Pages().size()); ++i) {
      const auto page = notebook->Pages()[static_cast<std::size_t>(i)];
      list.Text(page.caption, [notebook, i](const std::string& t) {
        notebook->SetPageTexts(i, t, notebook->Pages()[static_cast<std::size_t>(i)].hint);
      });
      list.Text(page.hint, [notebook, i](const std::string& t) {
        notebook->SetPageTexts(i, notebook->Pages()[static_cast<std::size_t>(i)].caption, t);
      });
    }
  }
}

void TellPeers(TComponent* c) {
  if (auto* control = As<TControl>(c); control && control->Peer()) control->Peer()->TextsChanged();
  for (int i = 0; i < c->ComponentCount(); ++i) TellPeers(c->Components(i));
}

}  // namespace

void TDesignedTexts::Capture(TComponent* root) {
  if (root) Visit(root, false);
}

void TDesignedTexts::TranslateAgain(TComponent* root) {
  if (!root) return;
  Visit(root, true);
  TranslateComponent(root);
  TellPeers(root);
}

void TDesignedTexts::Keep(TComponent* c, bool restore) {
  auto found = entries_.find(c);
  // An entry left by a component that is gone (its address now taken by another) is replaced.
  if (found != entries_.end() &&
      (found->second.kind != &typeid(*c) || found->second.name != c->Name())) {
    entries_.erase(found);
    found = entries_.end();
  }
  if (found == entries_.end()) {
    Entry& entry = entries_[c];
    entry.kind = &typeid(*c);
    entry.name = c->Name();
    TextList list(entry.texts, false);
    Exchange(c, list);
  } else if (restore) {
    TextList list(found->second.texts, true);
    Exchange(c, list);
  }
}

void TDesignedTexts::KeepFields(TComponent* dataSet, bool restore) {
  auto* data = As<TDataSet>(dataSet);
  if (!data) return;
  for (int i = 0; i < data->FieldCount(); ++i) Keep(data->Fields(i), restore);
}

void TDesignedTexts::Visit(TComponent* c, bool restore) {
  Keep(c, restore);
  if (auto* grid = As<TwwDBGrid>(c); grid && grid->DataSource())
    KeepFields(grid->DataSource()->DataSet(), restore);
  KeepFields(c, restore);
  for (int i = 0; i < c->ComponentCount(); ++i) Visit(c->Components(i), restore);
}

}  // namespace vader
