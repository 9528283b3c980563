#include "reg_script.h"

#include <cstdio>

namespace regedit {
namespace {

constexpr size_t kMaxDepth = 512;

char Fold(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Nothing, or a comment, may follow the data of a line.
bool OnlyCommentLeft(std::string_view rest) {
  rest = TrimLeft(rest);
  return rest.empty() || rest.front() == ';';
}

// Reads a quoted text starting after its opening quote; *pos ends after the closing quote.
bool ReadQuoted(std::string_view s, size_t* pos, std::string* out) {
  size_t i = *pos;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      *out += s[i + 1];
      i += 2;
    } else if (c == '"') {
      *pos = i + 1;
      return true;
    } else {
      *out += c;
      ++i;
    }
  }
  return false;
}

// Reads comma-separated hex bytes. *more tells whether the list goes on at the next line.
bool ReadHexList(std::string_view s, std::string* out, bool* more, std::string* why) {
  size_t i = 0;
  bool expect_byte = true;
  *more = false;
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i == s.size() || s[i] == ';') return true;
    if (s[i] == '\\') {
      if (!OnlyCommentLeft(s.substr(i + 1))) {
        *why = "unexpected text after the line continuation";
        return false;
      }
      *more = true;
      return true;
    }
    if (expect_byte) {
      const int hi = HexDigit(s[i]);
      if (hi < 0) {
        *why = "bad hex byte";
        return false;
      }
      int value = hi;
      ++i;
      if (i < s.size() && HexDigit(s[i]) >= 0) value = value * 16 + HexDigit(s[i++]);
      if (i < s.size() && HexDigit(s[i]) >= 0) {
        *why = "hex byte with more than two digits";
        return false;
      }
      *out += static_cast<char>(value);
      expect_byte = false;
    } else if (s[i] == ',') {
      ++i;
      expect_byte = true;
    } else {
      *why = "expected a comma between hex bytes";
      return false;
    }
  }
}

// The line kinds and reader states of the state machine, and what each pair does.
enum class LineKind { kBlank, kComment, kHeader, kKey, kValue, kOther };
enum class State { kHeader, kBody, kHexMore };
enum class Action { kSkip, kAcceptHeader, kKey, kValue, kHexMore, kNoHeader, kBadLine };

constexpr int kKinds = 6;
constexpr Action kTransitions[3][kKinds] = {
    // blank          comment          header                 key              value other
    {Action::kSkip, Action::kNoHeader, Action::kAcceptHeader, Action::kNoHeader, Action::kNoHeader,
     Action::kNoHeader},
    {Action::kSkip, Action::kSkip, Action::kBadLine, Action::kKey, Action::kValue,
     Action::kBadLine},
    {Action::kHexMore, Action::kHexMore, Action::kHexMore, Action::kHexMore, Action::kHexMore,
     Action::kHexMore},
};

LineKind Classify(std::string_view line) {
  const std::string_view t = TrimLeft(line);
  if (t.empty()) return LineKind::kBlank;
  if (t.front() == ';' || t.front() == '#') return LineKind::kComment;
  if (t.front() == '[') return LineKind::kKey;
  if (t.front() == '"' || t.front() == '@') return LineKind::kValue;
  if (TrimRight(t) == "REGEDIT4") return LineKind::kHeader;
  return LineKind::kOther;
}

class Reader {
 public:
  explicit Reader(std::vector<ScriptOp>* ops) : ops_(ops) {}

