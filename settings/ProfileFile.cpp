// SPDX-License-Identifier: MIT
// Profile-file parsing and writing. The parser never copies the file into a tree:
// it walks the lines in place, so that a write can splice one line and keep every
// other byte exactly as it was.
#include "ProfileFile.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvane::settings {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  a = trim(a);
  b = trim(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

enum class Kind { Blank, Comment, Section, Key };

// One line of the file: [begin, end) is its text, next is where the following line
// starts (after CRLF, LF or CR).
struct Line {
  size_t begin = 0, end = 0, next = 0;
  Kind kind = Kind::Blank;
  std::string_view name;                  // section or key name, trimmed
  std::optional<std::string_view> value;  // raw value after "=", trimmed
};

Line classify(std::string_view contents, size_t begin, size_t end, size_t next) {
  Line line{begin, end, next, Kind::Blank, {}, std::nullopt};
  std::string_view text = trim(contents.substr(begin, end - begin));
  if (text.empty()) return line;
  if (text.front() == ';') {
    line.kind = Kind::Comment;
    return line;
  }
  if (text.front() == '[') {
    size_t close = text.find(']');
    if (close != std::string_view::npos) {
      line.kind = Kind::Section;
      line.name = trim(text.substr(1, close - 1));
      return line;
    }
  }
  line.kind = Kind::Key;
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) {
    line.name = text;
  } else {
    line.name = trim(text.substr(0, eq));
    line.value = trim(text.substr(eq + 1));
  }
  return line;
}

std::vector<Line> splitLines(std::string_view contents) {
  std::vector<Line> lines;
  size_t pos = 0;
  // A UTF-8 byte order mark written by an editor is not part of the first line.
  if (contents.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
  while (pos < contents.size()) {
    size_t end = contents.find_first_of("\r\n", pos);
    size_t next;
    if (end == std::string_view::npos) {
      end = next = contents.size();
    } else if (contents[end] == '\r' && end + 1 < contents.size() && contents[end + 1] == '\n') {
      next = end + 2;
    } else {
      next = end + 1;
    }
    lines.push_back(classify(contents, pos, end, next));
    pos = next;
  }
  return lines;
}

// Where a section's lines lie: the index of its header, and of its last key line.
struct SectionSpan {
  size_t header = 0;
  size_t lastKey = 0;
  std::optional<size_t> key;  // the first line naming the key, if any
};

// Only the first section of that name is looked at, for reads and writes alike,
// so that a value just written is the value read back.
std::optional<SectionSpan> findSection(const std::vector<Line>& lines,
                                       std::string_view section, std::string_view key) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != Kind::Section || !sameName(lines[i].name, section)) continue;
    SectionSpan span{i, i, std::nullopt};
    for (size_t j = i + 1; j < lines.size() && lines[j].kind != Kind::Section; ++j) {
      if (lines[j].kind != Kind::Key) continue;
      span.lastKey = j;
      if (!span.key && sameName(lines[j].name, key)) span.key = j;
    }
    return span;
  }
  return std::nullopt;
}

std::string decodeValue(std::string_view raw) {
  if (raw.size() > 1 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
    raw = raw.substr(1, raw.size() - 2);
  size_t nul = raw.find('\0');
  if (nul != std::string_view::npos) raw = raw.substr(0, nul);
  return std::string(raw);
}

// Quotes a value that a reader would otherwise change (surrounding blanks, or a
// pair of enclosing quotes of its own), so that every value reads back as written.
// A Windows profile reader strips the added quotes in the same way.
std::string encodeValue(std::string_view value) {
  bool blanks = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
  bool quoted = value.size() > 1 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front();
  if (blanks || quoted) return "\"" + std::string(value) + "\"";
  return std::string(value);
}

bool hasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool acceptable(std::string_view section, std::string_view key, std::string_view value) {
  if (hasLineBreakOrNul(section) || hasLineBreakOrNul(key) || hasLineBreakOrNul(value))
    return false;
  if (section.find(']') != std::string_view::npos) return false;
  std::string_view k = trim(key);
  if (k.find('=') != std::string_view::npos) return false;
  if (!k.empty() && (k.front() == ';' || k.front() == '[')) return false;
  return true;
}

bool endsWithLineBreak(std::string_view s) {
  return !s.empty() && (s.back() == '\n' || s.back() == '\r');
}

std::optional<std::string> readWhole(const std::filesystem::path& file) {
  std::FILE* f = std::fopen(file.c_str(), "rbe");
  if (!f) {
    if (errno == ENOENT) return std::string();
    return std::nullopt;
  }
  std::string data;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  bool failed = std::ferror(f);
  std::fclose(f);
  if (failed) return std::nullopt;
  return data;
}

// Holds an exclusive flock on a folder. A bounded wait: a writer that never lets go
// makes this write fail rather than hang the program.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& dir) {
    fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) ||
          std::chrono::steady_clock::now() > deadline) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(size_t(n));
  }
  return true;
}

