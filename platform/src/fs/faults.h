// The fault switches of <w98/faults.h>, as the file calls consult them.
#ifndef W98_SRC_FS_FAULTS_H
#define W98_SRC_FS_FAULTS_H

#include <string_view>

#include "w98/windef.h"

namespace w98::internal {

// Counts one copy, of the file whose DOS path (in on-disk spelling) is `source`, against the
// copy switch. Returns the error this copy must fail with, or ERROR_SUCCESS. Costs one failed
// open() when no switch is set.
DWORD TakeCopyFault(std::string_view source);

}  // namespace w98::internal

#endif  // W98_SRC_FS_FAULTS_H
