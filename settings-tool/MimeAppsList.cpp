// SPDX-License-Identifier: MIT
#include "MimeAppsList.h"

#include <vector>

namespace korvane::tool::keyfile {
namespace {

struct Line {
  size_t begin, end, next;  // text is [begin, end); the following line starts at next
};

std::vector<Line> split(std::string_view text) {
  std::vector<Line> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) {
      out.push_back({pos, text.size(), text.size()});
      break;
    }
    out.push_back({pos, nl, nl + 1});
    pos = nl + 1;
  }
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<std::string_view> groupName(std::string_view line) {
  line = trim(line);
  if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
    return line.substr(1, line.size() - 2);
  return std::nullopt;
}

// The key line's name, or nullopt for blanks and comments.
std::optional<std::string_view> keyName(std::string_view line) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() == '#') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return trim(t.substr(0, eq));
}

struct GroupSpan {
  size_t header;            // line index of "[group]"
  size_t end;               // index of the next group's header, or the line count
  std::optional<size_t> lastKey;
  std::optional<size_t> key;
};

std::optional<GroupSpan> find(std::string_view text, const std::vector<Line>& lines,
                              std::string_view group, std::string_view key) {
  for (size_t i = 0; i < lines.size(); ++i) {
    auto g = groupName(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
    if (!g || *g != group) continue;
    GroupSpan span{i, lines.size(), std::nullopt, std::nullopt};
    for (size_t j = i + 1; j < lines.size(); ++j) {
      std::string_view l = text.substr(lines[j].begin, lines[j].end - lines[j].begin);
      if (groupName(l)) {
        span.end = j;
        break;
      }
      if (auto k = keyName(l)) {
        span.lastKey = j;
        if (!span.key && *k == key) span.key = j;
      }
    }
    return span;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> value(std::string_view text, std::string_view group,
                                 std::string_view key) {
  auto lines = split(text);
  auto span = find(text, lines, group, key);
  if (!span || !span->key) return std::nullopt;
  const Line& l = lines[*span->key];
  std::string_view t = text.substr(l.begin, l.end - l.begin);
  return std::string(trim(t.substr(t.find('=') + 1)));
}

std::string setValue(std::string_view text, std::string_view group, std::string_view key,
                     std::string_view val) {
  auto lines = split(text);
  auto span = find(text, lines, group, key);
  std::string out;
  std::string entry = std::string(key) + "=" + std::string(val);
  if (!span) {
    out = text;
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += "[" + std::string(group) + "]\n" + entry + "\n";
    return out;
  }
  if (span->key) {
    const Line& l = lines[*span->key];
    size_t eq = text.find('=', l.begin);
    out.append(text.substr(0, eq + 1));
    out.append(val);
    // Keep a CR of a CRLF line end.
    if (l.end > l.begin && text[l.end - 1] == '\r') out += '\r';
    out.append(text.substr(l.end));
    return out;
  }
  const Line& after = lines[span->lastKey.value_or(span->header)];
  out.append(text.substr(0, after.next));
  if (after.next == after.end) out += '\n';
  out += entry + "\n";
  out.append(text.substr(after.next));
  return out;
}

std::string removeKey(std::string_view text, std::string_view group, std::string_view key) {
  auto lines = split(text);
  auto span = find(text, lines, group, key);
  if (!span || !span->key) return std::string(text);
  const Line& l = lines[*span->key];
  return std::string(text.substr(0, l.begin)) + std::string(text.substr(l.next));
}

bool hasGroup(std::string_view text, std::string_view group) {
  auto lines = split(text);
  return find(text, lines, group, {}).has_value();
}

bool groupHasKeys(std::string_view text, std::string_view group) {
  auto lines = split(text);
  auto span = find(text, lines, group, {});
  return span && span->lastKey;
}

std::string removeGroup(std::string_view text, std::string_view group) {
  auto lines = split(text);
  auto span = find(text, lines, group, {});
  if (!span) return std::string(text);
  size_t from = lines[span->header].begin;
  size_t to = span->end < lines.size() ? lines[span->end].begin : text.size();
  return std::string(text.substr(0, from)) + std::string(text.substr(to));
}

std::string withFirst(std::string_view list, std::string_view item) {
  return std::string(item) + ";" + without(list, item);
}

std::string without(std::string_view list, std::string_view item) {
  std::string out;
  while (!list.empty()) {
    size_t semi = list.find(';');
    std::string_view part = list.substr(0, semi);
    if (!part.empty() && part != item) out += std::string(part) + ";";
    if (semi == std::string_view::npos) break;
    list.remove_prefix(semi + 1);
  }
  return out;
}

}  // namespace korvane::tool::keyfile
