// The control collection of a host form (what counts as a control is described in
// fitmorph/pel_resizer.h).
#ifndef FITMORPH_SRC_FORM_CONTROLS_H_
#define FITMORPH_SRC_FORM_CONTROLS_H_

#include <vector>

class QObject;
class QWidget;

namespace fitmorph::internal {

// Every control of form in collection order. The objects are owned by the form; the list is
// valid until a control is created or deleted.
std::vector<QObject*> FormControls(const QWidget& form);

}  // namespace fitmorph::internal

#endif  // FITMORPH_SRC_FORM_CONTROLS_H_
