// Where a command's output goes: the program's standard output (which the machine's boot log
// captures), a string (tests), or a file named by a redirection.
#ifndef COMMAND_CONSOLE_H
#define COMMAND_CONSOLE_H

#include <memory>
#include <string>
#include <string_view>

namespace command {

class Console {
 public:
  virtual ~Console() = default;
  // Writes text; lines end with '\n' (a file console stores CR LF).
  virtual void Write(std::string_view text) = 0;
  // Pushes buffered text out, so that a program started next writes after it.
  virtual void Flush() {}

  void Line(std::string_view text) {
    Write(text);
    Write("\n");
  }
};

class StdoutConsole final : public Console {
 public:
  void Write(std::string_view text) override;
  void Flush() override;
};

class StringConsole final : public Console {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// A file opened through w98 for a '>' or '>>' redirection, written in text mode.
class FileConsole final : public Console {
 public:
  // Creates or truncates (append = false) or appends to the DOS file `path`. On failure
  // returns nullptr; the file is then untouched.
  static std::unique_ptr<FileConsole> Open(const std::string& path, bool append);
  ~FileConsole() override;
  FileConsole(const FileConsole&) = delete;
  FileConsole& operator=(const FileConsole&) = delete;

  void Write(std::string_view text) override;
  // False when a write failed (for example the disk is full).
  bool Good() const { return good_; }

 private:
  explicit FileConsole(int fd) : fd_(fd) {}
  int fd_;
  bool good_ = true;
};

}  // namespace command

#endif  // COMMAND_CONSOLE_H
