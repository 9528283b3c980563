#include "live_controls.h"

#include <map>
#include <mutex>

#include "fitmorph/pel_resizer.h"

namespace fitmorph::internal {
namespace {

struct LiveControls {
  std::mutex mutex;
  std::map<const QWidget*, pelResizer*> by_widget;
};

LiveControls& Live() {
  static auto* live = new LiveControls;  // never destroyed: controls may outlive static teardown
  return *live;
}

}  // namespace

void AddLiveControl(pelResizer* control) {
  LiveControls& live = Live();
  std::lock_guard lock(live.mutex);
  live.by_widget[control] = control;
}

void RemoveLiveControl(pelResizer* control) {
  LiveControls& live = Live();
  std::lock_guard lock(live.mutex);
  live.by_widget.erase(control);
}

pelResizer* FindLiveControl(const QWidget* widget) {
  LiveControls& live = Live();
  std::lock_guard lock(live.mutex);
  const auto found = live.by_widget.find(widget);
  return found != live.by_widget.end() ? found->second : nullptr;
}

}  // namespace fitmorph::internal
