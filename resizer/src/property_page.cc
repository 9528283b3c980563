#include "fitmorph/property_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "control_access.h"
#include "fitmorph/pel_resizer.h"

namespace fitmorph {
namespace {

// The numeric value at the start of a text, 0 when it does not start with a number: leading
// blanks, a sign, digits with one decimal point, an exponent; whatever follows is ignored.
double NumericValue(const QString& text) {
  const std::string chars = text.toStdString();
  size_t i = 0;
  while (i < chars.size() && (chars[i] == ' ' || chars[i] == '\t')) ++i;
  const size_t start = i;
  if (i < chars.size() && (chars[i] == '+' || chars[i] == '-')) ++i;
  size_t digits = 0;
  auto skip_digits = [&] {
    while (i < chars.size() && std::isdigit(static_cast<unsigned char>(chars[i]))) ++i, ++digits;
  };
  skip_digits();
  if (i < chars.size() && chars[i] == '.') ++i, skip_digits();
  if (digits == 0) return 0;
  if (i < chars.size() && (chars[i] == 'e' || chars[i] == 'E')) {
    size_t exponent = i + 1;
    if (exponent < chars.size() && (chars[exponent] == '+' || chars[exponent] == '-')) ++exponent;
    if (exponent < chars.size() && std::isdigit(static_cast<unsigned char>(chars[exponent]))) {
      i = exponent;
      while (i < chars.size() && std::isdigit(static_cast<unsigned char>(chars[i]))) ++i;
    }
  }
  return std::strtod(chars.substr(start, i - start).c_str(), nullptr);
}

std::int32_t ToInt32(double value) {
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  if (std::isnan(value)) return 0;
  return static_cast<std::int32_t>(std::lround(std::fmax(-kMax, std::fmin(kMax, value))));
}

struct Resolution {
  const char* key;  // the choice's first four characters
  int width;
  int height;
};

constexpr Resolution kResolutions[] = {
    {"640 ", 640, 480},   {"800 ", 800, 600},   {"1024", 1024, 768},
    {"1280", 1280, 1024}, {"1600", 1600, 1200},
};

}  // namespace

PropertyPage::PropertyPage(QWidget* parent)
    : QDialog(parent),
      mdi_child_form_(new QCheckBox(QStringLiteral("MDIChildForm"))),
      move_only_(new QCheckBox(QStringLiteral("MoveOnly"))),
      resize_fonts_(new QCheckBox(QStringLiteral("ResizeFonts"))),
      form_width_(new QLineEdit),
      form_height_(new QLineEdit),
      max_font_size_(new QLineEdit),
      resolution_(new QComboBox),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                    QDialogButtonBox::Apply)) {
  setWindowTitle(QStringLiteral("Fitmorph"));
  mdi_child_form_->setObjectName(QStringLiteral("chkMDIChildForm"));
  move_only_->setObjectName(QStringLiteral("chkMoveOnly"));
  move_only_->setToolTip(
      QStringLiteral("If checked, controls will be moved proportionatly but not resized."));
  resize_fonts_->setObjectName(QStringLiteral("chkResizeFonts"));
  resize_fonts_->setToolTip(
      QStringLiteral("If checked, fonts are resized when controls are resized."));
  form_width_->setObjectName(QStringLiteral("txtFormWidth"));
  form_height_->setObjectName(QStringLiteral("txtFormHeight"));
  max_font_size_->setObjectName(QStringLiteral("txtMaxFontSize"));
  resolution_->setObjectName(QStringLiteral("cboResolution"));
  for (const char* choice :
       {"640 X 480", "800 X 600", "1024 X 768", "1280 X 1024", "1600 X 1200"}) {
    resolution_->addItem(QString::fromLatin1(choice));
  }
  resolution_->setCurrentIndex(-1);

  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("Form width (twips):"), form_width_);
  fields->addRow(QStringLiteral("Form height (twips):"), form_height_);
  fields->addRow(QStringLiteral("Screen resolution:"), resolution_);
  fields->addRow(QStringLiteral("Maximum font size:"), max_font_size_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(mdi_child_form_);
  layout->addWidget(move_only_);
  layout->addWidget(resize_fonts_);
  layout->addLayout(fields);
  layout->addWidget(buttons_);

  for (QCheckBox* box : {mdi_child_form_, move_only_, resize_fonts_}) {
    connect(box, &QCheckBox::toggled, this, [this] { SetChanged(true); });
  }
  for (QLineEdit* text : {form_width_, form_height_, max_font_size_}) {
    connect(text, &QLineEdit::textChanged, this, [this] { SetChanged(true); });
  }
  connect(resolution_, &QComboBox::currentTextChanged, this,
          [this](const QString& choice) { ChooseResolution(choice); });
  connect(buttons_->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
          [this] { ApplyChanges(); });
  connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
    ApplyChanges();
    accept();
  });
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  Load();
}

void PropertyPage::SelectControl(pelResizer* control) {
  control_ = control;
  Load();
}

void PropertyPage::ApplyChanges() {
  pelResizer* control = control_.data();
  if (control == nullptr) return;
  control->SetMDIChildForm(mdi_child_form_->isChecked());
  control->SetFormWidth(ToInt32(NumericValue(form_width_->text())));
  control->SetFormHeight(ToInt32(NumericValue(form_height_->text())));
  control->SetMaxFontSize(static_cast<float>(NumericValue(max_font_size_->text())));
  control->SetMoveOnly(move_only_->isChecked());
  control->SetResizeFonts(resize_fonts_->isChecked());
  Load();
}

void PropertyPage::Load() {
  loading_ = true;
  const pelResizer* control = control_.data();
  ResizerProperties props;
  if (control != nullptr) props = control->Properties();
  mdi_child_form_->setChecked(props.mdi_child_form);
  move_only_->setChecked(props.move_only);
  resize_fonts_->setChecked(props.resize_fonts);
  form_width_->setText(QString::number(props.form_width));
  form_height_->setText(QString::number(props.form_height));
  max_font_size_->setText(QString::number(static_cast<double>(props.max_font_size)));
  resolution_->setCurrentIndex(-1);
  for (QWidget* field :
       std::initializer_list<QWidget*>{mdi_child_form_, move_only_, resize_fonts_, form_width_,
                                       form_height_, max_font_size_, resolution_}) {
    field->setEnabled(control != nullptr);
  }
  loading_ = false;
  SetChanged(false);
}

void PropertyPage::SetChanged(bool changed) {
  if (loading_) return;
  changed_ = changed;
  buttons_->button(QDialogButtonBox::Apply)->setEnabled(changed);
}

void PropertyPage::ChooseResolution(const QString& choice) {
  if (loading_) return;
  const QString key = choice.left(4);
  for (const Resolution& resolution : kResolutions) {
    if (key != QLatin1String(resolution.key)) continue;
    const pelResizer* control = control_.data();
    const QWidget* form = control != nullptr ? control->Form() : nullptr;
    const internal::TwipScale scale = internal::TwipScaleOf(form != nullptr ? *form : *this);
    form_width_->setText(QString::number(std::lround(resolution.width * scale.x)));
    form_height_->setText(QString::number(std::lround(resolution.height * scale.y)));
    SetChanged(true);
    return;
  }
}

}  // namespace fitmorph
