#pragma once
// The visual kinds of the GUI framework as components that keep their texts: caption,
// hint, items, tabs, pages and columns. They hold no toolkit objects; when a window is
// shown the user-interface layer attaches a peer to each control, which realises it and
// is told whenever one of its texts changes.

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "framework/Classes.h"

namespace vader {

class TWinControl;

// The toolkit side of a control, created by the user-interface layer.
class TControlPeer {
 public:
  virtual ~TControlPeer() = default;
  virtual void TextsChanged() = 0;
  // The control was shown or hidden.
  virtual void VisibilityChanged() {}
  // The control's place or size changed (its parent's layout moved it, or the program did).
  virtual void BoundsChanged() {}
  // The control is going away; the peer must drop its reference to it.
  virtual void ControlDestroyed() = 0;
};

using TNotifyEvent = std::function<void(TComponent* sender)>;

// Where a control sits in its parent: at its own bounds (alNone), or along an edge of the room
// left by the controls aligned before it, taking that edge's whole length (alTop, alBottom,
// alLeft, alRight), or filling what is left (alClient).
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// The edges of its parent a control of alNone keeps its distance to as the parent is resized:
// anchored left and right it stretches, right only it moves along; neither: it stays centred.
enum TAnchorKind { akLeft, akTop, akRight, akBottom };

class TAnchors {
 public:
  constexpr TAnchors(std::initializer_list<TAnchorKind> kinds) {
    for (TAnchorKind kind : kinds) bits_ |= 1u << kind;
  }
  constexpr bool Contains(TAnchorKind kind) const { return bits_ & (1u << kind); }
  constexpr bool operator==(const TAnchors&) const = default;

 private:
  unsigned bits_ = 0;
};

// Room kept free inside a container's edges for the controls aligned in it.
struct TPadding {
  int left = 0, top = 0, right = 0, bottom = 0;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner) : TComponent(owner) {}
  ~TControl() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);

  TWinControl* Parent() const { return parent_; }
  void SetParent(TWinControl* parent);

  // Places the control; its anchors then keep the distances these bounds have to the edges
  // of its parent as it is now.
  void SetBounds(int left, int top, int width, int height);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors anchors);

  TNotifyEvent OnClick;
  void Click() {
    if (OnClick) OnClick(this);
  }

  TControlPeer* Peer() const { return peer_; }
  // The peer is owned by the user-interface layer; it detaches itself (nullptr) when it goes.
  void SetPeer(TControlPeer* peer) { peer_ = peer; }

 protected:
  void Changed() {
    if (peer_) peer_->TextsChanged();
  }
  // Takes new bounds without changing what the anchors keep; tells the peer and lays out
  // the children of a container whose size changed.
  virtual void PlaceAt(int left, int top, int width, int height);
  // Notes where the screen put the control, without telling the peer back.
  void PlacedOnScreen(int left, int top) {
    left_ = left;
    top_ = top;
  }

 private:
  friend class TWinControl;
  friend class TPageControl;
  // Notes the bounds and the parent's size now, which the anchors measure from.
  void KeepAnchorDistances(int left, int top, int width, int height);

  std::string caption_;
  std::string hint_;
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 80, height_ = 24;
  bool visible_ = true;
  TControlPeer* peer_ = nullptr;
  TAlign align_ = alNone;
  TAnchors anchors_{akLeft, akTop};
  struct {
    int left = 0, top = 0, width = 80, height = 24;
    int parentWidth = 0, parentHeight = 0;
  } designed_;  // the bounds the program gave, in the parent's size of that moment
};

