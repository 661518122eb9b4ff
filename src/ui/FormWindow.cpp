#include "ui/FormWindow.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <type_traits>

#include "framework/DBCtrls.h"
#include "ui/DBGrid.h"
#include "ui/ErrorDisplay.h"
#include "ui/NumberedTextEdit.h"
#include "ui/QtText.h"
#include "ui/SqlHighlighter.h"
#include "ui/StringGridView.h"

namespace vader::ui {
namespace {

// Keeps one widget's texts (or a menu entry's: an action, or the submenu of an item with
// children) in step with its control or menu item. The sync function reads the item and writes
// the widget; it runs once at creation and after every text change.
template <typename Item>
class SyncPeer : public TControlPeer {
 public:
  SyncPeer(Item* item, QObject* widget, std::function<void()> sync)
      : item_(item), widget_(widget), sync_(std::move(sync)) {
    item_->SetPeer(this);
    TextsChanged();
  }
  ~SyncPeer() override {
    if (item_) item_->SetPeer(nullptr);
  }
  void TextsChanged() override {
    if (item_ && widget_) sync_();
  }
  // How the widget follows the control's bounds: by default a child widget takes them; a
  // window, or a page placed by its notebook, says otherwise.
  void SetPlacer(std::function<void()> place) { place_ = std::move(place); }
  void BoundsChanged() override {
    if (!item_ || !widget_) return;
    if (place_) return place_();
    if constexpr (std::is_base_of_v<TControl, Item>) {
      auto* widget = qobject_cast<QWidget*>(widget_.data());
      if (widget && !widget->isWindow())
        widget->setGeometry(item_->Left(), item_->Top(), item_->Width(), item_->Height());
    }
  }
  void VisibilityChanged() override {
    if constexpr (std::is_base_of_v<TControl, Item>) {
      // A window is shown and hidden by the event loop; a control follows its flag.
      auto* widget = qobject_cast<QWidget*>(widget_.data());
      if (item_ && widget && !widget->isWindow()) widget->setVisible(item_->Visible());
    }
  }
  void ControlDestroyed() override { item_ = nullptr; }

