#include "language/Zothrtns.h"

#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/FrameworkErrors.h"
#include "language/Zstrrtns.h"
#include "platform/IniFile.h"
#include "platform/ProcessInfo.h"

namespace vader {

std::uint16_t OpenDataMessage = 0;
std::uint16_t CloseDataMessage = 0;
std::uint16_t RefreshDataMessage = 0;

namespace {

constexpr std::size_t kIniBufferSize = 2048;

class CursorRestorer {
 public:
  CursorRestorer() : saved_(Screen().Cursor()) { Screen().SetCursor(crDefault); }
  ~CursorRestorer() { Screen().SetCursor(saved_); }

 private:
  TCursor saved_;
};

}  // namespace

bool ConfirmPrompt(const std::string& message) {
  CursorRestorer cursor;
  return MessageDlg(message, TMsgDlgType::mtWarning, mbYes | mbNo, 0) == mrYes;
}

std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key) {
  return platform::GetPrivateProfileString(TrimControls(section), TrimControls(key), "",
                                           kIniBufferSize, fileName);
}

void WriteIniString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (!platform::WritePrivateProfileString(TrimControls(section), TrimControls(key), value,
                                           fileName))
    throw EIniFileException(FormatMessage("Unable to write to %s", fileName));
}

void ZothrtnsStartup() {
  const std::string path = platform::ExecutablePath();
  OpenDataMessage = static_cast<std::uint16_t>(RegisterAppMessage(path + "OpenData"));
  CloseDataMessage = static_cast<std::uint16_t>(RegisterAppMessage(path + "CloseData"));
  RefreshDataMessage = static_cast<std::uint16_t>(RegisterAppMessage(path + "RefreshData"));
}

}  // namespace vader
