// The design-time property page "Fitmorph" of pelResizer: a dialog that shows the properties of
// the control selected in a form designer and writes them back when applied.
//
// Its widgets carry the names a test or an automation finds them by: check boxes
// "chkMDIChildForm", "chkMoveOnly", "chkResizeFonts"; text boxes "txtFormWidth",
// "txtFormHeight", "txtMaxFontSize"; the list of screen resolutions "cboResolution".
#ifndef FITMORPH_PROPERTY_PAGE_H_
#define FITMORPH_PROPERTY_PAGE_H_

#include <QDialog>
#include <QPointer>

#include "fitmorph/export.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;

namespace fitmorph {

class pelResizer;

class FITMORPH_EXPORT PropertyPage : public QDialog {
  Q_OBJECT

 public:
  explicit PropertyPage(QWidget* parent = nullptr);

  // Selects control (may be null) and loads its MDIChildForm, FormWidth, FormHeight,
  // MaxFontSize, MoveOnly and ResizeFonts into the page, which is then unchanged.
  void SelectControl(pelResizer* control);
  pelResizer* SelectedControl() const { return control_; }

  // Writes the six values to the selected control through its setters, MaxFontSize as the
  // numeric value of its text (FormWidth and FormHeight follow their setters' rule and record
  // the form's size), then reloads the page. Nothing happens without a selected control.
  void ApplyChanges();

  // True when the page was edited since it was loaded or applied; the Apply button is enabled
  // exactly then.
  bool Changed() const { return changed_; }

 private:
  void Load();
  void SetChanged(bool changed);
  void ChooseResolution(const QString& choice);

  QPointer<pelResizer> control_;
  bool changed_ = false;
  bool loading_ = false;
  QCheckBox* mdi_child_form_;
  QCheckBox* move_only_;
  QCheckBox* resize_fonts_;
  QLineEdit* form_width_;
  QLineEdit* form_height_;
  QLineEdit* max_font_size_;
  QComboBox* resolution_;
  QDialogButtonBox* buttons_;
};

}  // namespace fitmorph

#endif  // FITMORPH_PROPERTY_PAGE_H_
