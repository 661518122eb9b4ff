#pragma once
// The modal message dialog. The user-interface layer installs the handler that shows it;
// tests install one that answers. Without a handler the dialog cannot be shown and the
// answer is "cancel", the outcome of a dialog closed without a choice.

#include <cstdint>
#include <functional>
#include <string>

namespace vader {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

using TMsgDlgButtons = std::uint32_t;
constexpr TMsgDlgButtons mbYes = 1 << 0;
constexpr TMsgDlgButtons mbNo = 1 << 1;
constexpr TMsgDlgButtons mbOK = 1 << 2;
constexpr TMsgDlgButtons mbCancel = 1 << 3;

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

struct MessageDialogRequest {
  std::string message;
  std::string title;  // "Warning", "Error", "Information", "Confirm" or empty
  TMsgDlgType type;
  TMsgDlgButtons buttons;
  int helpContext;
};

using MessageDialogHandler = std::function<TModalResult(const MessageDialogRequest&)>;

// Installs Handler and returns the one it replaces.
MessageDialogHandler SetMessageDialogHandler(MessageDialogHandler handler);

// Shows the dialog centred on the screen and returns the button chosen.
TModalResult MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                        int helpContext);

// The database login dialog: asks for the user name (shown filled in) and the password of
// DatabaseName. True when the user confirmed; without a handler the login is cancelled.
using LoginDialogHandler = std::function<bool(const std::string& databaseName,
                                              std::string& userName, std::string& password)>;
LoginDialogHandler SetLoginDialogHandler(LoginDialogHandler handler);
bool LoginDialog(const std::string& databaseName, std::string& userName, std::string& password);

}  // namespace vader
