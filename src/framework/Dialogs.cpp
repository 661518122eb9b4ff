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

DialogTextTranslator& Translator() {
  static DialogTextTranslator translator;
  return translator;
}

std::string Translated(const std::string& text) {
  const DialogTextTranslator& translate = Translator();
  return translate && !text.empty() ? translate(text) : text;
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

void SetDialogTextTranslator(DialogTextTranslator translator) {
  Translator() = std::move(translator);
}

TModalResult MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                        int helpContext) {
  const MessageDialogHandler& handler = Handler();
  if (!handler) return mrCancel;
  MessageDialogRequest request{message, Translated(TitleOf(type)), type, buttons, helpContext, {},
                               {}};
  const std::pair<TMsgDlgButtons, const char*> designed[] = {
      {mbYes, "Yes"}, {mbNo, "No"}, {mbOK, "OK"}, {mbCancel, "Cancel"}};
  for (const auto& [button, caption] : designed)
    if (buttons & button) request.buttonCaptions.emplace_back(button, Translated(caption));
  return handler(request);
}

void ErrorDlg(const std::string& message, const std::string& details) {
  const MessageDialogHandler& handler = Handler();
  if (!handler) return;
  MessageDialogRequest request{message,
                               Translated(TitleOf(TMsgDlgType::mtError)),
                               TMsgDlgType::mtError,
                               mbOK,
                               0,
                               {{mbOK, Translated("OK")}},
                               details};
  handler(request);
}

TModalResult MessageDlg(const std::string& message, TMsgDlgType type,
                        const std::vector<std::pair<TMsgDlgButtons, std::string>>& captions) {
  const MessageDialogHandler& handler = Handler();
  if (!handler) return mrCancel;
  MessageDialogRequest request{message, Translated(TitleOf(type)), type, 0, 0, captions, {}};
  for (const auto& caption : captions) request.buttons |= caption.first;
  return handler(request);
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
