// File-name patterns of FindFirstFileA with the rules Windows applies to long names (its
// emulation of the DOS 8.3 rules): '*' matches any run of characters, but a '*' just before a
// '.' never takes the name's last dot; '?' matches one character, or nothing before a '.' or
// at the end of the name ("A?.TXT" matches "A.TXT"); a '.' before '*' or '?' or at the end
// also matches the end of a name ("FOO.*" matches "FOO"). So "*.*" matches every name, also
// names without a dot, and "*." matches names without an extension. Letters match without
// regard to case. Trailing blanks, and a trailing dot that does not follow '*', are dropped.
#ifndef W98_SRC_FS_WILDCARD_H
#define W98_SRC_FS_WILDCARD_H

#include <string>
#include <string_view>
#include <vector>

namespace w98::internal {

class WildcardPattern {
 public:
  // `pattern` is the last component of a FindFirstFileA argument as the caller wrote it.
  explicit WildcardPattern(std::string_view pattern);

  bool Matches(std::string_view name) const;
  // True when the pattern has no '*' or '?': it names one entry.
  bool IsLiteral() const { return literal_; }
  // The literal name (trailing dots and blanks removed), when IsLiteral().
  const std::string& LiteralName() const { return text_; }

 private:
  enum class Kind : unsigned char { kChar, kStar, kDosStar, kDosQuestion, kDosDot };
  struct Token {
    Kind kind;
    char c;  // upper-cased, for kChar
  };
  bool MatchFrom(size_t token, size_t pos, std::string_view name, size_t last_dot,
                 std::vector<signed char>& memo) const;

  std::string text_;
  std::vector<Token> tokens_;
  bool literal_ = false;
  bool all_ = false;     // matches every name
  bool suffix_ = false;  // a plain suffix test ("*.TXT")
  std::string suffix_text_;
};

}  // namespace w98::internal

#endif  // W98_SRC_FS_WILDCARD_H
