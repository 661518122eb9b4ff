#pragma once
// The modal message dialog. The user-interface layer installs the handler that shows it;
// tests install one that answers. Without a handler the dialog cannot be shown and the
// answer is "cancel", the outcome of a dialog closed without a choice.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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
  // "Warning", "Error", "Information", "Confirm" or empty, through the dialog translator.
  std::string title;
  TMsgDlgType type;
  TMsgDlgButtons buttons;
  int helpContext;
  // Each button asked for, in the order Yes, No, OK, Cancel, with its caption ("Yes", "No",
  // "OK", "Cancel" as designed) through the dialog translator.
  std::vector<std::pair<TMsgDlgButtons, std::string>> buttonCaptions;
  // What the message leaves out for the person, shown on request ("Details"): internal codes.
  std::string details;
};

using MessageDialogHandler = std::function<TModalResult(const MessageDialogRequest&)>;

// Installs Handler and returns the one it replaces.
MessageDialogHandler SetMessageDialogHandler(MessageDialogHandler handler);

// The translation that dialog titles and button captions pass through, like every other text
// shown (the language service installs its TranslateText); none shows them as designed.
using DialogTextTranslator = std::function<std::string(const std::string&)>;
void SetDialogTextTranslator(DialogTextTranslator translator);

// Shows the dialog centred on the screen and returns the button chosen.
TModalResult MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                        int helpContext);

// An error dialog with an OK button; Details (internal codes) shown only on request.
void ErrorDlg(const std::string& message, const std::string& details);

// Shows the dialog with the buttons Captions names, each with its caption as given (already in
// the person's language): for choices that are not yes or no ("Post", "Discard", "Cancel").
TModalResult MessageDlg(const std::string& message, TMsgDlgType type,
                        const std::vector<std::pair<TMsgDlgButtons, std::string>>& captions);

// The database login dialog: asks for the user name (shown filled in) and the password of
// DatabaseName. True when the user confirmed; without a handler the login is cancelled.
using LoginDialogHandler = std::function<bool(const std::string& databaseName,
                                              std::string& userName, std::string& password)>;
LoginDialogHandler SetLoginDialogHandler(LoginDialogHandler handler);
bool LoginDialog(const std::string& databaseName, std::string& userName, std::string& password);

}  // namespace vader
