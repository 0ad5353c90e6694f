// SPDX-License-Identifier: MIT
// The wire format between instances and the names of their sockets. Every message is
// one line of compact JSON (strings escape line breaks), versioned and length-limited,
// because any local process of the same user can connect and send anything.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace korvane::platform::protocol {

inline constexpr int kVersion = 1;
inline constexpr qsizetype kMaxRequest = 256;        // bytes, line break included
inline constexpr qsizetype kMaxAnswer = 64 * 1024;   // bytes, line break included
inline constexpr qsizetype kMaxText = 4096;          // UTF-16 units of a caption or title

enum class Request { Info, Close };

struct Identity {
  QString program;
  qint64 pid = 0;
  qint64 startedNs = 0;
};

struct Info {
  Identity id;
  QString caption;
  QString appTitle;
};

// Each encoder returns a whole line, '\n' included; each decoder takes a line without it
// and returns nullopt for anything malformed or of another version.
QByteArray encodeRequest(Request request);
std::optional<Request> decodeRequest(QByteArrayView line);

QByteArray encodeInfo(const Info& info);
std::optional<Info> decodeInfo(QByteArrayView line);

QByteArray encodeClosed(bool closed);
std::optional<bool> decodeClosed(QByteArrayView line);

QByteArray encodeError();

// A program name is 1 to 64 of [A-Za-z0-9_-]: it is part of a file name and has no dots.
bool isValidProgramName(const QString& program);

// "<program>.<pid>.<startedNs>.sock": unique per process and publication, and readable
// without connecting, so a lookup by program name costs no round trip.
QString entryFileName(const Identity& id);
std::optional<Identity> parseEntryFileName(const QString& fileName);

}  // namespace korvane::platform::protocol
