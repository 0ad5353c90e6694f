// SPDX-License-Identifier: MIT
// Source texts, playlist files and folder stepping.
#include "player/media/ClipList.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace korvane::media {
namespace {

constexpr std::string_view kFileScheme = "file://";

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string extensionOf(std::string_view name) {
  const auto slash = name.rfind('/');
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(name.substr(dot + 1));
  std::transform(ext.begin(), ext.end(), ext.begin(), lower);
  return ext;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// "scheme://..." with a scheme of letters, digits, '+', '-', '.'.
bool isUrl(std::string_view s) {
  const auto pos = s.find("://");
  if (pos == std::string_view::npos || pos == 0 || !std::isalpha(static_cast<unsigned char>(s[0])))
    return false;
  return std::all_of(s.begin(), s.begin() + pos, [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

std::string entryArgument(std::string_view entry, PlaylistKind kind, const std::string& baseDir) {
  if (kind == PlaylistKind::Ram && entry.substr(0, kFileScheme.size()) == kFileScheme) {
    std::string path(entry.substr(kFileScheme.size()));
    return path.empty() || path.front() == '/' ? path : loadArgument(baseDir + path);
  }
  if (isUrl(entry) || entry.front() == '/') return std::string(entry);
  return loadArgument(baseDir + std::string(entry));
}

}  // namespace

std::optional<std::string> pathFromFileUrl(std::string_view url) {
  if (url.substr(0, kFileScheme.size()) != kFileScheme) return std::nullopt;
  return std::string(url.substr(kFileScheme.size()));
}

std::string loadArgument(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  return "./" + path;
}

PlaylistKind playlistKindOf(std::string_view path) {
  const std::string ext = extensionOf(path);
  if (ext == "m3u" || ext == "m3u8") return PlaylistKind::M3u;
  if (ext == "pls") return PlaylistKind::Pls;
  if (ext == "ram") return PlaylistKind::Ram;
  return PlaylistKind::None;
}

std::vector<std::string> parsePlaylist(std::string_view text, PlaylistKind kind,
                                       const std::string& baseDir) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::string base = baseDir;
  if (!base.empty() && base.back() != '/') base += '/';
  std::vector<std::string> entries;
  while (!text.empty()) {
    const auto end = text.find_first_of("\r\n");
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty()) continue;
    if (kind == PlaylistKind::Pls) {
      // FileN=entry; every other key and the section header are ignored.
      const auto eq = line.find('=');
      if (eq == std::string_view::npos) continue;
      const std::string_view name = trim(line.substr(0, eq));
      std::string key(name.substr(0, 4));
      std::transform(key.begin(), key.end(), key.begin(), lower);
      const auto digits = name.substr(std::min<std::size_t>(4, name.size()));
      if (key != "file" || digits.empty() ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        continue;
      line = trim(line.substr(eq + 1));
      if (line.empty()) continue;
    } else if (line.front() == '#') {
      continue;
    }
    entries.push_back(entryArgument(line, kind, base));
  }
  return entries;
}

bool isMediaFileName(std::string_view name) {
  static constexpr std::array<std::string_view, 40> kExtensions = {
      "3gp", "aac", "ac3", "aif", "aiff", "ape", "asf", "avi", "divx", "dts", "f4v", "flac", "flv", "m2ts",
      "m4a", "m4v", "mka", "mkv", "mov", "mp2", "mp3", "mp4", "mpeg", "mpg", "mts", "oga", "ogg", "ogv",
      "opus", "ra", "rm", "rmvb", "rv", "ts", "vob", "wav", "webm", "wma", "wmv", "wv"};
  const std::string ext = extensionOf(name);
  return !ext.empty() && std::find(kExtensions.begin(), kExtensions.end(), ext) != kExtensions.end();
}

int naturalCompare(std::string_view a, std::string_view b) {
  const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      std::size_t ie = i, je = j;
      while (ie < a.size() && isDigit(a[ie])) ++ie;
      while (je < b.size() && isDigit(b[je])) ++je;
      // Compare by value without converting, so any length of digits works.
      std::size_t is = i, js = j;
      while (is + 1 < ie && a[is] == '0') ++is;
      while (js + 1 < je && b[js] == '0') ++js;
      if (ie - is != je - js) return ie - is < je - js ? -1 : 1;
      if (const int c = a.substr(is, ie - is).compare(b.substr(js, je - js)); c != 0) return c < 0 ? -1 : 1;
      i = ie;
      j = je;
      continue;
    }
    const char ca = lower(a[i]), cb = lower(b[j]);
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  // Equal apart from case or leading zeros: fall back to bytes for a total order.
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::optional<std::string> stepInFolder(const std::string& path, int step) {
  const auto slash = path.rfind('/');
  const std::string prefix = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return std::nullopt;

  std::vector<std::string> names;
  std::error_code ec;
  const std::filesystem::path dir = prefix.empty() ? std::filesystem::path(".") : std::filesystem::path(prefix);
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    const std::string entry = it->path().filename().string();
    if (entry != name && isMediaFileName(entry) && it->is_regular_file(typeError)) names.push_back(entry);
  }
  // The current clip belongs to the list even when its extension is not one of ours.
  names.push_back(name);
  std::sort(names.begin(), names.end(),
            [](const std::string& x, const std::string& y) { return naturalCompare(x, y) < 0; });
  const auto here = std::find(names.begin(), names.end(), name) - names.begin();
  const auto target = here + static_cast<std::ptrdiff_t>(step);
  if (target < 0 || target >= static_cast<std::ptrdiff_t>(names.size()) || target == here) return std::nullopt;
  return prefix + names[static_cast<std::size_t>(target)];
}

}  // namespace korvane::media
