// Fuzzes the REGEDIT4 reader: no input may crash it, and a script it accepts must read back
// the same after going through the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "reg_script.h"

namespace {

// The values a script leaves, by key path and value name (folding is left out on purpose:
// both sides go through the same spelling).
using Model = std::map<std::string, std::map<std::string, std::pair<std::uint32_t, std::string>>>;

std::string KeyPath(const regedit::ScriptOp& op) {
  std::string path = regedit::ScriptRootName(op.root);
  for (const auto& p : op.path) path += "\\" + p;
  return path;
}

Model Apply(const std::vector<regedit::ScriptOp>& ops) {
  Model model;
  for (const auto& op : ops) {
    const std::string key = KeyPath(op);
    switch (op.kind) {
      case regedit::ScriptOp::kCreateKey:
        model[key];
        break;
      case regedit::ScriptOp::kSetValue:
        model[key][op.name] = {op.type, op.data};
        break;
      case regedit::ScriptOp::kDeleteValue:
        model[key].erase(op.name);
        break;
      case regedit::ScriptOp::kDeleteKey:
        for (auto it = model.begin(); it != model.end();)
          it = (it->first == key || it->first.rfind(key + "\\", 0) == 0) ? model.erase(it)
                                                                         : std::next(it);
        break;
    }
  }
  return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<regedit::ScriptOp> ops;
  regedit::ScriptError error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!regedit::ParseScript(text, &ops, &error)) return 0;
  const Model model = Apply(ops);
  std::string written;
  regedit::AppendHeader(written);
  for (const auto& [key, values] : model) {
    if (!regedit::AppendKeyLine(written, key)) return 0;
    for (const auto& [name, value] : values)
      if (!regedit::AppendValueLine(written, name, value.first, value.second)) return 0;
  }
  regedit::AppendTrailer(written);
  std::vector<regedit::ScriptOp> again;
  if (!regedit::ParseScript(written, &again, &error)) std::abort();
  if (Apply(again) != model) std::abort();
  return 0;
}
