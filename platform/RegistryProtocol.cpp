// SPDX-License-Identifier: MIT
// Encoding and strict decoding of the instance registry's messages and entry names.
#include "RegistryProtocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace korvane::platform::protocol {
namespace {

QByteArray line(const QJsonObject& o) {
  return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

// Parses one line into an object of our version, or nothing.
std::optional<QJsonObject> parse(QByteArrayView line, qsizetype limit) {
  if (line.size() >= limit) return std::nullopt;
  QJsonParseError err{};
  const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray(), &err);
  if (err.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
  QJsonObject o = doc.object();
  const QJsonValue v = o.value(QLatin1String("v"));
  if (!v.isDouble() || v.toDouble() != kVersion) return std::nullopt;
  return o;
}

// 64-bit values travel as decimal strings: JSON numbers lose precision beyond 2^53.
std::optional<qint64> toInt64(const QJsonValue& v) {
  if (!v.isString()) return std::nullopt;
  bool ok = false;
  const qint64 n = v.toString().toLongLong(&ok);
  if (!ok || n < 0) return std::nullopt;
  return n;
}

}  // namespace

QByteArray encodeRequest(Request request) {
  return line({{"v", kVersion}, {"op", request == Request::Info ? "info" : "close"}});
}

std::optional<Request> decodeRequest(QByteArrayView text) {
  const auto o = parse(text, kMaxRequest);
  if (!o) return std::nullopt;
  const QJsonValue op = o->value(QLatin1String("op"));
  if (op.toString() == QLatin1String("info")) return Request::Info;
  if (op.toString() == QLatin1String("close")) return Request::Close;
  return std::nullopt;
}

QByteArray encodeInfo(const Info& info) {
  return line({{"v", kVersion},
               {"op", "info"},
               {"program", info.id.program},
               {"pid", QString::number(info.id.pid)},
               {"started", QString::number(info.id.startedNs)},
               {"caption", info.caption.left(kMaxText)},
               {"appTitle", info.appTitle.left(kMaxText)}});
}

std::optional<Info> decodeInfo(QByteArrayView text) {
  const auto o = parse(text, kMaxAnswer);
  if (!o || o->value(QLatin1String("op")).toString() != QLatin1String("info")) return std::nullopt;
  const QJsonValue program = o->value(QLatin1String("program"));
  const QJsonValue caption = o->value(QLatin1String("caption"));
  const QJsonValue appTitle = o->value(QLatin1String("appTitle"));
  const auto pid = toInt64(o->value(QLatin1String("pid")));
  const auto started = toInt64(o->value(QLatin1String("started")));
  if (!program.isString() || !caption.isString() || !appTitle.isString() || !pid || !started)
    return std::nullopt;
  return Info{{program.toString(), *pid, *started}, caption.toString(), appTitle.toString()};
}

QByteArray encodeClosed(bool closed) {
  return line({{"v", kVersion}, {"op", "close"}, {"closed", closed}});
}

std::optional<bool> decodeClosed(QByteArrayView text) {
  const auto o = parse(text, kMaxAnswer);
  if (!o || o->value(QLatin1String("op")).toString() != QLatin1String("close")) return std::nullopt;
  const QJsonValue closed = o->value(QLatin1String("closed"));
  if (!closed.isBool()) return std::nullopt;
  return closed.toBool();
}

QByteArray encodeError() {
  return line({{"v", kVersion}, {"error", "bad request"}});
}

bool isValidProgramName(const QString& program) {
  static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
  return re.match(program).hasMatch();
}

QString entryFileName(const Identity& id) {
  return QStringLiteral("%1.%2.%3.sock").arg(id.program).arg(id.pid).arg(id.startedNs);
}

std::optional<Identity> parseEntryFileName(const QString& fileName) {
  static const QRegularExpression re(
      QStringLiteral("^([A-Za-z0-9_-]{1,64})\\.([0-9]{1,10})\\.([0-9]{1,19})\\.sock$"));
  const auto m = re.match(fileName);
  if (!m.hasMatch()) return std::nullopt;
  bool okPid = false, okStart = false;
  Identity id{m.captured(1), m.captured(2).toLongLong(&okPid), m.captured(3).toLongLong(&okStart)};
  if (!okPid || !okStart) return std::nullopt;
  return id;
}

}  // namespace korvane::platform::protocol