bool replaceFile(const std::filesystem::path& file, std::string_view contents) {
  std::string tmpl = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
  int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // Keep the old file's permissions; a new file gets the usual ones under the umask.
  struct stat st {};
  mode_t mode;
  if (::stat(file.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, contents) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmpl.c_str(), file.c_str()) == 0;
  if (!ok) ::unlink(tmpl.c_str());
  return ok;
}

}  // namespace

std::optional<std::string> findProfileValue(std::string_view contents, std::string_view section,
                                            std::string_view key) {
  std::vector<Line> lines = splitLines(contents);
  auto span = findSection(lines, section, key);
  if (!span || !span->key) return std::nullopt;
  const Line& line = lines[*span->key];
  if (!line.value) return std::nullopt;
  return decodeValue(*line.value);
}

int parseProfileInt(std::string_view value, int def) {
  if (value.empty()) return def;
  size_t i = 0;
  while (i < value.size() && isBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  std::uint32_t acc = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
    acc = acc * 10u + std::uint32_t(value[i] - '0');
  if (negative) acc = 0u - acc;
  return static_cast<std::int32_t>(acc);
}

std::optional<std::string> applyProfileWrite(std::string_view contents, std::string_view section,
                                             std::string_view key, std::string_view value) {
  if (!acceptable(section, key, value)) return std::nullopt;
  std::vector<Line> lines = splitLines(contents);
  std::string entry = std::string(trim(key)) + "=" + encodeValue(value);
  std::string out;
  out.reserve(contents.size() + entry.size() + section.size() + 8);

  auto span = findSection(lines, section, key);
  if (!span) {
    out.append(contents);
    if (!contents.empty() && !endsWithLineBreak(contents)) out += "\r\n";
    out += "[" + std::string(section) + "]\r\n" + entry + "\r\n";
    return out;
  }
  if (span->key) {
    // Replace the line's text, keeping its indentation, the key's spelling and its line end.
    const Line& line = lines[*span->key];
    std::string_view text = contents.substr(line.begin, line.end - line.begin);
    size_t indent = 0;
    while (indent < text.size() && isBlank(text[indent])) ++indent;
    out.append(contents.substr(0, line.begin + indent));
    out.append(line.name);
    out += "=" + encodeValue(value);
    out.append(contents.substr(line.end));
    return out;
  }
  // A new key goes right after the section's last key line (or its header), so
  // blank lines and comments that lead into the next section stay where they are.
  const Line& after = lines[span->lastKey];
  out.append(contents.substr(0, after.next));
  if (after.next == after.end) out += "\r\n";  // that line had no line end
  out += entry + "\r\n";
  out.append(contents.substr(after.next));
  return out;
}

int profileInt(std::string_view section, std::string_view key, int def,
               const std::filesystem::path& file) {
  auto contents = readWhole(file);
  if (!contents) return def;
  auto value = findProfileValue(*contents, section, key);
  if (!value) return def;
  return parseProfileInt(*value, def);
}

std::string profileString(std::string_view section, std::string_view key, std::string_view def,
                          const std::filesystem::path& file) {
  auto contents = readWhole(file);
  if (!contents) return std::string(def);
  auto value = findProfileValue(*contents, section, key);
  if (!value || value->empty()) return std::string(def);
  return *value;
}

bool writeProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::filesystem::path& file) {
  if (!acceptable(section, key, value) || file.empty()) return false;
  std::error_code ec;
  // Write through a symbolic link to the file it names rather than replacing the link.
  std::filesystem::path target = file;
  if (std::filesystem::is_symlink(file, ec)) {
    target = std::filesystem::weakly_canonical(file, ec);
    if (ec) return false;
  }
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  if (!std::filesystem::exists(dir, ec)) {
    std::filesystem::create_directories(dir, ec);
    if (ec) return false;
  }
  FolderLock lock(dir);
  if (!lock.held()) return false;
  auto contents = readWhole(target);
  if (!contents) return false;
  auto updated = applyProfileWrite(*contents, section, key, value);
  if (!updated) return false;
  if (*updated == *contents && std::filesystem::exists(target, ec)) return true;
  return replaceFile(target, *updated);
}

}  // namespace korvane::settings
