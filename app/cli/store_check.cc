#include "store_check.h"

#include <algorithm>
#include <map>
#include <set>

#include <w98/windows.h>

#include "catalogue_access.h"

namespace quillow {
namespace {

namespace c = catalogue;

const std::string kMaster = "snapshot.ini";
const std::string kReferences = "cref.tab";

// What the check reads once and every invariant uses.
struct Catalogue {
  std::vector<std::string> snapshots;                          // the snapshot list, in order
  std::map<std::string, std::vector<std::string>> files;       // snapshot -> its file keys
  std::vector<std::string> index;                              // the Index list
  std::map<std::string, std::vector<std::string>> references;  // indexed key -> its names
};

std::vector<std::string> FileKeys(const std::string& snapshot) {
  std::vector<std::string> keys = c::ReadList(snapshot, "KernelFileList", "FileCount", "File", 0);
  const std::vector<std::string> user =
      c::ReadList(snapshot, "UserFileList", "FileCount", "File", 0);
  keys.insert(keys.end(), user.begin(), user.end());
  return keys;
}

Catalogue Read() {
  Catalogue catalogue;
  catalogue.snapshots = c::ReadList(kMaster, "Misc", "NumofSSImage", "ControlFile", 1);
  for (const std::string& name : catalogue.snapshots)
    if (!name.empty() && !catalogue.files.count(name)) catalogue.files[name] = FileKeys(name);
  catalogue.index = c::ReadList(kReferences, "Index", "IndexCount", "Key", 1);
  for (const std::string& key : catalogue.index)
    if (!key.empty())
      catalogue.references[key] = c::ReadList(kReferences, key, "RefCount", "RefControlFile", 1);
  return catalogue;
}

InvariantResult Start(const char* name, const char* statement) {
  InvariantResult result;
  result.name = name;
  result.statement = statement;
  return result;
}

InvariantResult CheckMarks(const Catalogue& catalogue) {
  InvariantResult r = Start("marks",
                            "no operation is under way: Valid = 1 in snapshot.ini, "
                            "cref.tab and the newest snapshot");
  for (const std::string& profile : {kMaster, kReferences}) {
    ++r.checked;
    if (c::ReadInt(profile, "Misc", "Valid").value_or(0) != 1)
      r.problems.push_back(profile + ": Valid is not 1");
  }
  if (!catalogue.snapshots.empty()) {
    ++r.checked;
    const std::string& newest = catalogue.snapshots.back();
    if (c::ReadInt(newest, "Misc", "Valid").value_or(0) != 1)
      r.problems.push_back(newest + " (the newest snapshot): Valid is not 1");
  }
  return r;
}

InvariantResult CheckSnapshotList(const Catalogue& catalogue) {
  InvariantResult r = Start("snapshot list",
                            "every listed snapshot is named once, has its "
                            "control key and is complete (Valid = 1)");
  std::set<std::string> seen;
  for (size_t i = 0; i < catalogue.snapshots.size(); ++i) {
    const std::string& name = catalogue.snapshots[i];
    ++r.checked;
    const std::string where = "ControlFile" + std::to_string(i + 1);
    if (name.empty()) {
      r.problems.push_back(where + " is missing or empty");
      continue;
    }
    if (!seen.insert(name).second) r.problems.push_back(name + " is listed more than once");
    if (!c::KeyExists(name)) {
      r.problems.push_back(name + " has no control key");
      continue;
    }
    if (c::ReadInt(name, "Misc", "Valid").value_or(0) != 1)
      r.problems.push_back(name + " is incomplete (Valid is not 1)");
  }
  return r;
}

InvariantResult CheckSnapshotFiles(const Catalogue& catalogue) {
  InvariantResult r = Start("snapshot files",
                            "every file list of a listed snapshot is whole, and its files are "
                            "stored for it unless their copy failed when it was saved");
  for (const auto& [name, keys] : catalogue.files) {
    int not_stored = 0;
    for (const std::string& key : keys) {
      ++r.checked;
      if (key.empty()) {
        r.problems.push_back(name + ": a file list has a missing entry");
        continue;
      }
      // A file whose copy failed stays listed without a reference (a later snapshot may have
      // stored the same version since).
      const auto it = catalogue.references.find(key);
      if (it == catalogue.references.end() ||
          std::find(it->second.begin(), it->second.end(), name) == it->second.end())
        ++not_stored;
    }
    if (not_stored > 0)
      r.notes.push_back(name + ": " + std::to_string(not_stored) +
                        " file(s) listed without a stored version (their copy failed)");
  }
  return r;
}

InvariantResult CheckReferenceCounts(const Catalogue& catalogue) {
  InvariantResult r = Start("reference counts",
                            "every stored version's RefCount equals its list of snapshot names, "
                            "and each name is a listed snapshot that holds the file");
  for (const auto& [key, names] : catalogue.references) {
    ++r.checked;
    const size_t holders = names.size();
    if (holders == 0) r.problems.push_back(key + ": RefCount is 0");
    std::map<std::string, int> counted;
    for (const std::string& name : names) {
      if (name.empty()) {
        r.problems.push_back(key + ": a reference is missing");
        continue;
      }
      const auto files = catalogue.files.find(name);
      if (files == catalogue.files.end()) {
        r.problems.push_back(key + ": referenced by " + name + ", which is not listed");
        continue;
      }
      const int held =
          static_cast<int>(std::count(files->second.begin(), files->second.end(), key));
      if (++counted[name] > held)
        r.problems.push_back(key + ": referenced by " + name + " more often than it holds it");
    }
  }
  return r;
}

InvariantResult CheckIndexedCopies(const Catalogue& catalogue) {
  InvariantResult r = Start("stored copies",
                            "every version in the Index has its entry and its "
                            "stored copy (StorePath + Alias)");
  std::set<std::string> seen;
  for (size_t i = 0; i < catalogue.index.size(); ++i) {
    const std::string& key = catalogue.index[i];
    ++r.checked;
    if (key.empty()) {
      r.problems.push_back("Key" + std::to_string(i + 1) + " is missing or empty");
      continue;
    }
    if (!seen.insert(key).second) r.problems.push_back(key + " is indexed more than once");
    const std::string store_path = c::ReadText(kReferences, key, "StorePath").value_or("");
    const std::string alias = c::ReadText(kReferences, key, "Alias").value_or("");
    if (alias.empty() || store_path.empty()) {
      r.problems.push_back(key + ": no StorePath or Alias");
      continue;
    }
    const std::string copy = store_path + alias;
    if (GetFileAttributesA(copy.c_str()) == INVALID_FILE_ATTRIBUTES)
      r.problems.push_back(key + ": the stored copy " + copy + " is missing");
  }
  // A version entry that holds references but is not indexed is lost to every query.
  for (const std::string& section : c::Sections(kReferences)) {
    if (section == "Misc" || section == "Index" || seen.count(section)) continue;
    if (c::ReadInt(kReferences, section, "RefCount").value_or(0) > 0)
      r.problems.push_back(section + ": holds references but is not in the Index");
  }
  return r;
}

InvariantResult CheckUnreferencedCopies(const Catalogue& catalogue, const std::string& store) {
  InvariantResult r = Start("unreferenced copies",
                            "every file in the copy folder is the stored copy of an "
                            "indexed version");
  std::set<std::string> named;
  for (const std::string& key : catalogue.index) {
    const std::string alias = c::ReadText(kReferences, key, "Alias").value_or("");
    std::string upper = alias;
    for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
    if (!upper.empty()) named.insert(upper);
  }
  const std::string pattern = store + "backup\\*.*";
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return r;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    ++r.checked;
    std::string upper = found.cFileName;
    for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
    if (!named.count(upper))
      r.problems.push_back(store + "backup\\" + found.cFileName + " is referenced by nothing");
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return r;
}

// The restore of a snapshot needs its boot-phase and Windows-phase batch files; a date fixing
// renames them with the snapshot.
InvariantResult CheckBatchFiles(const Catalogue& catalogue, const std::string& store) {
  InvariantResult r = Start("batch files",
                            "every listed snapshot has its boot-phase ('B') and Windows-phase "
                            "('W') batch files in the batch folder");
  for (const std::string& name : catalogue.snapshots) {
    if (name.size() < 10) continue;  // reported by the snapshot list
    ++r.checked;
    for (const char letter : {'B', 'W'}) {
      std::string batch = name;
      batch[9] = letter;
      const std::string path = store + "batch\\" + batch;
      if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        r.problems.push_back(name + ": " + path + " is missing");
    }
  }
  for (const char* work : {"newbatch", "oldbatch"})
    if (GetFileAttributesA((store + work).c_str()) != INVALID_FILE_ATTRIBUTES)
      r.notes.push_back(store + work + " is left from a date fixing");
  return r;
}

}  // namespace

std::vector<InvariantResult> CheckStore(const std::string& store) {
  const Catalogue catalogue = Read();
  return {CheckMarks(catalogue),
          CheckSnapshotList(catalogue),
          CheckSnapshotFiles(catalogue),
          CheckReferenceCounts(catalogue),
          CheckIndexedCopies(catalogue),
          CheckUnreferencedCopies(catalogue, store),
          CheckBatchFiles(catalogue, store)};
}

}  // namespace quillow
