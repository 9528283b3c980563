// Text-mode translation of the Windows C runtime: '\n' is written as CR LF, CR LF is read
// back as '\n', and a Ctrl-Z ends the text.
#ifndef W98_SRC_CRT_TEXT_MODE_H
#define W98_SRC_CRT_TEXT_MODE_H

#include <string>
#include <string_view>

namespace w98::internal {

// The bytes that a text-mode write puts on disk for `text`.
std::string ExpandLineEnds(std::string_view text);

// Reads up to `count` characters of text from the host descriptor `fd` at its position into
// `buffer`, folding CR LF into '\n' and stopping before a Ctrl-Z (which stays unread, so every
// later read stops there too). A CR that ends the bytes read is resolved by reading one byte
// more (and putting it back when it is not LF). Returns the characters stored, or -1 with
// errno set.
long ReadText(int fd, char* buffer, size_t count);

}  // namespace w98::internal

#endif  // W98_SRC_CRT_TEXT_MODE_H