// A control that contains other controls (its children, in creation order). Its children are
// laid out again whenever its size changes: the aligned ones in creation order, the
// others by their anchors.
class TWinControl : public TControl {
 public:
  using TControl::TControl;
  ~TWinControl() override;
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }

  const TPadding& Padding() const { return padding_; }
  void SetPadding(const TPadding& padding);
  // The size the screen gives the container (a window resized by the person, a page of a
  // notebook): its children follow, its anchor distances stay.
  void ResizedOnScreen(int width, int height);
  // Places every child again (after a child's alignment, size or visibility changed).
  void Realign();

 protected:
  void PlaceAt(int left, int top, int width, int height) override;

 private:
  friend class TControl;
  void PlaceAnchored(TControl& child);
  std::vector<TControl*> controls_;
  TPadding padding_;
};

// A list of texts that a control shows; a caller replacing an entry tells the control.
using TStrings = std::vector<std::string>;

class TLabel : public TControl { using TControl::TControl; };
class TfcLabel : public TControl { using TControl::TControl; };  // label with text effects
class TSpeedButton : public TControl { using TControl::TControl; };
class TToolButton : public TControl { using TControl::TControl; };
class TButton : public TWinControl { using TWinControl::TWinControl; };
class TBitBtn : public TButton { using TButton::TButton; };
// Edge of a panel: raised (the default), lowered, or none (a plain area that groups controls).
enum TBevelCut { bvNone, bvLowered, bvRaised };
class TPanel : public TWinControl {
 public:
  using TWinControl::TWinControl;
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut bevel) {
    bevelOuter_ = bevel;
    Changed();
  }

 private:
  TBevelCut bevelOuter_ = bvRaised;
};

// A bar between two aligned controls that the person drags to share the room between them:
// it resizes the control aligned to the same edge just before it (above an alTop splitter,
// left of an alLeft one, below an alBottom one, right of an alRight one); neither that control
// nor the parent's alClient control gets smaller than MinSize.
class TSplitter : public TControl {
 public:
  explicit TSplitter(TComponent* owner);
  int MinSize() const { return minSize_; }
  void SetMinSize(int pixels) { minSize_ = pixels; }
  // The size (height or width, as the splitter lies) of the control it resizes; -1 when it
  // has none.
  int Position() const;
  // Gives the control it resizes that size, kept within the limits; returns the size given.
  int SetPosition(int pixels);
  // Moves the splitter by Pixels (down or right when positive), as a drag does.
  void DragBy(int pixels) { SetPosition(Position() + (Grows() ? pixels : -pixels)); }
  bool Horizontal() const { return Align() == alTop || Align() == alBottom; }

 private:
  // Whether dragging down or right makes the resized control larger.
  bool Grows() const { return Align() == alTop || Align() == alLeft; }
  TControl* Resized() const;
  TControl* ClientControl() const;
  int minSize_ = 30;
};
class TGroupBox : public TWinControl { using TWinControl::TWinControl; };
class TRadioButton : public TWinControl { using TWinControl::TWinControl; };
class TCheckBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  bool Checked() const { return checked_; }
  // Tells the peer; a click on screen sets the state before OnClick runs.
  void SetChecked(bool checked);

 private:
  bool checked_ = false;
};

// A line of text typed by the person. The text is data: windows are not translated into it.
class TEdit : public TWinControl {
 public:
  using TWinControl::TWinControl;
  const std::string& Text() const { return text_; }
  // Tells the peer; typing on screen stores the text without telling it back.
  void SetText(const std::string& text);
  void TypedText(const std::string& text) {
    text_ = text;
    if (OnChange) OnChange(this);
  }
  // Pressing Enter in the field.
  TNotifyEvent OnEnter;
  TNotifyEvent OnChange;

 private:
  std::string text_;
};

// A drop-down choice of texts that are data (index names, field names), shown untranslated.
class TComboBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  const TStrings& Items() const { return items_; }
  void SetItems(TStrings items);
  int ItemIndex() const { return itemIndex_; }
  // Tells the peer, not OnChange; a choice on screen runs OnChange.
  void SetItemIndex(int index);
  void Chosen(int index) {
    itemIndex_ = index;
    if (OnChange) OnChange(this);
  }
  TNotifyEvent OnChange;

 private:
  TStrings items_;
  int itemIndex_ = -1;
};

