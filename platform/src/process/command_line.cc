#include "process/command_line.h"

#include "w98/session.h"

namespace w98::internal {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view SkipBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n) return args;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        size_t slashes = 0;
        while (i < n && line[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < n && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {  // "" inside quotes: one quote
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
}

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
    return std::string(argument);
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    if (c == '"') {
      out.append(slashes * 2 + 1, '\\');
    } else {
      out.append(slashes, '\\');
    }
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');
  out += '"';
  return out;
}

std::string FirstToken(std::string_view line, std::string* rest) {
  line = SkipBlanks(line);
  size_t end;
  std::string token;
  if (!line.empty() && line[0] == '"') {
    end = line.find('"', 1);
    token = std::string(line.substr(1, end == std::string_view::npos ? end : end - 1));
    end = end == std::string_view::npos ? line.size() : end + 1;
  } else {
    end = 0;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    token = std::string(line.substr(0, end));
  }
  if (rest) *rest = std::string(SkipBlanks(line.substr(end)));
  return token;
}

std::vector<std::pair<std::string, std::string>> ProgramNameCandidates(std::string_view line) {
  line = SkipBlanks(line);
  std::vector<std::pair<std::string, std::string>> candidates;
  if (!line.empty() && line[0] == '"') {
    std::string rest;
    std::string name = FirstToken(line, &rest);
    candidates.emplace_back(std::move(name), std::move(rest));
    return candidates;
  }
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || IsBlank(line[i])) {
      if (i > 0 && !IsBlank(line[i - 1]))
        candidates.emplace_back(std::string(line.substr(0, i)),
                                std::string(SkipBlanks(line.substr(i))));
    }
  }
  return candidates;
}

}  // namespace w98::internal

namespace w98 {

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const auto& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += internal::QuoteArgument(argument);
  }
  return line;
}

}  // namespace w98
