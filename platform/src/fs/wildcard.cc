#include "fs/wildcard.h"

#include "core/text.h"

namespace w98::internal {

WildcardPattern::WildcardPattern(std::string_view pattern) {
  // Windows drops trailing blanks of a name, and a trailing dot unless it follows '*'
  // ("*." keeps its meaning: names without an extension).
  while (!pattern.empty() && pattern.back() == ' ') pattern.remove_suffix(1);
  while (pattern.size() >= 1 && pattern.back() == '.' &&
         !(pattern.size() >= 2 && pattern[pattern.size() - 2] == '*'))
    pattern.remove_suffix(1);
  text_ = std::string(pattern);
  literal_ = text_.find_first_of("*?") == std::string::npos;
  if (text_ == "*" || text_ == "*.*") {
    all_ = true;
    return;
  }
  // The long-name emulation of the DOS rules: a '*' before a '.' may not take the name's
  // last dot; a '.' before a wildcard or at the end also matches the end of a name; every '?'
  // may match nothing before a dot or at the end.
  for (size_t i = 0; i < text_.size(); ++i) {
    const char c = text_[i];
    const char next = i + 1 < text_.size() ? text_[i + 1] : '\0';
    if (c == '*') {
      tokens_.push_back({next == '.' ? Kind::kDosStar : Kind::kStar, 0});
    } else if (c == '?') {
      tokens_.push_back({Kind::kDosQuestion, 0});
    } else if (c == '.' && (next == '*' || next == '?' || next == '\0')) {
      tokens_.push_back({Kind::kDosDot, 0});
    } else {
      tokens_.push_back({Kind::kChar, FoldCase(c)});
    }
  }
  // "*TEXT" and "*.EXT" (no further dot) are suffix tests; most searches have this shape.
  if (!tokens_.empty() && (tokens_[0].kind == Kind::kStar || tokens_[0].kind == Kind::kDosStar)) {
    suffix_ = true;
    for (size_t i = 1; i < tokens_.size(); ++i) {
      const bool plain = tokens_[i].kind == Kind::kChar &&
                         (tokens_[0].kind == Kind::kStar || (tokens_[i].c == '.') == (i == 1));
      if (!plain) {
        suffix_ = false;
        break;
      }
      suffix_text_ += tokens_[i].c;
    }
  }
}

bool WildcardPattern::Matches(std::string_view name) const {
  if (all_) return !name.empty();
  if (literal_) return EqualsNoCase(name, text_);
  if (suffix_) {
    return name.size() >= suffix_text_.size() &&
           EqualsNoCase(name.substr(name.size() - suffix_text_.size()), suffix_text_);
  }
  const size_t last_dot = name.rfind('.');
  thread_local std::vector<signed char> memo;
  memo.assign((tokens_.size() + 1) * (name.size() + 1), -1);
  return MatchFrom(0, 0, name, last_dot, memo);
}

// Whether tokens [token..] match name [pos..]; memo caches each (token, pos) answer.
bool WildcardPattern::MatchFrom(size_t token, size_t pos, std::string_view name, size_t last_dot,
                                std::vector<signed char>& memo) const {
  signed char& known = memo[token * (name.size() + 1) + pos];
  if (known >= 0) return known != 0;
  bool result = false;
  const bool at_end = pos == name.size();
  if (token == tokens_.size()) {
    result = at_end;
  } else {
    const Token& t = tokens_[token];
    switch (t.kind) {
      case Kind::kStar:
        result = MatchFrom(token + 1, pos, name, last_dot, memo) ||
                 (!at_end && MatchFrom(token, pos + 1, name, last_dot, memo));
        break;
      case Kind::kDosStar:
        // Any run of characters that does not take the name's last dot.
        result = MatchFrom(token + 1, pos, name, last_dot, memo) ||
                 (!at_end && pos != last_dot && MatchFrom(token, pos + 1, name, last_dot, memo));
        break;
      case Kind::kDosQuestion:
        // One character, but nothing at a dot or at the end of the name.
        if (at_end || name[pos] == '.')
          result = MatchFrom(token + 1, pos, name, last_dot, memo);
        else
          result = MatchFrom(token + 1, pos + 1, name, last_dot, memo);
        break;
      case Kind::kDosDot:
        // A dot, or nothing at the end of the name.
        if (at_end)
          result = MatchFrom(token + 1, pos, name, last_dot, memo);
        else
          result = name[pos] == '.' && MatchFrom(token + 1, pos + 1, name, last_dot, memo);
        break;
      case Kind::kChar:
        result = !at_end && FoldCase(name[pos]) == t.c &&
                 MatchFrom(token + 1, pos + 1, name, last_dot, memo);
        break;
    }
  }
  known = result ? 1 : 0;
  return result;
}

}  // namespace w98::internal