// How a memo colours its text on screen: plainly, or as SQL statements (keywords, quoted
// literals, numbers and comments told apart).
enum class TMemoSyntax { Plain, Sql };

// A text area of several lines; like TEdit its text is data. The selection is counted in
// bytes of the text; with nothing selected its start is where the cursor stands.
class TMemo : public TWinControl {
 public:
  using TWinControl::TWinControl;
  const std::string& Text() const { return text_; }
  // Puts the cursor at the end of the new text.
  void SetText(const std::string& text);
  void TypedText(const std::string& text) {
    text_ = text;
    ClampSelection();
  }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  TMemoSyntax Syntax() const { return syntax_; }
  void SetSyntax(TMemoSyntax syntax);
  // Each line's number shown in a margin beside the text.
  bool LineNumbers() const { return lineNumbers_; }
  void SetLineNumbers(bool shown);

  std::size_t SelStart() const { return selStart_; }
  std::size_t SelLength() const { return selLength_; }
  std::string SelText() const { return text_.substr(selStart_, selLength_); }
  // Selects `length` bytes from `start` (both kept inside the text) and tells the peer.
  void SetSelection(std::size_t start, std::size_t length);
  // A selection made on screen, stored without telling the peer back.
  void SelectedOnScreen(std::size_t start, std::size_t length) {
    selStart_ = start;
    selLength_ = length;
    ClampSelection();
  }

 private:
  void ClampSelection();

  std::string text_;
  bool readOnly_ = false;
  TMemoSyntax syntax_ = TMemoSyntax::Plain;
  bool lineNumbers_ = false;
  std::size_t selStart_ = 0, selLength_ = 0;
};

// A picture shown from the bytes of an image file (any format the toolkit reads); empty
// bytes, or bytes that are no picture, show the caption instead.
class TImage : public TControl {
 public:
  using TControl::TControl;
  const std::string& Picture() const { return picture_; }
  void SetPicture(std::string bytes);

 private:
  std::string picture_;
};

// Mixin for controls that show a list of texts (radio items, tabs, page names).
class TItemsControl : public TWinControl {
 public:
  using TWinControl::TWinControl;
  const TStrings& Items() const { return items_; }
  void SetItems(TStrings items);
  void SetItem(int index, const std::string& text);
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index) { itemIndex_ = index; }

 private:
  TStrings items_;
  int itemIndex_ = -1;
};

class TRadioGroup : public TItemsControl { using TItemsControl::TItemsControl; };
class TTabSet : public TItemsControl { using TItemsControl::TItemsControl; };           // tab texts
class TTabbedNotebook : public TItemsControl { using TItemsControl::TItemsControl; };   // page names

// Notebook of the UI suite: each page has a caption and a hint.
class TOvcNotebook : public TWinControl {
 public:
  using TWinControl::TWinControl;
  struct Page {
    std::string caption;
    std::string hint;
  };
  const std::vector<Page>& Pages() const { return pages_; }
  void AddPage(const std::string& caption, const std::string& hint);
  void SetPageTexts(int index, const std::string& caption, const std::string& hint);

 private:
  std::vector<Page> pages_;
};

class TPageControl;

// A page of a page control; its caption is the tab title.
class TTabSheet : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* pageControl);

 private:
  TPageControl* pageControl_ = nullptr;
};

class TPageControl : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
  int ActivePageIndex() const { return activePage_; }
  void SetActivePageIndex(int index) { activePage_ = index; }
  // A page chosen on screen: noted, then OnChange runs.
  void ChosenOnScreen(int index) {
    activePage_ = index;
    if (OnChange) OnChange(this);
  }
  TNotifyEvent OnChange;

 protected:
  void PlaceAt(int left, int top, int width, int height) override;

 private:
  friend class TTabSheet;
  void PlacePage(TTabSheet& page);
  std::vector<TTabSheet*> pages_;
  int activePage_ = 0;
};

