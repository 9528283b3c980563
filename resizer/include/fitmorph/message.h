// The one function through which the library shows a message box, replaceable so that a host
// can show messages its own way and tests can answer and record them.
#ifndef FITMORPH_MESSAGE_H_
#define FITMORPH_MESSAGE_H_

#include <QString>
#include <functional>

#include "fitmorph/export.h"

namespace fitmorph {

// Style bits as MsgBox takes them (FM_MESSAGE_* in fitmorph.h).
inline constexpr int kMessageNoIcon = 0;
inline constexpr int kMessageCritical = 16;
inline constexpr int kMessageExclamation = 48;
inline constexpr int kMessageInformation = 64;
inline constexpr int kMessageOk = 1;  // the button of every message of the library

// Title of the library's messages: the type library's name.
inline constexpr const char* kMessageTitle = "Resizer";

// Shows text with title and style and returns the button chosen.
using MessageHandler = std::function<int(const QString& text, const QString& title, int style)>;

// Installs handler for every later message and returns the one it replaces; an empty handler
// restores the default, a modal QMessageBox. GUI thread only.
FITMORPH_EXPORT MessageHandler SetMessageHandler(MessageHandler handler);

// Shows a message through the installed handler; returns the button chosen.
FITMORPH_EXPORT int ShowMessage(const QString& text, int style);

}  // namespace fitmorph

#endif  // FITMORPH_MESSAGE_H_
