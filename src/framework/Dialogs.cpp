#include "framework/Dialogs.h"

namespace vader {
namespace {
MessageDialogHandler& Handler() {
  static MessageDialogHandler handler;
  return handler;
}

LoginDialogHandler& LoginHandler() {
  static LoginDialogHandler handler;
  return handler;
}

const char* TitleOf(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning: return "Warning";
    case TMsgDlgType::mtError: return "Error";
    case TMsgDlgType::mtInformation: return "Information";
    case TMsgDlgType::mtConfirmation: return "Confirm";
    case TMsgDlgType::mtCustom: return "";
  }
  return "";
}
}  // namespace

MessageDialogHandler SetMessageDialogHandler(MessageDialogHandler handler) {
  MessageDialogHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

TModalResult MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                        int helpContext) {
  const MessageDialogHandler& handler = Handler();
  if (!handler) return mrCancel;
  return handler({message, TitleOf(type), type, buttons, helpContext});
}

LoginDialogHandler SetLoginDialogHandler(LoginDialogHandler handler) {
  LoginDialogHandler previous = std::move(LoginHandler());
  LoginHandler() = std::move(handler);
  return previous;
}

bool LoginDialog(const std::string& databaseName, std::string& userName, std::string& password) {
  const LoginDialogHandler& handler = LoginHandler();
  return handler && handler(databaseName, userName, password);
}

}  // namespace vader
