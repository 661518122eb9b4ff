#include "AppForm.h"

#include <QTimer>
#include <algorithm>
#include <string_view>

#include "AppTexts.h"
#include "MainForm.h"
#include "WindowLayout.h"
#include "framework/DBFields.h"
#include "language/zInter.h"
#include "platform/WindowMessages.h"
#include "ui/ErrorDisplay.h"
#include "ui/QtEventLoop.h"

namespace vader::app {

TAppForm::TAppForm(TComponent* owner) : TForm(owner) {
  receiver_ = platform::AddBroadcastReceiver([this](const platform::PostedMessage& message) {
    if (message.message == LanguageChangeMessage()) Retranslate();
  });
  OnCloseQuery = [this] {
    if (!CanClose()) return false;
    TAppWindows::Instance().Close(this);
    return true;
  };
}

void TAppForm::CloseWindow() {
  if (CanClose()) TAppWindows::Instance().Close(this);
}

TAppForm::~TAppForm() { platform::RemoveBroadcastReceiver(receiver_); }

void TAppForm::FormCreate() {
  RestoreLayout();
  if (TDesignedTextCollector* collector = TDesignedTextCollector::Active())
    collector->AddComponent(this);
  designed_.Capture(this);
  TranslateComponent(this);
  ShowLanguage();
  ShowState();
}

void TAppForm::RestoreLayout() {
  RestoreWindowLayout(*this);
  constexpr int kStep = 32;
  const auto covers = [this](const std::unique_ptr<TAppForm>& open) {
    return open.get() != this && open->Left() == Left() && open->Top() == Top();
  };
  const auto& open = TAppWindows::Instance().Forms();
  while (std::any_of(open.begin(), open.end(), covers))
    SetBounds(Left() + kStep, Top() + kStep, Width(), Height());
}

void TAppForm::SaveLayout() { SaveWindowLayout(*this); }

void TAppForm::Retranslate() {
  designed_.TranslateAgain(this);
  ShowLanguage();
  ShowState();
}

void TAppForm::ShowLanguage() {
  for (const auto& entry : BundledLanguages())
    if (auto* item = dynamic_cast<TMenuItem*>(FindComponent("Language" + entry.name)))
      ShowLanguageItem(*item, entry);
}

void TAppForm::AddLanguageMenu() {
  TMenuItem* language = AddMenuItem(nullptr, "LanguageMenu", "&Language");
  for (const auto& entry : BundledLanguages())
    AddMenuItem(
        language, ("Language" + entry.name).c_str(), entry.name,
        [entry] { SetLanguageFile(DictionaryPath(entry)); }, "Show the windows in this language");
}

TPanel* TAppForm::AddPane(TWinControl* parent, const char* name, TAlign align, int size) {
  auto* pane = Place<TPanel>(parent, name, 0, 0, size, size);
  pane->SetBevelOuter(bvNone);
  pane->SetAlign(align);
  return pane;
}

TSplitter* TAppForm::AddSplitter(TWinControl* parent, const char* name, TAlign align) {
  auto* splitter = new TSplitter(this);
  splitter->SetName(name);
  splitter->SetParent(parent);
  splitter->SetAlign(align);
  return splitter;
}

TButton* TAppForm::AddButton(TWinControl* parent, const char* name, const std::string& caption,
                             int left, int top, int width, std::function<void()> onClick,
                             const std::string& hint) {
  auto* button = Place<TButton>(parent, name, left, top, width, 28);
  button->SetCaption(caption);
  button->SetHint(hint);
  button->OnClick = [onClick = std::move(onClick)](TComponent*) { onClick(); };
  return button;
}

void TAppForm::AddButtonRow(TWinControl* parent, int left, int top, int width,
                            const std::vector<TButtonStep>& steps) {
  for (const TButtonStep& step : steps) {
    AddButton(parent, step.name, step.caption, left, top, width - 4,
              [action = step.action] { ui::Guarded(action); });
    left += width;
  }
}

TMainMenu* TAppForm::MainMenu() {
  if (!Menu()) {
    auto* menu = new TMainMenu(this);
    menu->SetName("Menu");
    SetMenu(menu);
  }
  return Menu();
}

TMenuItem* TAppForm::AddMenuItem(TMenuItem* parent, const char* name, const std::string& caption,
                                 std::function<void()> onClick, const std::string& hint) {
  auto* item = new TMenuItem(this);
  item->SetName(name);
  item->SetCaption(caption);
  item->SetHint(hint);
  if (onClick) item->OnClick = [onClick = std::move(onClick)](TComponent*) { onClick(); };
  (parent ? parent : MainMenu()->Items())->Add(item);
  return item;
}

TAppWindows& TAppWindows::Instance() {
  static TAppWindows windows;
  return windows;
}

void TAppWindows::Adopt(std::unique_ptr<TAppForm> form) {
  TAppForm* shown = form.get();
  shown->AfterConstruction();  // a window that fails here goes at once: nothing half open
  forms_.push_back(std::move(form));
  if (TEventLoop* loop = Application().EventLoop()) loop->Show(shown);
}

void TAppWindows::Close(TForm* form) {
  for (const auto& open : forms_)
    if (open.get() == form) open->SaveLayout();
  // The window may be closing from its own event: it goes once that has finished.
  QTimer::singleShot(0, [this, form] {
    for (auto it = forms_.begin(); it != forms_.end(); ++it) {
      if (it->get() != form) continue;
      std::unique_ptr<TAppForm> gone = std::move(*it);
      forms_.erase(it);
      if (auto* loop = dynamic_cast<ui::TQtEventLoop*>(Application().EventLoop()))
        loop->Hide(gone.get());
      return;
    }
  });
}

void TAppWindows::CloseNow(TForm* form) {
  for (auto it = forms_.begin(); it != forms_.end(); ++it) {
    if (it->get() != form) continue;
    std::unique_ptr<TAppForm> gone = std::move(*it);
    forms_.erase(it);
    gone->SaveLayout();
    if (auto* loop = dynamic_cast<ui::TQtEventLoop*>(Application().EventLoop()))
      loop->Hide(gone.get());
    return;
  }
}

bool TAppWindows::CanCloseAll() {
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it)
    if (!(*it)->CanClose()) return false;
  return true;
}

