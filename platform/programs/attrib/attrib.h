// ATTRIB as MS-DOS 7 runs it: shows or changes the read-only, archive, system and hidden
// attributes of the files that a path (wildcards allowed) names.
//
//   ATTRIB [+R|-R] [+A|-A] [+S|-S] [+H|-H] [[drive:][path]filename] [/S]
//
// The switches may stand before or after the path. Without a path it works on every file of
// the current folder; without switches it lists the files with their attribute letters. A
// file that has the system attribute is changed only when the command sets or clears S too
// ("Not resetting system file ..."), and a hidden file only when it sets or clears H ("Not
// resetting hidden file ..."): so S+H files need "-S -H" together, and R cannot change while
// S or H stays. Hidden and system files are found like any other.
#ifndef ATTRIB_ATTRIB_H
#define ATTRIB_ATTRIB_H

#include <functional>
#include <string>
#include <string_view>

namespace attrib {

// Runs ATTRIB with its command tail (the words after the program name, quotes allowed).
// Every output line goes to `line`. Returns 0 when every named file was found and changed
// as asked, 1 when a file was missing, left unchanged, or the command was malformed.
int Run(std::string_view tail, const std::function<void(const std::string&)>& line);

}  // namespace attrib

#endif  // ATTRIB_ATTRIB_H