  bool Run(std::string_view text, ScriptError* error) {
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = pos;
      while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
      ++line_no_;
      if (!Line(text.substr(pos, end - pos))) return Failed(error);
      // CR LF, LF and CR each end a line.
      pos = end;
      if (pos < text.size() && text[pos] == '\r') {
        ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
      } else if (pos < text.size()) {
        ++pos;
      }
    }
    if (state_ == State::kHeader) {
      why_ = "not a registry script: the first line must be REGEDIT4";
      line_no_ = 0;
      return Failed(error);
    }
    if (state_ == State::kHexMore) {
      why_ = "hex data continues past the end of the file";
      line_no_ = hex_.line;
      return Failed(error);
    }
    return true;
  }

 private:
  bool Failed(ScriptError* error) {
    ops_->clear();
    error->line = line_no_;
    error->message = why_;
    return false;
  }

  bool Line(std::string_view line) {
    const LineKind kind = Classify(line);
    switch (kTransitions[static_cast<int>(state_)][static_cast<int>(kind)]) {
      case Action::kSkip:
        return true;
      case Action::kAcceptHeader:
        state_ = State::kBody;
        return true;
      case Action::kKey:
        return KeyLine(TrimLeft(line));
      case Action::kValue:
        return ValueLine(TrimLeft(line));
      case Action::kHexMore:
        return HexMore(line);
      case Action::kNoHeader:
        why_ = "not a registry script: the first line must be REGEDIT4";
        return false;
      case Action::kBadLine:
        why_ = kind == LineKind::kHeader ? "REGEDIT4 may only be the first line"
                                         : "not a key line or a value line";
        return false;
    }
    return false;
  }

  bool KeyLine(std::string_view line) {
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos) return Fail("key line without a closing ]");
    if (!OnlyCommentLeft(line.substr(close + 1))) return Fail("unexpected text after the key name");
    std::string_view inner = line.substr(1, close - 1);
    const bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner.remove_prefix(1);
    const size_t cut = inner.find('\\');
    const std::string_view root_name = inner.substr(0, cut);
    if (!ScriptRootOfName(root_name, &root_))
      return Fail("unknown root key \"" + std::string(root_name) + "\"");
    path_.clear();
    if (cut != std::string_view::npos) {
      std::string_view rest = inner.substr(cut + 1);
      if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
      size_t start = 0;
      while (start <= rest.size() && !rest.empty()) {
        size_t end = rest.find('\\', start);
        if (end == std::string_view::npos) end = rest.size();
        if (end == start) return Fail("empty key name in the path");
        if (path_.size() == kMaxDepth) return Fail("key path too deep");
        path_.emplace_back(rest.substr(start, end - start));
        start = end + 1;
        if (end == rest.size()) break;
      }
    }
    if (remove && path_.empty()) return Fail("a root key cannot be deleted");
    have_key_ = true;
    key_deleted_ = remove;
    ScriptOp op = NewOp(remove ? ScriptOp::kDeleteKey : ScriptOp::kCreateKey);
    ops_->push_back(std::move(op));
    return true;
  }

  bool ValueLine(std::string_view line) {
    if (!have_key_) return Fail("value line before the first key line");
    if (key_deleted_) return Fail("value line under a key that is being deleted");
    ScriptOp op = NewOp(ScriptOp::kSetValue);
    size_t i = 1;
    if (line.front() == '"') {
      if (!ReadQuoted(line, &i, &op.name)) return Fail("value name without a closing quote");
    }
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] != '=') return Fail("expected = after the value name");
    const std::string_view data = TrimLeft(line.substr(i + 1));
    if (!data.empty() && data.front() == '"') {
      size_t j = 1;
      if (!ReadQuoted(data, &j, &op.data)) return Fail("string without a closing quote");
      if (!TrimLeft(data.substr(j)).empty()) return Fail("unexpected text after the string");
      op.type = 1;  // REG_SZ, stored with its NUL
      op.data += '\0';
    } else if (TrimRight(data) == "-") {
      op.kind = ScriptOp::kDeleteValue;
    } else if (StartsNoCase(data, "dword:")) {
      std::string_view digits = data.substr(6);
      size_t n = 0;
      std::uint32_t value = 0;
      while (n < digits.size() && HexDigit(digits[n]) >= 0)
        value = value * 16 + static_cast<std::uint32_t>(HexDigit(digits[n++]));
      if (n == 0 || n > 8) return Fail("dword: needs 1 to 8 hex digits");
      if (!OnlyCommentLeft(digits.substr(n))) return Fail("unexpected text after the dword");
      op.type = 4;  // REG_DWORD, little-endian
      for (int b = 0; b < 4; ++b) op.data += static_cast<char>((value >> (8 * b)) & 0xff);
    } else if (StartsNoCase(data, "hex")) {
      std::string_view rest = data.substr(3);
      op.type = 3;  // REG_BINARY
      if (!rest.empty() && rest.front() == '(') {
        const size_t close = rest.find(')');
        if (close == std::string_view::npos || close == 1 || close > 9)
          return Fail("bad hex(type)");
        std::uint32_t type = 0;
        for (size_t k = 1; k < close; ++k) {
          const int d = HexDigit(rest[k]);
          if (d < 0) return Fail("bad hex(type)");
          type = type * 16 + static_cast<std::uint32_t>(d);
        }
        op.type = type;
        rest.remove_prefix(close + 1);
      }
      if (rest.empty() || rest.front() != ':') return Fail("expected : after hex");
      bool more = false;
      if (!ReadHexList(rest.substr(1), &op.data, &more, &why_)) return false;
      if (more) {
        hex_ = std::move(op);
        state_ = State::kHexMore;
        return true;
      }
    } else {
      return Fail("unrecognised value data");
    }
    ops_->push_back(std::move(op));
    return true;
  }

  bool HexMore(std::string_view line) {
    bool more = false;
    if (!ReadHexList(TrimLeft(line), &hex_.data, &more, &why_)) return false;
    if (!more) {
      ops_->push_back(std::move(hex_));
      hex_ = ScriptOp();
      state_ = State::kBody;
    }
    return true;
  }

  ScriptOp NewOp(ScriptOp::Kind kind) const {
    ScriptOp op;
    op.kind = kind;
    op.line = line_no_;
    op.root = root_;
    op.path = path_;
    return op;
  }

  bool Fail(std::string why) {
    why_ = std::move(why);
    return false;
  }

  std::vector<ScriptOp>* ops_;
  State state_ = State::kHeader;
  int line_no_ = 0;
  std::string why_;
  bool have_key_ = false;
  bool key_deleted_ = false;
  ScriptRoot root_ = ScriptRoot::kLocalMachine;
  std::vector<std::string> path_;
  ScriptOp hex_;
};