 private:
  Item* item_;
  QPointer<QObject> widget_;
  std::function<void()> sync_;
  std::function<void()> place_;
};
using WidgetPeer = SyncPeer<TControl>;
using MenuPeer = SyncPeer<TMenuItem>;

// Sets the cells of a list in place when its shape is unchanged, so the selected row and
// the scroll position stay; otherwise fills it afresh.
void ShowRows(QTreeWidget* tree, const std::vector<TStrings>& rows) {
  const bool sameShape = tree->topLevelItemCount() == static_cast<int>(rows.size());
  if (!sameShape) tree->clear();
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    QStringList cells;
    for (const auto& cell : rows[static_cast<std::size_t>(r)]) cells << ToQString(cell);
    if (!sameShape) {
      tree->addTopLevelItem(new QTreeWidgetItem(cells));
      continue;
    }
    QTreeWidgetItem* item = tree->topLevelItem(r);
    for (int c = 0; c < cells.size(); ++c)
      if (item->text(c) != cells[c]) item->setText(c, cells[c]);
  }
}

// A picker shows a null field as its lowest value, drawn blank; real values never reach it.
const QDateTime kNoValue(QDate(100, 1, 1), QTime(0, 0));
const QDate kTimeDay(2000, 1, 1);  // the day a time-only picker keeps its times on

QDateTime ToQDateTime(TDateTime value) {
  int y = 0, m = 0, d = 0;
  DecodeDayNumber(DateTimeToDayNumber(value), y, m, d);
  return QDateTime(QDate(y, m, d), QTime::fromMSecsSinceStartOfDay(DateTimeToTimeMSecs(value)));
}

TDateTime FromQDateTime(const QDateTime& value) {
  const QDate date = value.date();
  return DayNumberToDateTime(DayNumber(date.year(), date.month(), date.day())) +
         TimeMSecsToDateTime(value.time().msecsSinceStartOfDay());
}

template <typename Kind>
Kind* As(TControl* c) {
  return dynamic_cast<Kind*>(c);
}

void SetTip(QWidget* w, TControl* c) { w->setToolTip(ToQString(c->Hint())); }

// The memo counts its selection in bytes of its text, the editor in UTF-16 units.
std::size_t BytesBefore(const QString& text, int index) {
  return FromQString(text.left(index)).size();
}
int UnitsBefore(const std::string& text, std::size_t bytes) {
  return static_cast<int>(ToQString(text.substr(0, std::min(bytes, text.size()))).size());
}

void TakeMemoFromScreen(const QPlainTextEdit& editor, TMemo& memo) {
  const QString text = editor.toPlainText();
  const QTextCursor cursor = editor.textCursor();
  memo.TypedText(FromQString(text));
  const std::size_t start = BytesBefore(text, cursor.selectionStart());
  memo.SelectedOnScreen(start, BytesBefore(text, cursor.selectionEnd()) - start);
}

// The memo's text and selection on screen; the selection is read first, as putting the text
// there moves the editor's cursor and tells the memo.
void ShowMemoOnScreen(const TMemo& memo, QPlainTextEdit& editor) {
  const std::size_t start = memo.SelStart(), length = memo.SelLength();
  const std::string value = memo.Text();
  const QString shown = ToQString(value);
  if (editor.toPlainText() != shown) editor.setPlainText(shown);
  QTextCursor cursor = editor.textCursor();
  // The editor may hold fewer units than the text (it keeps one break for "\r\n").
  const int end = editor.document()->characterCount() - 1;
  const int from = std::min(UnitsBefore(value, start), end);
  const int to = std::min(UnitsBefore(value, start + length), end);
  if (cursor.selectionStart() == from && cursor.selectionEnd() == to) return;
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  editor.setTextCursor(cursor);
}

// The colouring the memo asks for: an SQL highlighter on the editor's document, or none.
void ShowSyntax(TMemoSyntax syntax, QPlainTextEdit& editor) {
  auto* highlighter = editor.document()->findChild<TSqlHighlighter*>();
  if (syntax == TMemoSyntax::Sql && !highlighter)
    (new TSqlHighlighter(editor.document()))->rehighlight();  // at once, not when idle
  if (syntax == TMemoSyntax::Plain) delete highlighter;
}

// Runs Event of Control when Widget sends Signal, queued so the handler may rebuild or close
// the very window.
template <typename Widget, typename Signal>
void Queued(Widget* widget, Signal signal, TControl* control, const TNotifyEvent& event) {
  QObject::connect(
      widget, signal, widget,
      [control, &event] {
        Guarded([control, &event] {
          if (event) event(control);
        });
      },
      Qt::QueuedConnection);
}

// A calendar opened on a null date shows the month of today rather than the no-value day; the
// page alone moves, so no date is picked until one is clicked.
class TodayPageOnOpen : public QObject {
 public:
  TodayPageOnOpen(QDateTimeEdit* edit, QCalendarWidget* calendar)
      : QObject(calendar), edit_(edit), calendar_(calendar) {
    calendar->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == calendar_ && event->type() == QEvent::Show && edit_ &&
        edit_->dateTime() == kNoValue) {
      const QDate today = QDate::currentDate();
      calendar_->setCurrentPage(today.year(), today.month());
    }
    return false;
  }

 private:
  QPointer<QDateTimeEdit> edit_;
  QCalendarWidget* calendar_;
};

