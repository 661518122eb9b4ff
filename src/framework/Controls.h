#pragma once
// The visual kinds of the GUI framework as components that keep their texts: caption,
// hint, items, tabs, pages and columns. They hold no toolkit objects; when a window is
// shown the user-interface layer attaches a peer to each control, which realises it and
// is told whenever one of its texts changes.

#include <functional>
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
  // The control is going away; the peer must drop its reference to it.
  virtual void ControlDestroyed() = 0;
};

using TNotifyEvent = std::function<void(TComponent* sender)>;

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

  void SetBounds(int left, int top, int width, int height);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (peer_) peer_->VisibilityChanged();
  }

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

 private:
  std::string caption_;
  std::string hint_;
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 80, height_ = 24;
  bool visible_ = true;
  TControlPeer* peer_ = nullptr;
};

// A control that contains other controls (its children, in creation order).
class TWinControl : public TControl {
 public:
  using TControl::TControl;
  ~TWinControl() override;
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }

 private:
  friend class TControl;
  std::vector<TControl*> controls_;
};

// A list of texts that a control shows; a caller replacing an entry tells the control.
using TStrings = std::vector<std::string>;

class TLabel : public TControl { using TControl::TControl; };
class TfcLabel : public TControl { using TControl::TControl; };  // label with text effects
class TSpeedButton : public TControl { using TControl::TControl; };
class TToolButton : public TControl { using TControl::TControl; };
class TButton : public TWinControl { using TWinControl::TWinControl; };
class TBitBtn : public TButton { using TButton::TButton; };
class TPanel : public TWinControl { using TWinControl::TWinControl; };
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

 private:
  friend class TTabSheet;
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
  // Rows of cell texts; shown as they are (item texts are data, not translated).
  const std::vector<TStrings>& Rows() const { return rows_; }
  void AddRow(TStrings cells);
  void SetCell(int row, int column, const std::string& text);
  void ClearRows();
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
