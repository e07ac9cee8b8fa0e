// Helpers for the report tests: capturing what a writer prints to a FILE*.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// A memory stream; text() closes it and returns everything written.
class Capture {
 public:
  Capture() { file_ = open_memstream(&buf_, &len_); }
  ~Capture() {
    if (file_) fclose(file_);
    free(buf_);
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  FILE* f() { return file_; }
  std::string text() {
    if (file_) {
      fclose(file_);
      file_ = nullptr;
    }
    return std::string(buf_ ? buf_ : "", len_);
  }

 private:
  char* buf_ = nullptr;
  size_t len_ = 0;
  FILE* file_ = nullptr;
};

inline bool has_byte_at_or_above_0x80(const std::string& s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return true;
  }
  return false;
}

// Every line of s (without its newline).
inline std::string::size_type longest_line(const std::string& s) {
  std::string::size_type best = 0, start = 0;
  while (start < s.size()) {
    auto nl = s.find('\n', start);
    if (nl == std::string::npos) nl = s.size();
    if (nl - start > best) best = nl - start;
    start = nl + 1;
  }
  return best;
}