// The picker of a date, time or date-time field; peer attaches the widget's peer.
using PeerMaker = std::function<QWidget*(QWidget*, std::function<void()>)>;
QWidget* RealisePicker(TDBDateTimePicker* picker, QWidget* container, const PeerMaker& peer) {
  using Kind = TDBDateTimePicker::TDateTimeKind;
  QDateTimeEdit* edit = nullptr;
  switch (picker->Kind()) {
    case Kind::dtkDate: edit = new QDateEdit(container); break;
    case Kind::dtkTime:  // a plain edit, so the day it keeps times on can be set
    case Kind::dtkDateTime: edit = new QDateTimeEdit(container); break;
  }
  const bool timeOnly = picker->Kind() == Kind::dtkTime;
  if (timeOnly) {
    // Midnight is a real time, so a null time is drawn blank at a day no time is kept on.
    edit->setDisplayFormat("HH:mm:ss");
  } else {
    edit->setDisplayFormat(picker->Kind() == Kind::dtkDate ? "yyyy-MM-dd" : "yyyy-MM-dd HH:mm:ss");
    edit->setCalendarPopup(true);
    new TodayPageOnOpen(edit, edit->calendarWidget());
  }
  edit->setDateTimeRange(kNoValue, QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)));
  edit->setSpecialValueText(" ");
  QObject::connect(edit, &QDateTimeEdit::dateTimeChanged, edit, [picker](QDateTime value) {
    if (value == kNoValue) return;  // still no value picked
    if (picker->Kind() == Kind::dtkTime) value.setDate(kTimeDay);
    bool taken = false;
    Guarded([&] { taken = picker->SetValue(FromQDateTime(value)); });
    if (!taken && picker->Peer()) picker->Peer()->TextsChanged();
  });
  return peer(edit, [edit, picker, timeOnly] {
    SetTip(edit, picker);
    edit->setReadOnly(!picker->DataLink().CanModify());
    QDateTime shown = kNoValue;
    if (picker->Value()) {
      shown = ToQDateTime(*picker->Value());
      if (timeOnly) shown.setDate(kTimeDay);
      if (shown < kNoValue) shown = kNoValue.addSecs(1);  // years before 100 are out of reach
    }
    if (edit->dateTime() != shown) {
      const QSignalBlocker quiet(edit);  // showing the field is no edit of it
      edit->setDateTime(shown);
    }
  });
}

// Tells a container control the size the screen gives its widget (a window's client area, a
// notebook's page), so that the controls in it are laid out for that size.
class FollowSize : public QObject {
 public:
  FollowSize(QWidget* widget, TWinControl* control) : QObject(widget), control_(control) {
    widget->installEventFilter(this);
  }
  void Forget() { control_ = nullptr; }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize && control_) {
      const QSize size = static_cast<QResizeEvent*>(event)->size();
      Guarded([&] { control_->ResizedOnScreen(size.width(), size.height()); });
    }
    return false;
  }

 private:
  TWinControl* control_;
};

// A panel's frame with its caption across the whole of it.
class PanelFrame : public QFrame {
 public:
  explicit PanelFrame(QWidget* parent) : QFrame(parent), caption_(new QLabel(this)) {
    caption_->setAlignment(Qt::AlignCenter);
    caption_->lower();
  }
  QLabel* Caption() const { return caption_; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    caption_->setGeometry(rect());
    QFrame::resizeEvent(event);
  }

 private:
  QLabel* caption_;
};

// The bar of a splitter: a drag moves it, and the control it resizes, by the distance the
// mouse went; where the splitter stops at a limit, the drag goes on from there.
class SplitterBar : public QWidget {
 public:
  SplitterBar(TSplitter* splitter, QWidget* parent) : QWidget(parent), splitter_(splitter) {
    setCursor(splitter->Horizontal() ? Qt::SplitVCursor : Qt::SplitHCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override { last_ = Along(event); }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const int now = Along(event);
    Guarded([&] {
      const int before = splitter_->Horizontal() ? splitter_->Top() : splitter_->Left();
      splitter_->DragBy(now - last_);
      last_ += (splitter_->Horizontal() ? splitter_->Top() : splitter_->Left()) - before;
    });
  }

 private:
  int Along(const QMouseEvent* event) const {
    const QPoint at = event->globalPosition().toPoint();
    return splitter_->Horizontal() ? at.y() : at.x();
  }
  TSplitter* splitter_;
  int last_ = 0;
};

QFrame::Shape ShapeOf(TBevelCut bevel) {
  return bevel == bvNone ? QFrame::NoFrame : QFrame::StyledPanel;
}

// Keeps a window on the screen it opens on: a size or place remembered from a larger screen
// is brought back within it.
QRect OnScreen(QRect wanted) {
  const QScreen* screen = QGuiApplication::screenAt(wanted.topLeft());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return wanted;
  const QRect room = screen->availableGeometry();
  wanted.setSize(wanted.size().boundedTo(room.size()));
  wanted.moveLeft(std::clamp(wanted.left(), room.left(), room.right() + 1 - wanted.width()));
  wanted.moveTop(std::clamp(wanted.top(), room.top(), room.bottom() + 1 - wanted.height()));
  return wanted;
}

}  // namespace

