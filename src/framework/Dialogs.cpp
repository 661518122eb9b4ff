#include "framework/Dialogs.h"

namespace vader {
namespace {
MessageDialogHandler& Handler() {
  static MessageDialogHandler handler;
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

}  // namespace vader
