// Suspension points. Until the thread module tracks threads, a call never pauses.
#include "core/api.h"

namespace w98::internal {

void EnterCall() {}
void EnterReleaseCall() {}

}  // namespace w98::internal
