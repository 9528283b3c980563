// The Windows-phase batch ("tempwin", copied with 'W' at index 9 and staged as
// c:\windows\temp\rw.bat): restores the user files in the first Windows session after the boot
// phase.
#include "texts/texts.h"

namespace snapshot::texts {
namespace {

constexpr std::string_view kOpening[] = {
    "@echo off\n",
    "\nc:\\windows\\command\\ATTRIB \"{STORE}backup\\*.*\" +A -R -S -H\n",
};

constexpr std::string_view kClosing[] = {
    "\nc:\\windows\\command\\ATTRIB \"{STORE}backup\\*.*\" +A +R +S +H\n",
    "\nrem > \"{STORE}rw.suc\"\n",
};

constexpr std::string_view kDeleteAutoexec = "\nDEL \"c:\\autoexec.bat\"\n";

template <size_t N>
std::vector<std::string> FillAll(const std::string_view (&entries)[N], const Folders& folders) {
  const std::string store = BatchPath(folders.store);
  std::vector<std::string> writes;
  for (std::string_view entry : entries) writes.push_back(Fill(entry, {{"STORE", store}}));
  return writes;
}

}  // namespace

std::vector<std::string> WinOpening(const Folders& folders) {
  return FillAll(kOpening, folders);
}

std::vector<std::string> WinClosing(const Folders& folders) {
  return FillAll(kClosing, folders);
}

std::string WinDeleteAutoexec() {
  return std::string(kDeleteAutoexec);
}

}  // namespace snapshot::texts
