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
  TWinControl* old = parent_;
  if (parent_) Erase(parent_->controls_, this);
  parent_ = parent;
  if (parent_) parent_->controls_.push_back(this);
  KeepAnchorDistances(left_, top_, width_, height_);
  if (align_ == alNone) return;
  if (old) old->Realign();
  if (parent_) parent_->Realign();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  KeepAnchorDistances(left, top, width, height);
  PlaceAt(left, top, width, height);
  // An aligned control keeps only the size it is given along its edge: the parent places it.
  if (align_ != alNone && parent_) parent_->Realign();
}

void TControl::KeepAnchorDistances(int left, int top, int width, int height) {
  designed_.left = left;
  designed_.top = top;
  designed_.width = width;
  designed_.height = height;
  designed_.parentWidth = parent_ ? parent_->Width() : 0;
  designed_.parentHeight = parent_ ? parent_->Height() : 0;
}

void TControl::PlaceAt(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (peer_) peer_->BoundsChanged();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (peer_) peer_->VisibilityChanged();
  // The room of a hidden aligned control goes to the others.
  if (align_ != alNone && parent_) parent_->Realign();
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  if (parent_) parent_->Realign();
}

void TControl::SetAnchors(TAnchors anchors) {
  anchors_ = anchors;
  KeepAnchorDistances(left_, top_, width_, height_);
}

TWinControl::~TWinControl() {
  // Children owned elsewhere outlive their parent: they simply lose it.
  for (TControl* child : std::vector<TControl*>(controls_)) child->SetParent(nullptr);
}

void TWinControl::SetPadding(const TPadding& padding) {
  padding_ = padding;
  Realign();
}

void TWinControl::ResizedOnScreen(int width, int height) {
  PlaceAt(Left(), Top(), width, height);
}

void TWinControl::PlaceAt(int left, int top, int width, int height) {
  const bool resized = std::max(width, 0) != Width() || std::max(height, 0) != Height();
  TControl::PlaceAt(left, top, width, height);
  if (resized) Realign();
}

namespace {
// Each edge in turn takes its controls, in the order they were put in the parent, from the
// room the earlier ones left; alClient controls share what remains.
struct Room {
  int left, top, right, bottom;
  int Width() const { return std::max(right - left, 0); }
  int Height() const { return std::max(bottom - top, 0); }
};
}  // namespace

void TWinControl::Realign() {
  Room room{padding_.left, padding_.top, Width() - padding_.right, Height() - padding_.bottom};
  for (TAlign edge : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* child : controls_) {
      if (child->align_ != edge || !child->visible_) continue;
      const int w = std::min(child->designed_.width, room.Width());
      const int h = std::min(child->designed_.height, room.Height());
      switch (edge) {
        case alTop:
          child->PlaceAt(room.left, room.top, room.Width(), h);
          room.top += h;
          break;
        case alBottom:
          child->PlaceAt(room.left, room.bottom - h, room.Width(), h);
          room.bottom -= h;
          break;
        case alLeft:
          child->PlaceAt(room.left, room.top, w, room.Height());
          room.left += w;
          break;
        case alRight:
          child->PlaceAt(room.right - w, room.top, w, room.Height());
          room.right -= w;
          break;
        default: child->PlaceAt(room.left, room.top, room.Width(), room.Height());
      }
    }
  }
  for (TControl* child : controls_)
    if (child->align_ == alNone) PlaceAnchored(*child);
}

// Moves or stretches the child by as much as this container grew since the child was placed;
// a child anchored to neither edge keeps its centre where it was in proportion to the size.
void TWinControl::PlaceAnchored(TControl& child) {
  const auto& d = child.designed_;
  const auto along = [](bool nearEdge, bool farEdge, int start, int size, int was, int is) {
    if (farEdge && nearEdge) return std::pair{start, size + is - was};
    if (farEdge) return std::pair{start + is - was, size};
    if (!nearEdge && was > 0) {
      const long long centre = (2LL * start + size) * is / was;
      return std::pair{static_cast<int>((centre - size) / 2), size};
    }
    return std::pair{start, size};
  };
  const TAnchors a = child.anchors_;
  const auto [left, width] = along(a.Contains(akLeft), a.Contains(akRight), d.left, d.width,
                                   d.parentWidth, Width());
  const auto [top, height] = along(a.Contains(akTop), a.Contains(akBottom), d.top, d.height,
                                   d.parentHeight, Height());
  child.PlaceAt(left, top, width, height);
}

TSplitter::TSplitter(TComponent* owner) : TControl(owner) {
  SetBounds(0, 0, 6, 6);
  SetAlign(alLeft);
}

