#include "framework/Controls.h"

#include <algorithm>

namespace vader {
namespace {
template <typename T>
void Erase(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}
}  // namespace

TControl::~TControl() {
  if (peer_) peer_->ControlDestroyed();
  SetParent(nullptr);
}

void TControl::SetCaption(const std::string& caption) {
  caption_ = caption;
  Changed();
}

void TControl::SetHint(const std::string& hint) {
  hint_ = hint;
  Changed();
}

void TControl::SetParent(TWinControl* parent) {
  if (parent_ == parent) return;
  if (parent_) Erase(parent_->controls_, this);
  parent_ = parent;
  if (parent_) parent_->controls_.push_back(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

TWinControl::~TWinControl() {
  // Children owned elsewhere outlive their parent: they simply lose it.
  for (TControl* child : std::vector<TControl*>(controls_)) child->SetParent(nullptr);
}

void TItemsControl::SetItems(TStrings items) {
  items_ = std::move(items);
  Changed();
}

void TItemsControl::SetItem(int index, const std::string& text) {
  items_.at(static_cast<std::size_t>(index)) = text;
  Changed();
}

void TOvcNotebook::AddPage(const std::string& caption, const std::string& hint) {
  pages_.push_back({caption, hint});
  Changed();
}

void TOvcNotebook::SetPageTexts(int index, const std::string& caption, const std::string& hint) {
  pages_.at(static_cast<std::size_t>(index)) = {caption, hint};
  Changed();
}

TTabSheet::~TTabSheet() { SetPageControl(nullptr); }

void TTabSheet::SetPageControl(TPageControl* pageControl) {
  if (pageControl_ == pageControl) return;
  if (pageControl_) Erase(pageControl_->pages_, this);
  pageControl_ = pageControl;
  if (pageControl_) {
    pageControl_->pages_.push_back(this);
    SetParent(pageControl_);
  }
}

TPageControl::~TPageControl() {
  for (TTabSheet* page : std::vector<TTabSheet*>(pages_)) page->SetPageControl(nullptr);
}

void TListView::AddColumn(const std::string& caption, int width) {
  columns_.push_back({caption, width});
  Changed();
}

void TListView::SetColumnCaption(int index, const std::string& caption) {
  columns_.at(static_cast<std::size_t>(index)).caption = caption;
  Changed();
}

void TListView::AddRow(TStrings cells) {
  rows_.push_back(std::move(cells));
  Changed();
}

void TListView::SetCell(int row, int column, const std::string& text) {
  rows_.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column)) = text;
  Changed();
}

void TListView::ClearRows() {
  rows_.clear();
  selected_ = -1;
  Changed();
}

void TListView::SetSelected(int row) {
  selected_ = row;
  Changed();
}

void TCheckBox::SetChecked(bool checked) {
  checked_ = checked;
  Changed();
}

void TEdit::SetText(const std::string& text) {
  text_ = text;
  Changed();
}

void TComboBox::SetItems(TStrings items) {
  items_ = std::move(items);
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  Changed();
}

void TComboBox::SetItemIndex(int index) {
  itemIndex_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  Changed();
}

void TMemo::SetText(const std::string& text) {
  text_ = text;
  selStart_ = text_.size();
  selLength_ = 0;
  Changed();
}

void TMemo::SetSelection(std::size_t start, std::size_t length) {
  selStart_ = start;
  selLength_ = length;
  ClampSelection();
  Changed();
}

void TMemo::ClampSelection() {
  selStart_ = std::min(selStart_, text_.size());
  selLength_ = std::min(selLength_, text_.size() - selStart_);
}

void TMemo::SetReadOnly(bool value) {
  readOnly_ = value;
  Changed();
}

void TMemo::SetSyntax(TMemoSyntax syntax) {
  syntax_ = syntax;
  Changed();
}

void TMemo::SetLineNumbers(bool shown) {
  lineNumbers_ = shown;
  Changed();
}

void TImage::SetPicture(std::string bytes) {
  picture_ = std::move(bytes);
  Changed();
}

TMenuItem::~TMenuItem() {
  if (peer_) peer_->ControlDestroyed();
  for (TMenuItem* child : items_) child->parent_ = nullptr;
  if (parent_) Erase(parent_->items_, this);
}

void TMenuItem::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (peer_) peer_->TextsChanged();
}

void TMenuItem::SetHint(const std::string& hint) {
  hint_ = hint;
  if (peer_) peer_->TextsChanged();
}

void TMenuItem::SetChecked(bool checked) {
  checked_ = checked;
  if (peer_) peer_->TextsChanged();
}

void TMenuItem::Add(TMenuItem* item) {
  if (item->parent_) Erase(item->parent_->items_, item);
  item->parent_ = this;
  items_.push_back(item);
}

TMainMenu::TMainMenu(TComponent* owner) : TComponent(owner), root_(new TMenuItem(this)) {}

}  // namespace vader