TFormWindow::TFormWindow(TForm* form) : form_(form) {
  setObjectName(QString::fromStdString(form->Name()));
  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto peer = std::make_unique<WidgetPeer>(form, this, [this, form] {
    setWindowTitle(ToQString(form->Caption()));
    SetTip(this, form);
  });
  peer->SetPlacer([this] { PlaceWindow(); });
  peers_.push_back(std::move(peer));
  BuildMenuBar();
  // The form's bounds are its client area, below the menu bar.
  const QRect wanted = OnScreen(QRect(form->Left(), form->Top(), form->Width(),
                                      form->Height() + menuBar()->sizeHint().height()));
  move(wanted.topLeft());
  resize(wanted.size());
  central->resize(wanted.width(), wanted.height() - menuBar()->sizeHint().height());
  form->ResizedOnScreen(central->width(), central->height());
  RealiseChildren(form, central);
  followSize_ = new FollowSize(central, form);
}

TFormWindow::~TFormWindow() {
  // The form may outlive the window; it no longer hears of the screen's sizes.
  static_cast<FollowSize*>(followSize_)->Forget();
}

void TFormWindow::PlaceWindow() {
  const QSize client = centralWidget()->size();
  const QSize wanted(form_->Width(), form_->Height());
  if (client != wanted) resize(size() + (wanted - client));
  if (pos() != QPoint(form_->Left(), form_->Top())) move(form_->Left(), form_->Top());
}

void TFormWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (!isWindow() || isMinimized()) return;
  form_->MovedOnScreen(pos().x(), pos().y());
}

void TFormWindow::closeEvent(QCloseEvent* event) {
  if (form_->OnCloseQuery && !form_->OnCloseQuery()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void TFormWindow::BuildMenuBar() {
  TMainMenu* menu = form_->Menu();
  if (!menu) return;
  std::function<void(TMenuItem*, QMenu*)> addItems = [&](TMenuItem* parent, QMenu* into) {
    for (int i = 0; i < parent->Count(); ++i) {
      TMenuItem* item = parent->Items(i);
      const QString caption = ToQString(item->Caption());
      if (caption == "-") {
        into ? into->addSeparator() : menuBar()->addSeparator();
        continue;
      }
      if (item->Count() > 0) {
        QMenu* sub = into ? into->addMenu(caption) : menuBar()->addMenu(caption);
        sub->setObjectName(QString::fromStdString(item->Name()));
        peers_.push_back(std::make_unique<MenuPeer>(item, sub, [sub, item] {
          sub->setTitle(ToQString(item->Caption()));
          sub->setToolTip(ToQString(item->Hint()));
        }));
        addItems(item, sub);
        continue;
      }
      QAction* action = into ? into->addAction(caption) : menuBar()->addAction(caption);
      action->setObjectName(QString::fromStdString(item->Name()));
      if (!item->ShortCut().empty())
        action->setShortcut(QKeySequence(QString::fromStdString(item->ShortCut())));
      peers_.push_back(std::make_unique<MenuPeer>(item, action, [action, item] {
        action->setText(ToQString(item->Caption()));
        action->setStatusTip(ToQString(item->Hint()));
        action->setCheckable(item->Checked() || action->isCheckable());
        action->setChecked(item->Checked());
      }));
      // Clicks are queued so a handler may rebuild or close this very window.
      QObject::connect(
          action, &QAction::triggered, this, [item] { Guarded([item] { item->Click(); }); },
          Qt::QueuedConnection);
    }
  };
  addItems(menu->Items(), nullptr);
}

void TFormWindow::RealiseChildren(TWinControl* parent, QWidget* container) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* child = parent->Controls(i);
    if (As<TTabSheet>(child)) continue;  // realised by its page control
    QWidget* widget = Realise(child, container);
    widget->setObjectName(QString::fromStdString(child->Name()));
    widget->setGeometry(child->Left(), child->Top(), child->Width(), child->Height());
    widget->setVisible(child->Visible());
  }
}

