// libFuzzer target: arbitrary bytes as a batch file, through every parsing step that the
// interpreter runs on a line (line splitting, %-expansion, labels, redirections, IF chains,
// GOTO targets, argument words, the host command line). It checks the parser's promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "batch_text.h"
#include "invocation.h"
#include "line_parser.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ParseChain(std::string_view text, int depth) {
  const command::SimpleCommand parsed = command::ParseCommand(text);
  for (const auto& redirection : parsed.redirections) Check(!redirection.target.empty());
  Check(parsed.tail.size() <= text.size());
  if (!parsed.error.empty()) return;
  switch (parsed.internal) {
    case command::Internal::kIf: {
      const command::IfClause clause = command::ParseIf(parsed.tail);
      if (clause.error.empty()) {
        Check(!clause.command.empty());
        if (depth < 8) ParseChain(clause.command, depth + 1);
      }
      break;
    }
    case command::Internal::kCall:
      if (depth < 8) ParseChain(parsed.tail, depth + 1);
      break;
    case command::Internal::kGoto:
      Check(command::GotoTarget(parsed.tail).size() <= 8);
      break;
    default:
      command::SplitWords(parsed.tail);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> args = {"TEST.BAT", "\"a b\"", "%", "x=y"};
  const command::VariableLookup lookup = [](std::string_view name, std::string* value) {
    if (name != "PATH") return false;
    *value = "C:\\WINDOWS;%PATH%";
    return true;
  };
  for (const std::string& line : command::SplitBatchLines(bytes)) {
    Check(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
    const std::string expanded = command::ExpandPercents(line, args, lookup);
    const command::BatchLine classified = command::ClassifyLine(expanded);
    if (classified.kind == command::BatchLine::Kind::kLabel) {
      Check(command::LabelKey(classified.text).size() <= 8);
    } else if (classified.kind == command::BatchLine::Kind::kCommand) {
      ParseChain(classified.text, 0);
    }
    for (const std::string& word : command::SplitWords(line)) Check(!word.empty());
  }
  std::vector<std::string> argv;
  for (const std::string& word : command::SplitWords(bytes.substr(0, 512))) argv.push_back(word);
  command::JoinInvocation(argv, [](const std::string& s) { return s.size() % 2 == 0; });
  return 0;
}
