// The fault switches of <w98/faults.h>, as the file calls consult them.
#ifndef W98_SRC_FS_FAULTS_H
#define W98_SRC_FS_FAULTS_H

#include "w98/windef.h"

namespace w98::internal {

// Counts one copy against the copy switch. Returns the error this copy must fail with, or
// ERROR_SUCCESS. Costs one failed open() when no switch is set.
DWORD TakeCopyFault();

}  // namespace w98::internal

#endif  // W98_SRC_FS_FAULTS_H