TControl* TSplitter::Resized() const {
  if (!Parent()) return nullptr;
  for (int i = 0; i < Parent()->ControlCount(); ++i) {
    TControl* c = Parent()->Controls(i);
    if (c == this || c->Align() != Align() || !c->Visible()) continue;
    const bool touches = Align() == alTop      ? c->Top() + c->Height() == Top()
                         : Align() == alBottom ? c->Top() == Top() + Height()
                         : Align() == alLeft   ? c->Left() + c->Width() == Left()
                                               : c->Left() == Left() + Width();
    if (touches) return c;
  }
  return nullptr;
}

TControl* TSplitter::ClientControl() const {
  for (int i = 0; Parent() && i < Parent()->ControlCount(); ++i)
    if (Parent()->Controls(i)->Align() == alClient && Parent()->Controls(i)->Visible())
      return Parent()->Controls(i);
  return nullptr;
}

int TSplitter::Position() const {
  const TControl* resized = Resized();
  if (!resized) return -1;
  return Horizontal() ? resized->Height() : resized->Width();
}

int TSplitter::SetPosition(int pixels) {
  TControl* resized = Resized();
  if (!resized) return -1;
  const int now = Horizontal() ? resized->Height() : resized->Width();
  int most = now;
  if (const TControl* client = ClientControl())
    most += (Horizontal() ? client->Height() : client->Width()) - minSize_;
  else
    most = Horizontal() ? Parent()->Height() : Parent()->Width();
  pixels = std::max(std::min(pixels, most), std::min(minSize_, now));
  if (Horizontal())
    resized->SetBounds(resized->Left(), resized->Top(), resized->Width(), pixels);
  else
    resized->SetBounds(resized->Left(), resized->Top(), pixels, resized->Height());
  return pixels;
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
    pageControl_->PlacePage(*this);
  }
}

void TPageControl::PlacePage(TTabSheet& page) {
  // The page area below the tabs; the screen gives the exact one once the control is shown.
  constexpr int kTabRow = 30, kFrame = 4;
  static_cast<TControl&>(page).PlaceAt(kFrame, kTabRow, Width() - 2 * kFrame,
                                       Height() - kTabRow - kFrame);
}

void TPageControl::PlaceAt(int left, int top, int width, int height) {
  TWinControl::PlaceAt(left, top, width, height);
  for (TTabSheet* page : pages_) PlacePage(*page);
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

void TListView::SetColumnWidth(int index, int width) {
  columns_.at(static_cast<std::size_t>(index)).width = width;
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

void TListView::InsertRow(int row, TStrings cells) {
  const auto at = static_cast<std::size_t>(std::clamp(row, 0, static_cast<int>(rows_.size())));
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(cells));
  Changed();
}

void TListView::DeleteRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_.erase(rows_.begin() + row);
  if (selected_ >= static_cast<int>(rows_.size())) selected_ = static_cast<int>(rows_.size()) - 1;
  Changed();
}

void TListView::MoveRow(int from, int to) {
  const int count = static_cast<int>(rows_.size());
  if (from < 0 || from >= count || to < 0 || to >= count || from == to) return;
  TStrings moved = std::move(rows_[static_cast<std::size_t>(from)]);
  rows_.erase(rows_.begin() + from);
  rows_.insert(rows_.begin() + to, std::move(moved));
  if (selected_ == from) selected_ = to;
  Changed();
}

void TListView::SetSelected(int row) {
  selected_ = row;
  Changed();
}

void TStringGrid::SetColumnKind(int column, TColumnKind kind, TStrings choices) {
  if (column < 0) return;
  if (kinds_.size() <= static_cast<std::size_t>(column))
    kinds_.resize(static_cast<std::size_t>(column) + 1);
  kinds_[static_cast<std::size_t>(column)] = {kind, std::move(choices)};
  Changed();
}

TStringGrid::TColumnKind TStringGrid::ColumnKind(int column) const {
  if (column < 0 || static_cast<std::size_t>(column) >= kinds_.size()) return TColumnKind::Text;
  return kinds_[static_cast<std::size_t>(column)].kind;
}

const TStrings& TStringGrid::Choices(int column) const {
  static const TStrings none;
  if (column < 0 || static_cast<std::size_t>(column) >= kinds_.size()) return none;
  return kinds_[static_cast<std::size_t>(column)].choices;
}

int TStringGrid::MarkedColumn(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= marks_.size()) return -1;
  return marks_[static_cast<std::size_t>(row)];
}

void TStringGrid::SetMarkedColumn(int row, int column) {
  if (row < 0) return;
  const auto at = static_cast<std::size_t>(row);
  if (marks_.size() <= at) marks_.resize(at + 1, -1);
  marks_[at] = column;
  Changed();
}

void TStringGrid::EditedOnScreen(int row, int column, const std::string& text) {
  if (row < 0 || row >= static_cast<int>(Rows().size())) return;
  const auto& cells = Rows()[static_cast<std::size_t>(row)];
  if (column < 0 || column >= static_cast<int>(cells.size())) return;
  SetCell(row, column, text);
  if (OnCellEdited) OnCellEdited(this, row, column);
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
