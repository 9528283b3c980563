// Helpers of the resizer's tests: a host form whose controls are placed in pixels, and a
// recorder that answers and keeps the messages the library shows.
#ifndef FITMORPH_TESTS_TEST_FORM_H_
#define FITMORPH_TESTS_TEST_FORM_H_

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "fitmorph/message.h"
#include "fitmorph/pel_resizer.h"

namespace fitmorph::testing {

// At the offscreen platform's 96 dpi a pixel is 15 twips.
inline constexpr int kTwipsPerPixel = 15;

struct RecordedMessage {
  QString text;
  QString title;
  int style;
};

class MessageRecorder {
 public:
  MessageRecorder()
      : previous_(SetMessageHandler([this](const QString& text, const QString& title, int style) {
          messages.push_back({text, title, style});
          return kMessageOk;
        })) {}
  ~MessageRecorder() { SetMessageHandler(previous_); }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<RecordedMessage> messages;

 private:
  MessageHandler previous_;
};

// A top-level form with a pelResizer created last (so it is the last control) unless a test
// creates controls after it.
class TestForm {
 public:
  explicit TestForm(int width = 400, int height = 300) : form_(std::make_unique<QWidget>()) {
    form_->resize(width, height);
  }

  QWidget& form() { return *form_; }

  // A control named name on container (the form when null) at geometry, with a tag when one
  // is given and a font of point_size points when that is positive.
  template <typename Control>
  Control* Add(const char* name, QRect geometry, const char* tag = nullptr, double point_size = 0,
               QWidget* container = nullptr) {
    auto* control = new Control(container != nullptr ? container : form_.get());
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    if (tag != nullptr) control->setProperty("Tag", QString::fromLatin1(tag));
    if (point_size > 0) {
      QFont font = control->font();
      font.setPointSizeF(point_size);
      control->setFont(font);
    }
    return control;
  }

  pelResizer& resizer() {
    if (resizer_ == nullptr) resizer_ = new pelResizer(form_.get());
    return *resizer_;
  }

  // Resizes the form to width x height pixels and lays the controls out again.
  void ResizeTo(int width, int height) {
    form_->resize(width, height);
    resizer().ResizeControls();
  }

 private:
  std::unique_ptr<QWidget> form_;
  pelResizer* resizer_ = nullptr;
};

}  // namespace fitmorph::testing

#endif  // FITMORPH_TESTS_TEST_FORM_H_
