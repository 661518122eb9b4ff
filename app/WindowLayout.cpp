#include "WindowLayout.h"

#include <charconv>
#include <optional>

#include "language/Zothrtns.h"
#include "platform/ProgramFiles.h"

namespace vader::app {
namespace {

constexpr int kLargest = 20000;  // pixels; larger stored numbers are no layout

std::string SettingsFile() { return platform::SettingsFilePath("Vader.INI"); }
std::string LayoutSection(const TForm& form) { return "Layout " + form.Name(); }
std::string ColumnsSection(const std::string& table) { return "Columns " + table; }

std::optional<int> ReadNumber(const std::string& section, const std::string& key, int least) {
  const std::string text = ReadIniString(SettingsFile(), section, key);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < least ||
      value > kLargest)
    return std::nullopt;
  return value;
}

// A name the settings file can hold as a key: no separator, no section mark, no blanks at
// either end (which a read drops).
bool StorableKey(const std::string& name) {
  return !name.empty() && name.find_first_of("=[];\r\n") == std::string::npos &&
         name.front() != ' ' && name.back() != ' ';
}

// Runs Write, dropping a failure to write the settings file.
template <typename Write>
void Quietly(Write write) {
  try {
    write();
  } catch (const std::exception&) {
    // A read-only settings file: the layout is not kept, nothing else depends on it.
  }
}

// Visits the controls of Kind the form owns under names the settings file can hold.
template <typename Kind, typename Visit>
void ForEachNamed(const TForm& form, Visit visit) {
  for (int i = 0; i < form.ComponentCount(); ++i)
    if (auto* control = dynamic_cast<Kind*>(form.Components(i)))
      if (StorableKey(control->Name())) visit(*control);
}

// The widths kept of a list: those of its columns but the last, which fills the rest.
std::size_t KeptColumns(const TListView& list) {
  return list.Columns().empty() ? 0 : list.Columns().size() - 1;
}

std::string ColumnKey(const TListView& list, std::size_t column) {
  return list.Name() + " column " + std::to_string(column + 1);
}

}  // namespace

void RestoreWindowLayout(TForm& form) {
  const std::string section = LayoutSection(form);
  const auto left = ReadNumber(section, "Left", -kLargest);
  const auto top = ReadNumber(section, "Top", -kLargest);
  const auto width = ReadNumber(section, "Width", 100);
  const auto height = ReadNumber(section, "Height", 60);
  if (left && top && width && height) form.SetBounds(*left, *top, *width, *height);
  ForEachNamed<TSplitter>(form, [&](TSplitter& splitter) {
    if (const auto position = ReadNumber(section, splitter.Name(), 0))
      splitter.SetPosition(*position);
  });
  ForEachNamed<TListView>(form, [&](TListView& list) {
    for (std::size_t column = 0; column < KeptColumns(list); ++column)
      if (const auto width = ReadNumber(section, ColumnKey(list, column), 8))
        list.SetColumnWidth(static_cast<int>(column), *width);
  });
}

void SaveWindowLayout(const TForm& form) {
  const std::string section = LayoutSection(form);
  Quietly([&] {
    WriteIniString(SettingsFile(), section, "Left", std::to_string(form.Left()));
    WriteIniString(SettingsFile(), section, "Top", std::to_string(form.Top()));
    WriteIniString(SettingsFile(), section, "Width", std::to_string(form.Width()));
    WriteIniString(SettingsFile(), section, "Height", std::to_string(form.Height()));
    ForEachNamed<TSplitter>(form, [&](const TSplitter& splitter) {
      if (splitter.Position() >= 0)
        WriteIniString(SettingsFile(), section, splitter.Name(),
                       std::to_string(splitter.Position()));
    });
    ForEachNamed<TListView>(form, [&](const TListView& list) {
      for (std::size_t column = 0; column < KeptColumns(list); ++column)
        WriteIniString(SettingsFile(), section, ColumnKey(list, column),
                       std::to_string(list.Columns()[column].width));
    });
  });
}

void RestoreColumnWidths(TwwDBGrid& grid, const std::string& table) {
  const TDataSet* data = grid.DataSource() ? grid.DataSource()->DataSet() : nullptr;
  for (int i = 0; data && i < data->FieldCount(); ++i) {
    const std::string& name = data->Fields(i)->FieldName();
    if (!StorableKey(name)) continue;
    if (const auto width = ReadNumber(ColumnsSection(table), name, 8))
      grid.SetColumnWidth(name, *width);
  }
}

void SaveColumnWidths(const TwwDBGrid& grid, const std::string& table) {
  Quietly([&] {
    for (const auto& [field, width] : grid.ColumnWidths())
      if (StorableKey(field))
        WriteIniString(SettingsFile(), ColumnsSection(table), field, std::to_string(width));
  });
}

}  // namespace vader::app
