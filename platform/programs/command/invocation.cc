#include "invocation.h"

#include "batch_text.h"

namespace command {
namespace {

bool NeedsQuotes(const std::string& arg) {
  if (arg.empty()) return true;
  if (arg.find('"') != std::string::npos) return false;
  for (char c : arg)
    if (IsDelimiter(c)) return true;
  return false;
}

std::string Quoted(const std::string& arg) {
  return NeedsQuotes(arg) ? '"' + arg + '"' : arg;
}

}  // namespace

std::string JoinInvocation(const std::vector<std::string>& args,
                           const std::function<bool(const std::string&)>& is_file) {
  std::string line;
  for (size_t i = 0; i < args.size(); ++i) {
    if (!line.empty()) line += ' ';
    const bool last_after_c = i + 1 == args.size() && i > 0 &&
                              (EqualsNoCase(args[i - 1], "/C") || EqualsNoCase(args[i - 1], "/K"));
    if (last_after_c && NeedsQuotes(args[i]) && !args[i].empty() &&
        !(is_file && is_file(args[i]))) {
      line += args[i];
      continue;
    }
    line += Quoted(args[i]);
  }
  return line;
}

}  // namespace command
