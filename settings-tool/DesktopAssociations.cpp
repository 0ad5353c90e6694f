// SPDX-License-Identifier: MIT
// The freedesktop side of the associations: desktop entries, mimeapps.list, the MIME
// package, and the record of what we wrote there.
#include "DesktopAssociations.h"

#include "MimeAppsList.h"
#include "ToolPaths.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <map>
#include <set>

namespace korvane::tool {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kDefaultGroup = "Default Applications";
constexpr std::string_view kAddedGroup = "Added Associations";

struct Entry {
  std::string fileType;
  std::string command;
  std::string iconPath;
  std::vector<std::string> mimeTypes;
};

// What the store asks for.
struct Wanted {
  std::map<std::string, Entry> entries;        // by desktop ID
  std::map<std::string, std::string> defaults;  // MIME type -> desktop ID
  std::map<std::string, std::string> ownTypes;  // MIME type -> glob
};

std::optional<std::string> readFile(const fs::path& file) {
  QFile f(QString::fromStdString(file.string()));
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  return f.readAll().toStdString();
}

bool writeFile(const fs::path& link, std::string_view data, QFileDevice::Permissions perms = {}) {
  std::error_code ec;
  // A mimeapps.list kept elsewhere and linked in stays linked: write where it points.
  fs::path file = link;
  if (fs::is_symlink(fs::symlink_status(link, ec))) {
    file = fs::weakly_canonical(link, ec);
    if (ec) return false;
  }
  fs::create_directories(file.parent_path(), ec);
  QSaveFile f(QString::fromStdString(file.string()));
  if (!f.open(QIODevice::WriteOnly)) return false;
  f.write(data.data(), qint64(data.size()));
  if (!f.commit()) return false;
  return !perms || QFile::setPermissions(QString::fromStdString(file.string()), perms);
}

std::string xmlEscaped(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string hexEscaped(std::string_view s, std::string_view keep) {
  std::string out;
  static const char* hex = "0123456789abcdef";
  for (unsigned char c : s) {
    char l = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : char(c);
    if ((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || keep.find(l) != std::string_view::npos) {
      out += l;
    } else {
      out += '_';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// The MIME type the system gives "*<extKey>", or one of ours when it knows none.
std::string mimeTypeFor(const std::string& extKey, bool* own) {
  QMimeDatabase db;
  QMimeType t = db.mimeTypeForFile(QString::fromStdString("file" + extKey), QMimeDatabase::MatchExtension);
  std::string name = t.name().toStdString();
  *own = !t.isValid() || t.isDefault() || name.rfind(kOwnMimePrefix, 0) == 0;
  if (*own) return std::string(kOwnMimePrefix) + hexEscaped(extKey.substr(1), "-.+");
  return name;
}

Wanted wantedBy(const ClassesRoot& store) {
  Wanted w;
  for (const std::string& key : store.rootKeys()) {
    if (key.size() < 2 || key.front() != '.') continue;
    auto type = store.defaultValue(key);
    if (!type || type->empty()) continue;
    auto command = store.defaultValue(*type + "\\Shell\\Open\\Command");
    if (!command || command->empty()) continue;
    bool own = false;
    std::string mime = mimeTypeFor(key, &own);
    if (own) w.ownTypes[mime] = "*" + key;
    std::string id = desktopIdFor(*type);
    Entry& e = w.entries[id];
    e.fileType = *type;
    e.command = *command;
    e.iconPath = store.defaultValue(*type + "\\DefaultIcon").value_or("");
    e.mimeTypes.push_back(mime);
    w.defaults[mime] = id;
  }
  return w;
}

std::string ownPackage(const std::map<std::string, std::string>& types) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- Written by KorvaneRP3set for extensions the system does not know. -->\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const auto& [type, glob] : types) {
    xml += "  <mime-type type=\"" + xmlEscaped(type) + "\">\n";
    xml += "    <comment>" + xmlEscaped(glob.substr(2)) + " file</comment>\n";
    xml += "    <glob pattern=\"" + xmlEscaped(glob) + "\"/>\n";
    xml += "  </mime-type>\n";
  }
  xml += "</mime-info>\n";
  return xml;
}

void updateMimeDatabase(const fs::path& mimeDir) {
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p.setStandardOutputFile(QProcess::nullDevice());
  p.start(QStringLiteral("update-mime-database"), {QString::fromStdString(mimeDir.string())});
  if (!p.waitForFinished(60000)) p.kill();
}

// The icon of a file type ("path" or "path,index") as a PNG for the desktop entry.
bool writeIconPng(const std::string& iconPath, const fs::path& png) {
  std::string path = iconPath;
  if (path.size() > 1 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  QImage image(QString::fromStdString(path));
  if (image.isNull()) {
    size_t comma = path.rfind(',');
    if (comma != std::string::npos) image = QImage(QString::fromStdString(path.substr(0, comma)));
  }
  if (image.isNull()) return false;
  std::error_code ec;
  fs::create_directories(png.parent_path(), ec);
  return image.save(QString::fromStdString(png.string()), "PNG");
}

std::string programName(const std::vector<std::string>& args, const std::string& fallback) {
  if (args.empty()) return fallback;
  fs::path p(args.front());
  std::string name = p.filename().string();
  return name.empty() ? fallback : name;
}

// The Exec value, and the launcher script when the program's words are not plain.
std::string execFor(const Entry& e, const fs::path& launcher, std::string* script) {
  std::vector<std::string> args = commandArguments(e.command);
  bool plain = !args.empty();
  bool hasFile = false;
  for (const std::string& a : args) {
    if (a == "%1") hasFile = true;
    else if (!plainWord(a)) plain = false;
  }
  std::string exec;
  if (plain) {
    for (const std::string& a : args) exec += (exec.empty() ? "" : " ") + (a == "%1" ? std::string("%f") : a);
    if (!hasFile) exec += " %f";
    return exec;
  }
  // xdg-open, outside the desktops it knows, splits Exec at blanks and never
  // unquotes; a script of ours with a plain path carries the program for it.
  *script = "#!/bin/sh\n# Opens a file of type " + e.fileType + " with its program; written by KorvaneRP3set.\nexec";
  for (const std::string& a : args) *script += " " + (a == "%1" ? std::string("\"$@\"") : shellQuoted(a));
  if (!hasFile) *script += " \"$@\"";
  *script += "\n";
  return execArgument(launcher.string()) + " %f";
}

struct Owned {
  std::string ours;
  std::optional<std::string> previous;
};

// What we wrote on the desktop, remembered between runs.
struct State {
  std::set<std::string> files;
  std::map<std::string, Owned> defaults;  // MIME type -> what we set, what was there
  std::map<std::string, Owned> added;
  std::set<std::string> groups;  // mimeapps.list groups we added
  bool createdMimeApps = false;
};

std::map<std::string, Owned> ownedFromJson(const QJsonObject& o) {
  std::map<std::string, Owned> out;
  for (auto it = o.begin(); it != o.end(); ++it) {
    QJsonObject v = it.value().toObject();
    Owned owned{v.value("ours").toString().toStdString(), std::nullopt};
    if (v.value("previous").isString()) owned.previous = v.value("previous").toString().toStdString();
    out[it.key().toStdString()] = owned;
  }
  return out;
}

QJsonObject ownedToJson(const std::map<std::string, Owned>& m) {
  QJsonObject o;
  for (const auto& [k, v] : m) {
    QJsonObject e{{"ours", QString::fromStdString(v.ours)}};
    e["previous"] = v.previous ? QJsonValue(QString::fromStdString(*v.previous)) : QJsonValue();
    o[QString::fromStdString(k)] = e;
  }
  return o;
}

State loadState(const fs::path& file) {
  State s;
  auto data = readFile(file);
  if (!data) return s;
  QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(*data)).object();
  for (const QJsonValue& v : o.value("files").toArray()) s.files.insert(v.toString().toStdString());
  for (const QJsonValue& v : o.value("groups").toArray()) s.groups.insert(v.toString().toStdString());
  s.defaults = ownedFromJson(o.value("defaults").toObject());
  s.added = ownedFromJson(o.value("added").toObject());
  s.createdMimeApps = o.value("createdMimeApps").toBool();
  return s;
}

void saveState(const fs::path& file, const State& s) {
  std::error_code ec;
  if (s.files.empty() && s.defaults.empty() && s.added.empty() && s.groups.empty() && !s.createdMimeApps) {
    fs::remove(file, ec);
    return;
  }
  QJsonArray files, groups;
  for (const auto& f : s.files) files.append(QString::fromStdString(f));
  for (const auto& g : s.groups) groups.append(QString::fromStdString(g));
  QJsonObject o{{"files", files},
                {"groups", groups},
                {"defaults", ownedToJson(s.defaults)},
                {"added", ownedToJson(s.added)},
                {"createdMimeApps", s.createdMimeApps}};
  writeFile(file, QJsonDocument(o).toJson().toStdString());
}

// Sets group/key to `value`, remembering what was there the first time.
void take(std::string& text, State& s, std::map<std::string, Owned>& owned, std::string_view group,
          const std::string& mime, const std::string& value) {
  auto current = keyfile::value(text, group, mime);
  if (current == value) {
    if (auto it = owned.find(mime); it != owned.end()) it->second.ours = value;
    return;
  }
  if (!keyfile::hasGroup(text, group)) s.groups.insert(std::string(group));
  auto it = owned.find(mime);
  if (it == owned.end()) owned[mime] = Owned{value, current};
  else it->second.ours = value;
  text = keyfile::setValue(text, group, mime, value);
}

// Gives group/key back: the previous line when ours is still there, else only our
// ID leaves a list that someone changed since.
void giveBack(std::string& text, std::string_view group, const std::string& mime, const Owned& o,
              const std::string& id) {
  auto current = keyfile::value(text, group, mime);
  if (!current) return;
  if (*current == o.ours) {
    text = o.previous ? keyfile::setValue(text, group, mime, *o.previous)
                      : keyfile::removeKey(text, group, mime);
  } else if (group == kAddedGroup) {
    std::string rest = keyfile::without(*current, id);
    if (rest != keyfile::without(*current, "")) {
      text = rest.empty() ? keyfile::removeKey(text, group, mime) : keyfile::setValue(text, group, mime, rest);
    }
  }
}

std::string idOf(const Owned& o) {
  std::string v = o.ours;
  size_t semi = v.find(';');
  return semi == std::string::npos ? v : v.substr(0, semi);
}

}  // namespace

DesktopFolders desktopFolders() { return {dataHome(), configHome()}; }

std::string desktopIdFor(std::string_view fileType) {
  return "korvane-rp3-" + hexEscaped(fileType, "-") + ".desktop";
}

std::vector<std::string> commandArguments(std::string_view command) {
  constexpr std::string_view kOurTail = "\" \"%1\"";
  if (command.size() > kOurTail.size() + 1 && command.front() == '"' &&
      command.substr(command.size() - kOurTail.size()) == kOurTail)
    return {std::string(command.substr(1, command.size() - 1 - kOurTail.size())), "%1"};
  std::vector<std::string> args;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) args.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) args.push_back(cur);
  return args;
}

bool plainWord(std::string_view word) {
  if (word.empty()) return false;
  for (char c : word) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              std::string_view("/._+,:@=-").find(c) != std::string_view::npos;
    if (!ok) return false;
  }
  return true;
}