void TAppWindows::CloseAll() {
  auto* loop = dynamic_cast<ui::TQtEventLoop*>(Application().EventLoop());
  // Detail windows and data windows go before the database windows they depend on.
  while (!forms_.empty()) {
    forms_.back()->SaveLayout();
    std::unique_ptr<TAppForm> gone = std::move(forms_.back());
    forms_.pop_back();
    if (loop) loop->Hide(gone.get());
  }
}

namespace {
TDesignedTextCollector* activeCollector = nullptr;
}

TDesignedTextCollector::TDesignedTextCollector() { activeCollector = this; }
TDesignedTextCollector::~TDesignedTextCollector() { activeCollector = nullptr; }
TDesignedTextCollector* TDesignedTextCollector::Active() { return activeCollector; }

void TDesignedTextCollector::Add(const std::string& text) {
  if (text.empty() || text == "-") return;
  if (std::find(texts_.begin(), texts_.end(), text) == texts_.end()) texts_.push_back(text);
}

void TDesignedTextCollector::AddComponent(TComponent* root) {
  if (auto* control = dynamic_cast<TControl*>(root)) {
    // Edits, lists and pictures hold data in their texts; only their hints are designed
    // (those of choice lists are set translated by the code, which names them itself).
    const bool data = dynamic_cast<TEdit*>(root) || dynamic_cast<TComboBox*>(root) ||
                      dynamic_cast<TMemo*>(root) || dynamic_cast<TImage*>(root);
    if (!data) Add(control->Caption());
    if (!dynamic_cast<TComboBox*>(root)) Add(control->Hint());
  }
  if (auto* list = dynamic_cast<TListView*>(root))
    for (const auto& column : list->Columns()) Add(column.caption);
  if (auto* item = dynamic_cast<TMenuItem*>(root)) {
    Add(item->Caption());
    Add(item->Hint());
  }
  if (auto* field = dynamic_cast<TField*>(root)) Add(field->DisplayLabel());
  for (int i = 0; i < root->ComponentCount(); ++i) AddComponent(root->Components(i));
}

std::string Tr(const std::string& designed) {
  if (activeCollector) activeCollector->Add(designed);
  return TranslateText(designed);
}

std::string RecordPositionText(TDataSet& data, const TwwDBGrid* grid, int count,
                               const std::function<int()>& estimate) {
  if (!data.Active()) return {};
  if (data.State() == TDataSetState::dsInsert)
    return Format(texts::kNewRecordRecords, {std::to_string(count)});
  if (data.IsEmpty()) return Tr(texts::kNoRecords);
  int position = data.RecNo();
  if (position < 1 && grid)
    position = grid->Row() >= 0          ? grid->Row() + 1
               : grid->RowFromEnd() >= 0 ? count - grid->RowFromEnd()
                                         : 0;
  if (position < 1 && estimate)
    if (const int about = estimate(); about > 0)
      return Format(texts::kRecordAboutOf,
                    {std::to_string(std::min(about, count)), std::to_string(count)});
  return Format(texts::kRecordOf, {position > 0 ? std::to_string(position) : std::string("?"),
                                   std::to_string(count)});
}

namespace {
// Whether Text has the form of Format ("%s" standing for any text); the slots' texts go to
// Values in order.
bool MatchFormat(std::string_view format, std::string_view text, std::vector<std::string>& values) {
  const std::size_t slot = format.find("%s");
  if (slot == std::string_view::npos) return format == text;
  if (text.substr(0, slot) != format.substr(0, slot)) return false;
  format.remove_prefix(slot + 2);
  text.remove_prefix(slot);
  const std::string_view literal = format.substr(0, format.find("%s"));
  for (std::size_t end = 0; end <= text.size(); ++end) {
    if (text.substr(end).substr(0, literal.size()) != literal) continue;
    values.emplace_back(text.substr(0, end));
    if (MatchFormat(format, text.substr(end), values)) return true;
    values.pop_back();
  }
  return false;
}
}  // namespace

std::string TranslateFormatted(const std::string& message,
                               const std::vector<const char*>& designed) {
  for (const char* format : designed) {
    if (TDesignedTextCollector* collector = TDesignedTextCollector::Active())
      collector->Add(format);
    std::vector<std::string> values;
    if (!MatchFormat(format, message, values)) continue;
    for (std::string& value : values) value = TranslateFormatted(value, designed);
    return Format(format, values);
  }
  return message;
}

std::string Format(const std::string& designed, const std::vector<std::string>& values) {
  const std::string text = Tr(designed);
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd')) {
      if (next < values.size()) out += values[next++];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace vader::app
