// The pelResizer instances that exist, so that a handle a host passes in can be checked before
// it is used: a control deleted with its form is refused, not touched.
#ifndef FITMORPH_SRC_LIVE_CONTROLS_H_
#define FITMORPH_SRC_LIVE_CONTROLS_H_

class QWidget;

namespace fitmorph {
class pelResizer;
}

namespace fitmorph::internal {

void AddLiveControl(pelResizer* control);
void RemoveLiveControl(pelResizer* control);
// The control whose widget is widget, or null when no such control exists.
pelResizer* FindLiveControl(const QWidget* widget);

}  // namespace fitmorph::internal

#endif  // FITMORPH_SRC_LIVE_CONTROLS_H_