std::string execArgument(std::string_view arg) {
  std::string out;
  bool quote = !plainWord(arg);
  if (quote) out += '"';
  for (char c : arg) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

std::string desktopString(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string shellQuoted(std::string_view word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

void followStoreOnDesktop(const ClassesRoot& store, const DesktopFolders& folders) {
  const fs::path ourData = folders.dataHome / "korvane-rp3";
  const fs::path stateFile = ourData / "desktop.json";
  const fs::path package = folders.dataHome / "mime" / "packages" / "korvane-rp3.xml";
  const fs::path mimeApps = folders.configHome / "mimeapps.list";
  std::error_code ec;

  State state = loadState(stateFile);
  Wanted wanted = wantedBy(store);

  // The MIME package first, so that the desktop knows our types when it meets them.
  auto oldPackage = readFile(package);
  if (wanted.ownTypes.empty()) {
    if (oldPackage) {
      fs::remove(package, ec);
      updateMimeDatabase(folders.dataHome / "mime");
    }
  } else {
    std::string xml = ownPackage(wanted.ownTypes);
    if (oldPackage != xml) {
      writeFile(package, xml);
      updateMimeDatabase(folders.dataHome / "mime");
    }
  }

  // Desktop entries, their icons and launchers.
  std::set<std::string> files;
  for (const auto& [id, e] : wanted.entries) {
    const std::string stem = id.substr(0, id.size() - 8);
    const fs::path desktop = folders.dataHome / "applications" / id;
    const fs::path launcher = ourData / "launchers" / stem;
    const fs::path png = ourData / "icons" / (stem + ".png");
    std::string script;
    std::string exec = execFor(e, launcher, &script);
    if (!script.empty()) {
      writeFile(launcher, script,
                QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                    QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                    QFileDevice::ExeOther);
      files.insert(launcher.string());
    }
    std::string text = "[Desktop Entry]\nType=Application\n";
    text += "Name=" + desktopString(programName(commandArguments(e.command), e.fileType)) + "\n";
    text += "Comment=" + desktopString(e.fileType) + "\n";
    text += "Exec=" + desktopString(exec) + "\n";
    if (!e.iconPath.empty() && writeIconPng(e.iconPath, png)) {
      text += "Icon=" + desktopString(png.string()) + "\n";
      files.insert(png.string());
    }
    text += "MimeType=";
    for (const std::string& m : e.mimeTypes) text += m + ";";
    text += "\nNoDisplay=true\nTerminal=false\n";
    text += "X-Korvane-RP3-FileType=" + desktopString(e.fileType) + "\n";
    if (readFile(desktop) != text) writeFile(desktop, text);
    files.insert(desktop.string());
  }
  // Only files in our own places are removed, whatever the record says.
  auto ours = [&](const fs::path& f) {
    const fs::path dir = f.parent_path();
    return dir == ourData / "launchers" || dir == ourData / "icons" ||
           (dir == folders.dataHome / "applications" && f.filename().string().rfind("korvane-rp3-", 0) == 0);
  };
  for (const std::string& f : state.files)
    if (!files.count(f) && ours(f)) fs::remove(f, ec);
  state.files = files;

  // mimeapps.list: give back what is no longer wanted, then take what is.
  auto original = readFile(mimeApps);
  std::string text = original.value_or("");
  for (auto it = state.defaults.begin(); it != state.defaults.end();) {
    auto w = wanted.defaults.find(it->first);
    if (w != wanted.defaults.end() && w->second == it->second.ours) {
      ++it;
      continue;
    }
    giveBack(text, kDefaultGroup, it->first, it->second, it->second.ours);
    it = state.defaults.erase(it);
  }
  for (auto it = state.added.begin(); it != state.added.end();) {
    auto w = wanted.defaults.find(it->first);
    if (w != wanted.defaults.end() && w->second == idOf(it->second)) {
      ++it;
      continue;
    }
    giveBack(text, kAddedGroup, it->first, it->second, idOf(it->second));
    it = state.added.erase(it);
  }
  for (const auto& [mime, id] : wanted.defaults) {
    take(text, state, state.defaults, kDefaultGroup, mime, id);
    auto current = keyfile::value(text, kAddedGroup, mime);
    if (!current || current->rfind(id + ";", 0) != 0)
      take(text, state, state.added, kAddedGroup, mime, keyfile::withFirst(current.value_or(""), id));
  }
  for (auto it = state.groups.begin(); it != state.groups.end();) {
    if (keyfile::hasGroup(text, *it) && keyfile::groupHasKeys(text, *it)) {
      ++it;
      continue;
    }
    text = keyfile::removeGroup(text, *it);
    it = state.groups.erase(it);
  }
  if (!original && !text.empty()) state.createdMimeApps = true;
  if (text != original.value_or("")) {
    if (text.empty() && state.createdMimeApps) {
      fs::remove(mimeApps, ec);
      state.createdMimeApps = false;
    } else {
      writeFile(mimeApps, text);
    }
  } else if (text.empty() && original && state.createdMimeApps) {
    fs::remove(mimeApps, ec);
    state.createdMimeApps = false;
  }
  saveState(stateFile, state);
}

}  // namespace korvane::tool
