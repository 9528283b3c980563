// 8.3 aliases of long file names, made as the Windows 95/98 file system makes them: upper
// case; spaces, leading dots and extra dots removed; characters that a short name cannot hold
// ('+' ',' ';' '=' '[' ']') replaced by '_'; the name cut to 8 and the extension to 3
// characters. A name that lost something on the way gets a numeric tail ("~1", "~2" ... the
// stem shortened as the number grows) that is unique in its folder.
#ifndef W98_SRC_FS_SHORT_NAMES_H
#define W98_SRC_FS_SHORT_NAMES_H

#include <string>
#include <string_view>
#include <vector>

namespace w98::internal {

// True when `name` is a short name exactly as DOS stores it: a stem of 1 to 8 and an optional
// extension of 1 to 3 characters valid in short names, with no lower-case letter.
bool IsShortName(std::string_view name);

// The short name of a long name that fits 8.3 without losing anything but case ("readme.txt"
// -> "README.TXT"); "" when it would need a numeric tail. Such a name's alias never depends on
// the other names of its folder.
std::string LosslessShortName(std::string_view name);

// The short names of the entries of one folder, in the order of `names` (every name valid as
// a long name, no two equal without regard to case). An entry whose name is already its own
// short name gets "". Names that need a numeric tail get the lowest free number, in the order
// given, after every name that needs none has taken its own short name.
std::vector<std::string> AssignShortNames(const std::vector<std::string>& names);

}  // namespace w98::internal

#endif  // W98_SRC_FS_SHORT_NAMES_H
