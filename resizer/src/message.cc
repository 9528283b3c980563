#include "fitmorph/message.h"

#include <QApplication>
#include <QMessageBox>

namespace fitmorph {
namespace {

int ShowMessageBox(const QString& text, const QString& title, int style) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (style & 0x70) {
    case kMessageCritical:
      icon = QMessageBox::Critical;
      break;
    case kMessageExclamation:
      icon = QMessageBox::Warning;
      break;
    case kMessageInformation:
      icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  QMessageBox box(icon, title, text, QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
  return kMessageOk;
}

MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}

}  // namespace

MessageHandler SetMessageHandler(MessageHandler handler) {
  MessageHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

int ShowMessage(const QString& text, int style) {
  const QString title = QString::fromLatin1(kMessageTitle);
  // A copy, so that a handler may replace itself while it runs.
  if (const MessageHandler handler = Handler()) return handler(text, title, style);
  return ShowMessageBox(text, title, style);
}

}  // namespace fitmorph