void AppendEscaped(std::string& out, std::string_view s) {
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

// A REG_SZ that the quoted form carries exactly: one terminating NUL, no other NUL, no line break.
bool IsPlainText(std::string_view data) {
  if (data.empty() || data.back() != '\0') return false;
  const std::string_view text = data.substr(0, data.size() - 1);
  return text.find('\0') == std::string_view::npos && !HasLineBreak(text);
}

}  // namespace

bool ParseScript(std::string_view text, std::vector<ScriptOp>* ops, ScriptError* error) {
  ops->clear();
  Reader reader(ops);
  return reader.Run(text, error);
}

const char* ScriptRootName(ScriptRoot root) {
  switch (root) {
    case ScriptRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case ScriptRoot::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case ScriptRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case ScriptRoot::kUsers:
      return "HKEY_USERS";
  }
  return "";
}

bool ScriptRootOfName(std::string_view name, ScriptRoot* root) {
  for (ScriptRoot r : {ScriptRoot::kLocalMachine, ScriptRoot::kCurrentUser,
                       ScriptRoot::kClassesRoot, ScriptRoot::kUsers}) {
    if (EqualsNoCase(name, ScriptRootName(r))) {
      *root = r;
      return true;
    }
  }
  return false;
}

void AppendHeader(std::string& out) {
  out += "REGEDIT4\r\n";
}

bool AppendKeyLine(std::string& out, std::string_view full_path) {
  if (HasLineBreak(full_path)) return false;
  out += "\r\n[";
  out += full_path;
  out += "]\r\n";
  return true;
}

bool AppendValueLine(std::string& out, std::string_view name, std::uint32_t type,
                     std::string_view data) {
  if (HasLineBreak(name)) return false;
  const size_t start = out.size();
  if (name.empty()) {
    out += "@=";
  } else {
    out += '"';
    AppendEscaped(out, name);
    out += "\"=";
  }
  char buf[24];
  if (type == 1 && IsPlainText(data)) {
    out += '"';
    AppendEscaped(out, data.substr(0, data.size() - 1));
    out += '"';
  } else if (type == 4 && data.size() == 4) {
    std::uint32_t value = 0;
    for (int b = 3; b >= 0; --b)
      value = (value << 8) | static_cast<unsigned char>(data[static_cast<size_t>(b)]);
    std::snprintf(buf, sizeof buf, "dword:%08x", value);
    out += buf;
  } else {
    // Wrapping: the width counts the name part and the type tag, then 3 per "xx,"; at 77 or
    // more the line goes on after a backslash, CR LF and two blanks.
    if (type == 3) {
      out += "hex:";
    } else {
      std::snprintf(buf, sizeof buf, "hex(%x):", type);
      out += buf;
    }
    size_t width = out.size() - start;
    for (size_t i = 0; i < data.size(); ++i) {
      std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
      out += buf;
      if (i + 1 == data.size()) break;
      out += ',';
      width += 3;
      if (width >= 77) {
        out += "\\\r\n  ";
        width = 2;
      }
    }
  }
  out += "\r\n";
  return true;
}

void AppendTrailer(std::string& out) {
  out += "\r\n";
}

}  // namespace regedit
