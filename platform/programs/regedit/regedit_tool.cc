#include "regedit_tool.h"

#include <mutex>

#include "core/text.h"
#include "fs/whole_file.h"
#include "reg_script.h"
#include "registry/hive.h"
#include "registry/hive_set.h"
#include "registry/registry.h"
#include "w98/machine.h"
#include "w98/winerror.h"

namespace regedit {
namespace {

using w98::internal::Hive;
using w98::internal::RegKey;

std::string Unquote(std::string word) {
  if (word.size() >= 2 && word.front() == '"' && word.back() == '"')
    word = word.substr(1, word.size() - 2);
  return word;
}

// "/L:path" -> true with *value = path (quotes around the path removed).
bool SwitchValue(const std::string& word, const char* name, std::string* value) {
  if (word.size() < 3 || !w98::internal::EqualsNoCase(word.substr(0, 3), name)) return false;
  *value = Unquote(word.substr(3));
  return true;
}

bool ReadDosFile(const std::string& dos, std::string* bytes, std::string* error) {
  if (w98::internal::ReadWholeFile(dos, *bytes) != ERROR_SUCCESS) {
    *error = "Cannot import " + dos + ": Error opening the file.";
    return false;
  }
  return true;
}

bool WriteDosFile(const std::string& dos, const std::string& bytes, std::string* error) {
  const DWORD err = w98::internal::ReplaceWholeFile(dos, bytes);
  if (err == ERROR_SUCCESS) return true;
  *error = "Cannot export " + dos + ": Error " + (err == ERROR_DISK_FULL ? "writing" : "creating") +
           " the file.";
  return false;
}

bool OpenNamedHive(const std::string& dos, bool load, std::shared_ptr<Hive>* out,
                   std::string* error) {
  const std::string host = w98::HostPathOf(dos);
  if (host.empty() || !std::filesystem::is_regular_file(host)) {
    *error = "Unable to open registry: cannot find " + dos;
    return false;
  }
  *out = w98::internal::OpenHive(host);
  if (LONG err = load ? (*out)->Sync(true) : ERROR_SUCCESS) {
    *error = "Unable to open registry (" + std::to_string(err) + ") - " + dos;
    return false;
  }
  return true;
}

// Where a key path of a script or of the command line lands: a hive and the names below its root.
struct Place {
  Hive* hive = nullptr;
  std::vector<std::string> path;
};

bool PlaceOf(Hives& hives, ScriptRoot root, const std::vector<std::string>& path, Place* place,
             std::string* why) {
  place->path.clear();
  switch (root) {
    case ScriptRoot::kLocalMachine:
      place->hive = hives.system.get();
      break;
    case ScriptRoot::kCurrentUser:
      place->hive = hives.user.get();
      break;
    case ScriptRoot::kClassesRoot:
      place->hive = hives.system.get();
      place->path = {"Software", "Classes"};
      break;
    case ScriptRoot::kUsers:
      if (path.empty() || !w98::internal::EqualsNoCase(path.front(), ".DEFAULT")) {
        *why = "HKEY_USERS holds only .DEFAULT";
        return false;
      }
      place->hive = hives.user.get();
      place->path.assign(path.begin() + 1, path.end());
      return true;
  }
  place->path.insert(place->path.end(), path.begin(), path.end());
  return true;
}

std::vector<std::string_view> Views(const std::vector<std::string>& names) {
  return std::vector<std::string_view>(names.begin(), names.end());
}

// Writes `key` as `name` and everything below it.
bool EmitTree(std::string& out, const std::string& name, const RegKey& key, std::string* error) {
  if (!AppendKeyLine(out, name)) {
    *error = "Cannot export: a key name holds a line break (" + name + ")";
    return false;
  }
  for (const auto& v : key.values) {
    if (!AppendValueLine(out, v.name, v.type, v.data)) {
      *error = "Cannot export: a value name in " + name + " holds a line break";
      return false;
    }
  }
  for (const auto& child : key.children)
    if (!EmitTree(out, name + "\\" + child->name, *child, error)) return false;
  return true;
}

// Writes the key at `place` with everything below it, as of one moment. Its key line is
// `root_name` followed by the stored spelling of the place's names from the `shown`th on (the
// names before it are the root's own place in the hive, as Software\Classes for
// HKEY_CLASSES_ROOT).
bool EmitPlace(std::string& out, const std::string& root_name, size_t shown, const Place& place,
               std::string* error) {
  // Only the part exported is read: an export of a small key of a big hive stays cheap.
  std::shared_ptr<RegKey> copy;
  if (LONG err = place.hive->ReadSubtree(Views(place.path), &copy)) {
    *error = "Cannot export: unable to read the registry (" + std::to_string(err) + ")";
    return false;
  }
  std::string name = root_name;
  const RegKey* key = copy.get();
  for (size_t i = 0; i < place.path.size() && key != nullptr; ++i) {
    auto child = key->FindChild(place.path[i]);
    key = child.get();
    if (key != nullptr && i >= shown) name += "\\" + key->name;
  }
  if (key == nullptr) {
    *error = "Cannot export: the key " + name + " does not exist.";
    return false;
  }
  return EmitTree(out, name, *key, error);
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, Options* options, std::string* error) {
  *options = Options();
  std::vector<std::string> words;
  for (const std::string& raw : args) {
    const std::string word = Unquote(raw);
    if (word.empty()) continue;
    if (word.front() != '/') {
      words.push_back(word);
      continue;
    }
    std::string value;
    if (SwitchValue(word, "/L:", &value)) {
      options->system_file = value;
    } else if (SwitchValue(word, "/R:", &value)) {
      options->user_file = value;
    } else if (w98::internal::EqualsNoCase(word, "/E")) {
      options->do_export = true;
    } else if (w98::internal::EqualsNoCase(word, "/S")) {
      options->silent = true;
    } else if (w98::internal::EqualsNoCase(word, "/I")) {
      // Accepted and ignored, as Windows' editor does.
    } else {
      *error = "unknown switch " + word;
      return false;
    }
  }
  if (words.empty()) {
    *error = options->do_export ? "/E needs a file name" : "no file to import";
    return false;
  }
  if (options->do_export) {
    options->file = words.front();
    for (size_t i = 1; i < words.size(); ++i) options->key += (i > 1 ? " " : "") + words[i];
  } else {
    for (size_t i = 0; i < words.size(); ++i) options->file += (i > 0 ? " " : "") + words[i];
  }
  return true;
}

bool OpenHives(const Options& options, Hives* hives, std::string* error) {
  // An export reads what it needs itself; an import works on the loaded hives.
  const bool load = !options.do_export;
  for (bool system : {true, false}) {
    const std::string& named = system ? options.system_file : options.user_file;
    std::shared_ptr<Hive>& slot = system ? hives->system : hives->user;
    if (!named.empty()) {
      if (!OpenNamedHive(named, load, &slot, error)) return false;
      continue;
    }
    const auto kind = system ? w98::internal::HiveKind::kSystem : w98::internal::HiveKind::kUser;
    if (LONG err = w98::internal::MachineHive(kind, &slot, load)) {
      *error = err == ERROR_BADKEY ? "no machine (W98_MACHINE is not set)"
                                   : "Unable to open registry (" + std::to_string(err) + ")";
      return false;
    }
  }
  return true;
}

bool ExportText(Hives& hives, std::string_view key, std::string* text, std::string* error) {
  text->clear();
  AppendHeader(*text);
  if (key.empty()) {
    Place machine{hives.system.get(), {}};
    Place user{hives.user.get(), {}};
    if (!EmitPlace(*text, "HKEY_LOCAL_MACHINE", 0, machine, error)) return false;
    AppendKeyLine(*text, "HKEY_USERS");
    if (!EmitPlace(*text, "HKEY_USERS\\.DEFAULT", 0, user, error)) return false;
    AppendTrailer(*text);
    return true;
  }
  const size_t cut = key.find('\\');
  const HKEY root = w98::internal::RootOfName(key.substr(0, cut));
  ScriptRoot script_root;
  if (root == nullptr || !ScriptRootOfName(w98::internal::RootName(root), &script_root)) {
    *error = "Cannot export: unknown root key in " + std::string(key);
    return false;
  }
  std::vector<std::string_view> parts;
  if (!w98::internal::SplitKeyPath(cut == std::string_view::npos ? "" : key.substr(cut + 1),
                                   &parts)) {
    *error = "Cannot export: bad key path " + std::string(key);
    return false;
  }
  std::vector<std::string> names(parts.begin(), parts.end());
  Place place;
  std::string why;
  if (!PlaceOf(hives, script_root, names, &place, &why)) {
    *error = "Cannot export " + std::string(key) + ": " + why;
    return false;
  }
  // Key lines carry the stored spelling of each name. HKEY_USERS\.DEFAULT is the user hive's
  // root; HKEY_CLASSES_ROOT is a key of its own in the system hive.
  std::string root_name = w98::internal::RootName(root);
  size_t shown = 0;
  if (script_root == ScriptRoot::kUsers)
    root_name += "\\.DEFAULT";
  else
    shown = place.path.size() - names.size();
  if (!EmitPlace(*text, root_name, shown, place, error)) return false;
  AppendTrailer(*text);
  return true;
}

bool ImportText(Hives& hives, std::string_view text, std::string* error) {
  std::vector<ScriptOp> ops;
  ScriptError parse_error;
  if (!ParseScript(text, &ops, &parse_error)) {
    *error = parse_error.line > 0
                 ? "line " + std::to_string(parse_error.line) + ": " + parse_error.message
                 : parse_error.message;
    return false;
  }
  // Every line must land somewhere before anything changes.
  std::vector<Place> places(ops.size());
  for (size_t i = 0; i < ops.size(); ++i) {
    std::string why;
    const bool users_root = ops[i].root == ScriptRoot::kUsers && ops[i].path.empty();
    if (users_root && ops[i].kind == ScriptOp::kCreateKey) continue;  // HKEY_USERS itself
    if (!PlaceOf(hives, ops[i].root, ops[i].path, &places[i], &why)) {
      *error = "line " + std::to_string(ops[i].line) + ": " + why;
      return false;
    }
    if (ops[i].kind == ScriptOp::kDeleteKey && places[i].path.empty()) {
      *error = "line " + std::to_string(ops[i].line) + ": a root key cannot be deleted";
      return false;
    }
  }
  std::vector<Hive*> used;
  for (Hive* h : {hives.system.get(), hives.user.get()})
    if (std::find(used.begin(), used.end(), h) == used.end()) used.push_back(h);
  // The whole import reaches each hive file in one commit.
  for (Hive* h : used) h->Hold(true);
  {
    std::vector<std::unique_lock<std::mutex>> locks;
    for (Hive* h : used) locks.emplace_back(h->Mutex());
    const Place* last_place = nullptr;
    std::shared_ptr<RegKey> last_key;
    for (size_t i = 0; i < ops.size(); ++i) {
      const ScriptOp& op = ops[i];
      const Place& place = places[i];
      if (place.hive == nullptr) continue;
      Hive& hive = *place.hive;
      const bool same = last_place != nullptr && last_key && !last_key->removed &&
                        last_place->hive == place.hive && last_place->path == place.path;
      switch (op.kind) {
        case ScriptOp::kCreateKey:
        case ScriptOp::kSetValue: {
          if (!same) {
            bool created = false;
            last_key = hive.Create(hive.Root(), Views(place.path), &created);
            last_place = &place;
          }
          if (op.kind == ScriptOp::kSetValue) hive.SetValue(*last_key, op.name, op.type, op.data);
          break;
        }
        case ScriptOp::kDeleteKey:
          if (auto doomed = hive.Find(hive.Root(), Views(place.path))) hive.DeleteTree(*doomed);
          last_place = nullptr;
          break;
        case ScriptOp::kDeleteValue:
          if (auto key = hive.Find(hive.Root(), Views(place.path))) hive.DeleteValue(*key, op.name);
          break;
      }
    }
  }
  bool ok = true;
  for (Hive* h : used) {
    if (LONG err = h->Commit()) {
      *error = "cannot write the registry (error " + std::to_string(err) + ")";
      ok = false;
    }
    h->Hold(false);
  }
  return ok;
}

int RunRegedit(const std::vector<std::string>& args, std::string* out, std::string* err) {
  Options options;
  std::string why;
  if (!ParseArguments(args, &options, &why)) {
    *err += "regedit: " + why +
            "\nusage: regedit [/S] FILE | regedit [/L:system] [/R:user] FILE |"
            " regedit [/L:system] [/R:user] /E FILE [KEY]\n";
    return 2;
  }
  Hives hives;
  if (!OpenHives(options, &hives, &why)) {
    *err += "regedit: " + why + "\n";
    return 1;
  }
  if (options.do_export) {
    std::string text;
    if (!ExportText(hives, options.key, &text, &why) || !WriteDosFile(options.file, text, &why)) {
      *err += "regedit: " + why + "\n";
      return 1;
    }
    return 0;
  }
  std::string text;
  if (!ReadDosFile(options.file, &text, &why)) {
    *err += "regedit: " + why + "\n";
    return 1;
  }
  if (!ImportText(hives, text, &why)) {
    *err += "regedit: Cannot import " + options.file + ": " + why + "\n";
    return 1;
  }
  if (!options.silent)
    *out +=
        "Information in " + options.file + " has been successfully entered into the registry.\n";
  return 0;
}

}  // namespace regedit