QWidget* TFormWindow::Realise(TControl* c, QWidget* container) {
  auto peer = [&](QWidget* w, std::function<void()> sync) {
    peers_.push_back(std::make_unique<WidgetPeer>(c, w, std::move(sync)));
    return w;
  };
  auto clicks = [c](auto* button) {
    QObject::connect(
        button, &QAbstractButton::clicked, button, [c] { Guarded([c] { c->Click(); }); },
        Qt::QueuedConnection);
  };
  // One widget whose text is the control's caption and whose tip is its hint.
  auto captioned = [&](auto* widget, auto setText) {
    return peer(widget, [widget, c, setText] {
      (widget->*setText)(ToQString(c->Caption()));
      SetTip(widget, c);
    });
  };
  auto button = [&](QAbstractButton* widget) {
    clicks(widget);
    return captioned(widget, &QAbstractButton::setText);
  };

  if (auto* grid = As<TwwDBGrid>(c)) {
    auto* view = new TDBGridView(container);
    return peer(view, [view, grid] { view->Sync(grid); });
  }
  if (auto* stringGrid = As<TStringGrid>(c)) {
    auto* view = new TStringGridView(stringGrid, container);
    return peer(view, [view] { view->Sync(); });
  }
  if (auto* list = As<TListView>(c)) {
    auto* tree = new QTreeWidget(container);
    tree->setRootIsDecorated(false);
    QObject::connect(tree, &QTreeWidget::currentItemChanged, tree, [tree, list] {
      list->SelectedOnScreen(tree->indexOfTopLevelItem(tree->currentItem()));
    });
    Queued(tree, &QTreeWidget::itemActivated, list, list->OnDblClick);
    // A column the person widens stays so when the rows change, and is kept with the window.
    QObject::connect(
        tree->header(), &QHeaderView::sectionResized, tree,
        [list](int column, int, int width) { list->ColumnResizedOnScreen(column, width); });
    return peer(tree, [tree, list] {
      QStringList headers;
      for (const TListView::Column& column : list->Columns()) headers << ToQString(column.caption);
      tree->setHeaderLabels(headers);
      // The widths read before any is set: setting one may resize the stretched last column.
      std::vector<int> widths;
      for (const TListView::Column& column : list->Columns()) widths.push_back(column.width);
      for (std::size_t i = 0; i < widths.size(); ++i)
        tree->setColumnWidth(static_cast<int>(i), widths[i]);
      ShowRows(tree, list->Rows());
      const int selected = list->Selected();
      if (selected != tree->indexOfTopLevelItem(tree->currentItem()))
        tree->setCurrentItem(selected >= 0 ? tree->topLevelItem(selected) : nullptr);
    });
  }
  if (auto* edit = As<TEdit>(c)) {
    auto* line = new QLineEdit(container);
    QObject::connect(line, &QLineEdit::textEdited, line, [edit](const QString& text) {
      Guarded([&] { edit->TypedText(FromQString(text)); });
    });
    Queued(line, &QLineEdit::returnPressed, edit, edit->OnEnter);
    return peer(line, [line, edit] {
      SetTip(line, edit);
      const QString text = ToQString(edit->Text());
      if (line->text() != text) line->setText(text);
    });
  }
  if (auto* combo = As<TComboBox>(c)) {
    auto* box = new QComboBox(container);
    QObject::connect(box, &QComboBox::activated, box, [combo](int index) {
      Guarded([&] { combo->Chosen(index); });
    });
    return peer(box, [box, combo] {
      SetTip(box, combo);
      const TStrings& items = combo->Items();
      bool same = box->count() == static_cast<int>(items.size());
      for (int i = 0; same && i < box->count(); ++i)
        same = box->itemText(i) == ToQString(items[static_cast<std::size_t>(i)]);
      if (!same) {
        box->clear();
        for (const auto& item : items) box->addItem(ToQString(item));
      }
      if (box->currentIndex() != combo->ItemIndex()) box->setCurrentIndex(combo->ItemIndex());
    });
  }
  if (auto* memo = As<TMemo>(c)) {
    auto* text = new TNumberedTextEdit(container);
    // Typing moves the cursor before or after the text changes: both are taken each time.
    const auto takeFromScreen = [text, memo] { TakeMemoFromScreen(*text, *memo); };
    QObject::connect(text, &QPlainTextEdit::textChanged, text, takeFromScreen);
    QObject::connect(text, &QPlainTextEdit::cursorPositionChanged, text, takeFromScreen);
    QObject::connect(text, &QPlainTextEdit::selectionChanged, text, takeFromScreen);
    return peer(text, [text, memo] {
      SetTip(text, memo);
      text->setReadOnly(memo->ReadOnly());
      text->SetNumbersShown(memo->LineNumbers());
      ShowSyntax(memo->Syntax(), *text);
      ShowMemoOnScreen(*memo, *text);
    });
  }
  if (auto* image = As<TImage>(c)) {
    auto* label = new QLabel(container);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::StyledPanel);
    return peer(label, [label, image] {
      SetTip(label, image);
      QPixmap picture;
      const std::string& bytes = image->Picture();
      if (!bytes.empty() &&
          picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                               static_cast<uint>(bytes.size()))) {
        label->setPixmap(picture.scaled(label->size(), Qt::KeepAspectRatio));
      } else {
        label->setPixmap(QPixmap());
        label->setText(ToQString(image->Caption()));
      }
    });
  }
  if (auto* pages = As<TPageControl>(c)) {
    auto* tabs = new QTabWidget(container);
    for (int i = 0; i < pages->PageCount(); ++i) {
      TTabSheet* sheet = pages->Pages(i);
      auto* page = new QWidget;
      page->setObjectName(QString::fromStdString(sheet->Name()));
      tabs->addTab(page, QString());
      auto sheetPeer = std::make_unique<WidgetPeer>(sheet, page, [tabs, page, sheet] {
        const int index = tabs->indexOf(page);
        tabs->setTabText(index, ToQString(sheet->Caption()));
        tabs->setTabToolTip(index, ToQString(sheet->Hint()));
      });
      sheetPeer->SetPlacer([] {});  // the notebook sizes its pages
      peers_.push_back(std::move(sheetPeer));
      RealiseChildren(sheet, page);
      new FollowSize(page, sheet);
    }
    tabs->setCurrentIndex(pages->ActivePageIndex());
    QObject::connect(tabs, &QTabWidget::currentChanged, tabs,
                     [pages](int index) { Guarded([&] { pages->ChosenOnScreen(index); }); });
    return peer(tabs, [tabs, c] { SetTip(tabs, c); });
  }
  if (auto* tabSet = As<TTabSet>(c)) {
    auto* bar = new QTabBar(container);
    return peer(bar, [bar, tabSet] {
      const TStrings& tabs = tabSet->Items();
      if (bar->count() != static_cast<int>(tabs.size())) {
        while (bar->count() > 0) bar->removeTab(0);
        for (const auto& tab : tabs) bar->addTab(ToQString(tab));
      }
      for (int i = 0; i < bar->count(); ++i)
        bar->setTabText(i, ToQString(tabs[static_cast<std::size_t>(i)]));
    });
  }
  if (auto* tabbed = As<TTabbedNotebook>(c)) {
    auto* tabs = new QTabWidget(container);
    for (std::size_t i = 0; i < tabbed->Items().size(); ++i) tabs->addTab(new QWidget, QString());
    return peer(tabs, [tabs, tabbed] {
      for (int i = 0; i < tabs->count(); ++i)
        tabs->setTabText(i, ToQString(tabbed->Items().at(static_cast<std::size_t>(i))));
    });
  }
  if (auto* notebook = As<TOvcNotebook>(c)) {
    auto* tabs = new QTabWidget(container);
    for (std::size_t i = 0; i < notebook->Pages().size(); ++i) tabs->addTab(new QWidget, QString());
    return peer(tabs, [tabs, notebook] {
      for (int i = 0; i < tabs->count(); ++i) {
        const auto& page = notebook->Pages().at(static_cast<std::size_t>(i));
        tabs->setTabText(i, ToQString(page.caption));
        tabs->setTabToolTip(i, ToQString(page.hint));
      }
    });
  }
  if (auto* radioGroup = As<TRadioGroup>(c)) {
    auto* box = new QGroupBox(container);
    auto* layout = new QVBoxLayout(box);
    return peer(box, [box, layout, radioGroup] {
      box->setTitle(ToQString(radioGroup->Caption()));
      SetTip(box, radioGroup);
      const TStrings& items = radioGroup->Items();
      if (layout->count() == static_cast<int>(items.size())) {
        // The same choices in new words: the one picked stays picked.
        for (int i = 0; i < layout->count(); ++i)
          if (auto* radio = qobject_cast<QRadioButton*>(layout->itemAt(i)->widget()))
            radio->setText(ToQString(items[static_cast<std::size_t>(i)]));
        return;
      }
      while (QLayoutItem* old = layout->takeAt(0)) {
        delete old->widget();
        delete old;
      }
      int index = 0;
      for (const auto& item : radioGroup->Items()) {
        auto* radio = new QRadioButton(ToQString(item), box);
        radio->setChecked(index++ == radioGroup->ItemIndex());
        layout->addWidget(radio);
      }
    });
  }
  if (As<TSpeedButton>(c) || As<TToolButton>(c)) return button(new QToolButton(container));
  if (auto* panel = As<TPanel>(c)) {
    auto* frame = new PanelFrame(container);
    RealiseChildren(panel, frame);
    return peer(frame, [frame, panel] {
      frame->setFrameShape(ShapeOf(panel->BevelOuter()));
      frame->setFrameShadow(panel->BevelOuter() == bvLowered ? QFrame::Sunken : QFrame::Raised);
      frame->Caption()->setText(ToQString(panel->Caption()));
      SetTip(frame, panel);
    });
  }
  if (auto* splitter = As<TSplitter>(c)) return peer(new SplitterBar(splitter, container), [] {});
  if (As<TLabel>(c) || As<TfcLabel>(c)) return captioned(new QLabel(container), &QLabel::setText);
  if (As<TButton>(c)) return button(new QPushButton(container));
  if (As<TGroupBox>(c)) {
    auto* box = new QGroupBox(container);
    RealiseChildren(static_cast<TWinControl*>(c), box);
    return captioned(box, &QGroupBox::setTitle);
  }
  if (auto* dbCheck = As<TDBCheckBox>(c)) {
    auto* check = new QCheckBox(container);
    check->setTristate(true);
    // A click asks the control; the box then shows whatever the field holds.
    QObject::connect(check, &QCheckBox::clicked, check, [dbCheck](bool checked) {
      Guarded([&] { dbCheck->SetChecked(checked); });
      if (dbCheck->Peer()) dbCheck->Peer()->TextsChanged();
    });
    return peer(check, [check, dbCheck] {
      check->setText(ToQString(dbCheck->Caption()));
      SetTip(check, dbCheck);
      using State = TDBCheckBox::TCheckState;
      const State state = dbCheck->State();
      check->setCheckState(state == State::cbChecked     ? Qt::Checked
                           : state == State::cbUnchecked ? Qt::Unchecked
                                                         : Qt::PartiallyChecked);
    });
  }
  if (auto* dbEdit = As<TDBEdit>(c)) {
    auto* line = new QLineEdit(container);
    QObject::connect(line, &QLineEdit::textEdited, line, [line, dbEdit](const QString& text) {
      bool taken = false;
      Guarded([&] { taken = dbEdit->SetText(FromQString(text)); });
      if (!taken) line->setText(ToQString(dbEdit->Text()));
    });
    return peer(line, [line, dbEdit] {
      SetTip(line, dbEdit);
      line->setReadOnly(!dbEdit->DataLink().CanModify());
      const QString text = ToQString(dbEdit->Text());
      if (line->text() != text) line->setText(text);
    });
  }
  if (auto* dbPicker = As<TDBDateTimePicker>(c)) return RealisePicker(dbPicker, container, peer);
  if (As<TRadioButton>(c)) return button(new QRadioButton(container));
  if (auto* check = As<TCheckBox>(c)) {
    auto* box = new QCheckBox(container);
    QObject::connect(box, &QCheckBox::toggled, box, [check](bool checked) {
      if (check->Checked() != checked) check->SetChecked(checked);
    });
    clicks(box);
    return peer(box, [box, check] {
      box->setText(ToQString(check->Caption()));
      SetTip(box, check);
      box->setChecked(check->Checked());
    });
  }
  // Any other control: a plain container, so its children still show.
  auto* plain = new QWidget(container);
  if (auto* win = As<TWinControl>(c)) RealiseChildren(win, plain);
  return peer(plain, [plain, c] { SetTip(plain, c); });
}

}  // namespace vader::ui
