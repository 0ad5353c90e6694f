// SPDX-License-Identifier: MIT
// Line edits of a key file such as mimeapps.list that leave every other byte as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane::tool::keyfile {

// The value of `key` in the first group named `group`; group and key names match
// exactly, as in the desktop's key files.
std::optional<std::string> value(std::string_view text, std::string_view group,
                                 std::string_view key);

// Sets `key` to `value`: an existing line gets the new value in place; a new line
// goes after the group's last key; a missing group is added at the end.
std::string setValue(std::string_view text, std::string_view group, std::string_view key,
                     std::string_view value);

// Removes the key's line, line end included; the text stays as it is without one.
std::string removeKey(std::string_view text, std::string_view group, std::string_view key);

// Whether the group exists, and whether it holds no key lines.
bool hasGroup(std::string_view text, std::string_view group);
bool groupHasKeys(std::string_view text, std::string_view group);

// Removes the group's header and every line up to the next group.
std::string removeGroup(std::string_view text, std::string_view group);

// A ";"-list value ("a.desktop;b.desktop;") with `item` first, or without it.
std::string withFirst(std::string_view list, std::string_view item);
std::string without(std::string_view list, std::string_view item);

}  // namespace korvane::tool::keyfile
