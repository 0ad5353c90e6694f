// SPDX-License-Identifier: MIT
// Reading and writing the REGEDIT4 text of the classes-root store.
#include "ClassesRoot.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace korvane::tool {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    size_t end = text.find_first_of("\r\n");
    if (end == std::string_view::npos) {
      out.push_back(text);
      break;
    }
    out.push_back(text.substr(0, end));
    size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    text.remove_prefix(next);
  }
  return out;
}

// A string value the format cannot carry in quotes (line breaks and other control
// characters) is written as its bytes, hex(1), NUL included, as regedit does.
bool needsHex(std::string_view v) {
  for (unsigned char c : v)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

std::string valueText(std::string_view v) {
  std::string out;
  if (needsHex(v)) {
    out = "hex(1):";
    char buf[4];
    for (unsigned char c : v) {
      std::snprintf(buf, sizeof buf, "%02x,", c);
      out += buf;
    }
    out += "00";
    return out;
  }
  out = "\"";
  for (char c : v) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::optional<std::string> parseQuoted(std::string_view s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += s[++i];
    } else if (s[i] == '"') {
      return out;
    } else {
      out += s[i];
    }
  }
  return std::nullopt;
}

std::optional<std::string> parseHexString(std::string_view s) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ',' || s[i] == ' ' || s[i] == '\\' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    if (i + 1 >= s.size()) return std::nullopt;
    unsigned value = 0;
    if (std::sscanf(std::string(s.substr(i, 2)).c_str(), "%2x", &value) != 1) return std::nullopt;
    out += char(value);
    i += 2;
  }
  // REG_SZ data carries its terminating NUL.
  size_t nul = out.find('\0');
  if (nul != std::string::npos) out.resize(nul);
  return out;
}

std::vector<std::string_view> levels(std::string_view path) {
  std::vector<std::string_view> out;
  while (true) {
    size_t sep = path.find('\\');
    out.push_back(path.substr(0, sep));
    if (sep == std::string_view::npos) break;
    path.remove_prefix(sep + 1);
  }
  return out;
}

}  // namespace

bool ClassesRoot::PathLess::operator()(const std::string& a, const std::string& b) const {
  // Level by level, so that a key's subkeys follow it directly.
  size_t i = 0;
  while (i < a.size() && i < b.size()) {
    char ca = a[i] == '\\' ? '\0' : lower(a[i]);
    char cb = b[i] == '\\' ? '\0' : lower(b[i]);
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
    ++i;
  }
  return a.size() < b.size();
}

ClassesRoot ClassesRoot::parse(std::string_view text) {
  ClassesRoot root;
  Key* current = nullptr;
  std::vector<std::string_view> all = lines(text);
  for (size_t n = 0; n < all.size(); ++n) {
    std::string_view line = trimmed(all[n]);
    if (line.empty() || line == kHeader || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      std::string_view name = line.substr(1, line.size() - 2);
      current = nullptr;
      if (name.size() > kRoot.size() && name.substr(0, kRoot.size()) == kRoot &&
          name[kRoot.size()] == '\\') {
        std::string path(name.substr(kRoot.size() + 1));
        root.createKey(path);
        auto it = root.keys_.find(path);
        if (it != root.keys_.end()) current = &it->second;
      }
      continue;
    }
    if (!current) continue;
    // A value may go on over lines that end in "\".
    std::string whole(line);
    while (!whole.empty() && whole.back() == '\\' && n + 1 < all.size() &&
           whole.find("=hex") != std::string::npos) {
      whole.pop_back();
      whole += trimmed(all[++n]);
    }
    if (whole.rfind("@=", 0) == 0) {
      std::string_view data = std::string_view(whole).substr(2);
      if (auto v = parseQuoted(data)) {
        current->defaultValue = *v;
      } else if (data.rfind("hex(1):", 0) == 0) {
        current->defaultValue = parseHexString(data.substr(7));
      }
    } else {
      current->otherLines.push_back(whole);
    }
  }
  return root;
}

ClassesRoot ClassesRoot::load(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream buf;
  buf << in.rdbuf();
  return parse(buf.str());
}

std::string ClassesRoot::text() const {
  std::string out = std::string(kHeader) + "\r\n\r\n";
  for (const auto& [_, key] : keys_) {
    out += "[" + std::string(kRoot) + "\\" + key.path + "]\r\n";
    if (key.defaultValue) out += "@=" + valueText(*key.defaultValue) + "\r\n";
    for (const std::string& l : key.otherLines) out += l + "\r\n";
    out += "\r\n";
  }
  return out;
}

bool ClassesRoot::save(const std::filesystem::path& file) const {
  std::error_code ec;
  if (keys_.empty()) {
    std::filesystem::remove(file, ec);
    return !ec;
  }
  std::filesystem::create_directories(file.parent_path(), ec);
  std::filesystem::path tmp = file;
  tmp += ".new." + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text();
    out.flush();
    if (!out) {
      std::filesystem::remove(tmp, ec);
      return false;
    }
  }
  std::filesystem::rename(tmp, file, ec);
  if (ec) std::filesystem::remove(tmp, ec);
  return !ec;
}

void ClassesRoot::createKey(std::string_view path) {
  if (path.empty()) return;
  std::string prefix;
  for (std::string_view level : levels(path)) {
    if (!prefix.empty()) prefix += '\\';
    prefix += level;
    if (keys_.find(prefix) == keys_.end()) keys_.emplace(prefix, Key{prefix, std::nullopt, {}});
  }
}

void ClassesRoot::setDefaultValue(std::string_view path, std::string_view value) {
  if (path.empty()) return;
  createKey(path);
  keys_.find(std::string(path))->second.defaultValue = std::string(value);
}

void ClassesRoot::deleteTree(std::string_view path) {
  auto it = keys_.find(std::string(path));
  if (it == keys_.end()) return;
  std::string childPrefix = it->first + "\\";
  auto end = std::next(it);
  // Subkeys sort right after their key; stop at the first that is not one.
  while (end != keys_.end() && end->first.size() > childPrefix.size() &&
         !PathLess()(end->first.substr(0, childPrefix.size()), childPrefix) &&
         !PathLess()(childPrefix, end->first.substr(0, childPrefix.size())))
    ++end;
  keys_.erase(it, end);
}

bool ClassesRoot::hasKey(std::string_view path) const {
  return keys_.find(std::string(path)) != keys_.end();
}

std::optional<std::string> ClassesRoot::defaultValue(std::string_view path) const {
  auto it = keys_.find(std::string(path));
  if (it == keys_.end()) return std::nullopt;
  return it->second.defaultValue;
}

std::vector<std::string> ClassesRoot::rootKeys() const {
  std::vector<std::string> out;
  for (const auto& [_, key] : keys_)
    if (key.path.find('\\') == std::string::npos) out.push_back(key.path);
  return out;
}

std::vector<std::string> ClassesRoot::keys() const {
  std::vector<std::string> out;
  for (const auto& [_, key] : keys_) out.push_back(key.path);
  return out;
}

}  // namespace korvane::tool
