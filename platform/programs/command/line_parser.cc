#include "line_parser.h"

#include <cctype>
#include <utility>

#include "batch_text.h"

namespace command {
namespace {

constexpr const char* kSyntaxError = "Syntax error";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

size_t SkipBlanks(std::string_view text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

struct InternalName {
  const char* name;
  Internal id;
};

constexpr InternalName kInternalNames[] = {
    {"ECHO", Internal::kEcho},
    {"REM", Internal::kRem},
    {"SET", Internal::kSet},
    {"IF", Internal::kIf},
    {"GOTO", Internal::kGoto},
    {"CALL", Internal::kCall},
    {"COPY", Internal::kCopy},
    {"DEL", Internal::kDel},
    {"ERASE", Internal::kDel},
    {"SHIFT", Internal::kShift},
    {"EXIT", Internal::kExit},
    {"CD", Internal::kCd},
    {"CHDIR", Internal::kCd},
    {"MD", Internal::kMd},
    {"MKDIR", Internal::kMd},
    {"RD", Internal::kRd},
    {"RMDIR", Internal::kRd},
    {"REN", Internal::kRen},
    {"RENAME", Internal::kRen},
    {"TYPE", Internal::kType},
    {"CLS", Internal::kCls},
    {"PAUSE", Internal::kPause},
    {"PATH", Internal::kPath},
    {"PROMPT", Internal::kPrompt},
    // MS-DOS 7 internal commands that this interpreter does not carry out.
    {"FOR", Internal::kUnsupported},
    {"LH", Internal::kUnsupported},
    {"LOADHIGH", Internal::kUnsupported},
    {"DIR", Internal::kUnsupported},
    {"DATE", Internal::kUnsupported},
    {"TIME", Internal::kUnsupported},
    {"VER", Internal::kUnsupported},
    {"VOL", Internal::kUnsupported},
    {"VERIFY", Internal::kUnsupported},
    {"BREAK", Internal::kUnsupported},
    {"CTTY", Internal::kUnsupported},
    {"LOCK", Internal::kUnsupported},
    {"UNLOCK", Internal::kUnsupported},
    {"LFNFOR", Internal::kUnsupported},
    {"CHCP", Internal::kUnsupported},
    {"TRUENAME", Internal::kUnsupported},
};

Internal LookUpInternal(std::string_view word) {
  for (const auto& entry : kInternalNames)
    if (EqualsNoCase(word, entry.name)) return entry.id;
  return Internal::kNone;
}

// Characters that may follow an internal command's name directly ("ECHO.", "CD\", "CD..").
bool EndsInternalName(char c) {
  return IsDelimiter(c) || c == '.' || c == ':' || c == '\\' || c == '/' || c == '+' || c == '[' ||
         c == ']' || c == '"' || c == '(' || c == '<' || c == '>' || c == '|';
}

struct NameSplit {
  Internal internal = Internal::kNone;
  std::string name;
  size_t tail_start = 0;
};

NameSplit SplitName(std::string_view text) {
  NameSplit out;
  const size_t start = SkipDelimiters(text, 0);
  size_t letters = start;
  while (letters < text.size() && std::isalpha(static_cast<unsigned char>(text[letters])))
    ++letters;
  if (letters > start && (letters == text.size() || EndsInternalName(text[letters]))) {
    const std::string_view word = text.substr(start, letters - start);
    const Internal id = LookUpInternal(word);
    if (id != Internal::kNone) {
      out.internal = id;
      out.name = UpperCase(word);
      out.tail_start = letters;
      return out;
    }
  }
  size_t pos = start;
  out.name = ReadWord(text, pos, "<>|/");
  out.tail_start = pos;
  return out;
}

// Takes the redirections out of `text`, leaving the blanks around them. Sets `error` for a
// redirection without a file name or, unless `allow_pipe`, for a pipe.
std::string ExtractRedirections(std::string_view text, std::vector<Redirection>& redirections,
                                std::string& error, bool allow_pipe) {
  std::string rest;
  rest.reserve(text.size());
  bool quoted = false;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"') quoted = !quoted;
    if (quoted || (c != '>' && c != '<' && c != '|')) {
      rest += c;
      ++i;
      continue;
    }
    if (c == '|') {
      if (!allow_pipe && error.empty()) error = "Pipes are not supported";
      rest += c;
      ++i;
      continue;
    }
    Redirection redirection;
    if (c == '<') {
      redirection.kind = Redirection::Kind::kInput;
      ++i;
    } else if (i + 1 < text.size() && text[i + 1] == '>') {
      redirection.kind = Redirection::Kind::kAppend;
      i += 2;
    } else {
      redirection.kind = Redirection::Kind::kOutput;
      ++i;
    }
    size_t pos = SkipBlanks(text, i);
    redirection.target = Unquote(ReadWord(text, pos, "<>|"));
    i = pos;
    if (redirection.target.empty()) {
      if (error.empty()) error = kSyntaxError;
      continue;
    }
    redirections.push_back(std::move(redirection));
  }
  return rest;
}

}  // namespace

BatchLine ClassifyLine(std::string_view line) {
  BatchLine out;
  size_t pos = 0;
  for (;;) {
    pos = SkipDelimiters(line, pos);
    if (pos < line.size() && line[pos] == '@') {
      out.quiet = true;
      ++pos;
      continue;
    }
    break;
  }
  if (pos >= line.size()) return out;
  if (line[pos] == ':') {
    out.kind = BatchLine::Kind::kLabel;
    out.text = std::string(line.substr(pos + 1));
    return out;
  }
  out.kind = BatchLine::Kind::kCommand;
  out.text = std::string(line.substr(pos));
  return out;
}

std::string LabelKey(std::string_view name) {
  size_t pos = SkipDelimiters(name, 0);
  while (pos < name.size() && name[pos] == ':') ++pos;
  std::string word = ReadWord(name, pos);
  if (word.size() > 8) word.resize(8);
  return UpperCase(word);
}

SimpleCommand ParseCommand(std::string_view text) {
  SimpleCommand out;
  NameSplit split = SplitName(text);
  const std::string_view tail = text.substr(split.tail_start);
  if (split.name.empty() && split.tail_start < text.size() &&
      (text[split.tail_start] == '<' || text[split.tail_start] == '>')) {
    // Redirections before the command name: take them out first, then find the name.
    const std::string stripped = ExtractRedirections(text, out.redirections, out.error, false);
    SimpleCommand rest = ParseCommand(stripped);
    rest.redirections.insert(rest.redirections.begin(), out.redirections.begin(),
                             out.redirections.end());
    if (rest.error.empty()) rest.error = out.error;
    return rest;
  }
  out.internal = split.internal;
  out.name = std::move(split.name);
  if (out.internal == Internal::kRem) {
    const size_t first = SkipBlanks(tail, 0);
    if (first < tail.size() && (tail[first] == '>' || tail[first] == '<'))
      out.tail = ExtractRedirections(tail, out.redirections, out.error, true);
    else
      out.tail = std::string(tail);
    return out;
  }
  if (out.internal == Internal::kIf || out.internal == Internal::kCall) {
    // The command after the condition (or after CALL) is parsed again when it runs, with
    // its own redirections.
    out.tail = std::string(tail);
    return out;
  }
  out.tail = ExtractRedirections(tail, out.redirections, out.error, false);
  return out;
}

IfClause ParseIf(std::string_view tail) {
  IfClause out;
  size_t pos = 0;
  size_t mark = pos;
  std::string word = ReadWord(tail, pos, "=");
  if (EqualsNoCase(word, "NOT")) {
    out.negate = true;
    mark = pos;
    word = ReadWord(tail, pos, "=");
  }
  const bool operator_follows =
      SkipBlanks(tail, pos) + 1 < tail.size() && tail.substr(SkipBlanks(tail, pos), 2) == "==";
  if (EqualsNoCase(word, "ERRORLEVEL") && !operator_follows) {
    out.kind = IfClause::Kind::kErrorLevel;
    const std::string number = ReadWord(tail, pos);
    if (number.empty() || number.size() > 9) {
      out.error = kSyntaxError;
      return out;
    }
    for (char c : number) {
      if (c < '0' || c > '9') {
        out.error = kSyntaxError;
        return out;
      }
    }
    out.level = std::stoul(number);
  } else if (EqualsNoCase(word, "EXIST") && !operator_follows) {
    out.kind = IfClause::Kind::kExist;
    out.left = ReadWord(tail, pos);
    if (out.left.empty()) {
      out.error = kSyntaxError;
      return out;
    }
  } else {
    // a==b: the left word runs up to "==" (or a delimiter), quoted stretches kept whole.
    out.kind = IfClause::Kind::kCompare;
    pos = SkipDelimiters(tail, mark);
    bool quoted = false;
    while (pos < tail.size()) {
      const char c = tail[pos];
      if (!quoted && (IsBlank(c) || c == ',' || c == ';')) break;
      if (!quoted && c == '=' && pos + 1 < tail.size() && tail[pos + 1] == '=') break;
      if (c == '"') quoted = !quoted;
      out.left += c;
      ++pos;
    }
    pos = SkipBlanks(tail, pos);
    if (out.left.empty() || tail.substr(pos, 2) != "==") {
      out.error = kSyntaxError;
      return out;
    }
    pos = SkipBlanks(tail, pos + 2);
    quoted = false;
    while (pos < tail.size()) {
      const char c = tail[pos];
      if (!quoted && IsDelimiter(c)) break;
      if (c == '"') quoted = !quoted;
      out.right += c;
      ++pos;
    }
    if (out.right.empty()) {
      out.error = kSyntaxError;
      return out;
    }
  }
  pos = SkipDelimiters(tail, pos);
  out.command = std::string(tail.substr(pos));
  if (out.command.empty()) out.error = kSyntaxError;
  return out;
}

std::string GotoTarget(std::string_view tail) {
  return LabelKey(tail);
}

}  // namespace command