class TListView : public TWinControl {
 public:
  using TWinControl::TWinControl;
  struct Column {
    std::string caption;
    int width = 100;
  };
  const std::vector<Column>& Columns() const { return columns_; }
  void AddColumn(const std::string& caption, int width = 100);
  void SetColumnCaption(int index, const std::string& caption);
  void SetColumnWidth(int index, int width);
  // A column resized by the person on screen: kept without telling the peer back.
  void ColumnResizedOnScreen(int index, int width) {
    if (index >= 0 && index < static_cast<int>(columns_.size()))
      columns_[static_cast<std::size_t>(index)].width = width;
  }
  // Rows of cell texts; shown as they are (item texts are data, not translated).
  const std::vector<TStrings>& Rows() const { return rows_; }
  void AddRow(TStrings cells);
  void SetCell(int row, int column, const std::string& text);
  void ClearRows();
  void InsertRow(int row, TStrings cells);
  void DeleteRow(int row);
  // Moves the row at From to To, the rows between closing up; the selection follows it.
  void MoveRow(int from, int to);
  // The selected row, -1: none. Selecting on screen sets it without telling the peer back.
  int Selected() const { return selected_; }
  void SetSelected(int row);
  void SelectedOnScreen(int row) { selected_ = row; }
  // A double click or Enter on a row (the row is selected first).
  TNotifyEvent OnDblClick;

 private:
  std::vector<Column> columns_;
  std::vector<TStrings> rows_;
  int selected_ = -1;
};

// A list whose cells the person edits in place: a column is typed into, chosen from a list of
// texts, ticked ("1" ticked, "" not) or only shown. A row may have one cell marked as the one a
// problem concerns (the problem itself is a text in a shown column).
class TStringGrid : public TListView {
 public:
  using TListView::TListView;
  enum class TColumnKind { Text, Choice, Check, Shown };
  void SetColumnKind(int column, TColumnKind kind, TStrings choices = {});
  TColumnKind ColumnKind(int column) const;
  // The texts a Choice column offers.
  const TStrings& Choices(int column) const;
  // The marked column of a row, -1: none.
  int MarkedColumn(int row) const;
  void SetMarkedColumn(int row, int column);
  // A cell typed, chosen or ticked on screen: stored, then OnCellEdited runs.
  void EditedOnScreen(int row, int column, const std::string& text);
  std::function<void(TComponent* sender, int row, int column)> OnCellEdited;

 private:
  struct KindOfColumn {
    TColumnKind kind = TColumnKind::Text;
    TStrings choices;
  };
  std::vector<KindOfColumn> kinds_;
  std::vector<int> marks_;  // by row
};

// Menu items are owned by the window; their tree is kept through the parent item.
class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner) : TComponent(owner) {}
  ~TMenuItem() override;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  // The keys that choose the entry from anywhere in its window, as "Ctrl+Return".
  const std::string& ShortCut() const { return shortCut_; }
  void SetShortCut(const std::string& keys) { shortCut_ = keys; }

  // The menu entry on screen, told of every change as a control's peer is.
  TControlPeer* Peer() const { return peer_; }
  void SetPeer(TControlPeer* peer) { peer_ = peer; }

  void Add(TMenuItem* item);
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  TMenuItem* ParentItem() const { return parent_; }

  TNotifyEvent OnClick;
  void Click() {
    if (OnClick) OnClick(this);
  }

 private:
  std::string caption_;
  std::string hint_;
  bool checked_ = false;
  std::string shortCut_;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
  TControlPeer* peer_ = nullptr;
};

class TMainMenu : public TComponent {
 public:
  explicit TMainMenu(TComponent* owner);
  // The invisible root whose children are the menu bar's entries.
  TMenuItem* Items() const { return root_; }

 private:
  TMenuItem* root_;
};

}  // namespace vader
