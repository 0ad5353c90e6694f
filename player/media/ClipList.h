// SPDX-License-Identifier: MIT
// Source texts, playlist files and folder stepping: what the engine loads for a source,
// kept free of libmpv and Qt so it can be tested on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::media {

// The path after "file://", exactly as given; nullopt when `url` is not a file source.
std::optional<std::string> pathFromFileUrl(std::string_view url);

// The argument for loadfile that names exactly `path`: libmpv reads "-" as stdin, and
// "x://" or "--x" as a protocol or option, so a relative path is anchored with "./".
std::string loadArgument(const std::string& path);

enum class PlaylistKind { None, M3u, Pls, Ram };
// By extension, regardless of case.
PlaylistKind playlistKindOf(std::string_view path);

// The entries of a playlist file's text, as load arguments. Relative entries are taken
// from `baseDir` (the playlist's folder, "" for the current one). URLs pass as written,
// except that a .ram "file://" entry is a raw path, like our own source texts.
std::vector<std::string> parsePlaylist(std::string_view text, PlaylistKind kind,
                                       const std::string& baseDir);

// True when the file name has an extension we treat as a clip in folder stepping.
bool isMediaFileName(std::string_view name);

// "clip 2" before "clip 10": digit runs compare by value, the rest without case.
// Returns <0, 0 or >0.
int naturalCompare(std::string_view a, std::string_view b);

// The clip `step` places after (negative: before) `path` among the media files of its
// folder in natural order; nullopt past either end. The result keeps the folder text of
// `path` as written.
std::optional<std::string> stepInFolder(const std::string& path, int step);

}  // namespace korvane::media
