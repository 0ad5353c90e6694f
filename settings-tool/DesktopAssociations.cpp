// SPDX-License-Identifier: MIT
// The freedesktop side of the associations: our MIME types, desktop entries, the
// defaults in the user's mimeapps lists, and the record of what we wrote there.
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
#include <algorithm>
#include <map>
#include <set>

namespace korvane::tool {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kDefaultGroup = "Default Applications";
constexpr std::string_view kAddedGroup = "Added Associations";
constexpr std::string_view kOwnMimePrefix = "application/x-korvane-rp3-";
// Above the system's highest (80): the extension alone decides which program opens a file.
constexpr std::string_view kGlobWeight = "100";

struct Entry {
  std::string fileType;
  std::string command;
  std::string iconPath;
  std::vector<std::string> mimeTypes;
};

struct OwnType {
  std::string extKey;  // ".mpg"
  std::string parent;  // the type the system gives the extension, or empty
  std::string genericIcon;
};

// What the store asks for.
struct Wanted {
  std::map<std::string, Entry> entries;         // by desktop ID
  std::map<std::string, std::string> defaults;  // our MIME type -> desktop ID
  std::map<std::string, OwnType> types;
};

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

// Our MIME type for an extension key name (".mpg" -> application/x-korvane-rp3-mpg).
std::string ownMimeTypeFor(std::string_view extKey) {
  return std::string(kOwnMimePrefix) + hexEscaped(extKey.substr(1), "-.+");
}

bool isOwnType(const QString& name) {
  return name.startsWith(QString::fromUtf8(kOwnMimePrefix.data(), qsizetype(kOwnMimePrefix.size())));
}

// The type the system gives "*<extKey>" without our package: once our type is
// installed the system gives ours, whose parent is the answer.
OwnType systemTypeFor(const std::string& extKey) {
  QMimeDatabase db;
  QMimeType t = db.mimeTypeForFile(QString::fromStdString("file" + extKey), QMimeDatabase::MatchExtension);
  if (t.isValid() && isOwnType(t.name())) {
    const QStringList parents = t.parentMimeTypes();
    t = parents.isEmpty() ? QMimeType() : db.mimeTypeForName(parents.first());
  }
  if (!t.isValid() || t.isDefault()) return {extKey, {}, {}};
  return {extKey, t.name().toStdString(), t.genericIconName().toStdString()};
}

Wanted wantedBy(const ClassesRoot& store) {
  Wanted w;
  for (const std::string& key : store.rootKeys()) {
    if (key.size() < 2 || key.front() != '.') continue;
    auto type = store.defaultValue(key);
    if (!type || type->empty()) continue;
    auto command = store.defaultValue(*type + "\\Shell\\Open\\Command");
    if (!command || command->empty()) continue;
    const std::string mime = ownMimeTypeFor(key);
    w.types[mime] = systemTypeFor(key);
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

std::string ownPackage(const std::map<std::string, OwnType>& types) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- Written by KorvaneRP3set: one type per associated extension. -->\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const auto& [type, t] : types) {
    xml += "  <mime-type type=\"" + xmlEscaped(type) + "\">\n";
    xml += "    <comment>" + xmlEscaped(t.extKey.substr(1)) + " file</comment>\n";
    // Other programs go on treating the files as the type they were.
    if (!t.parent.empty()) xml += "    <sub-class-of type=\"" + xmlEscaped(t.parent) + "\"/>\n";
    if (!t.genericIcon.empty()) xml += "    <generic-icon name=\"" + xmlEscaped(t.genericIcon) + "\"/>\n";
    xml += "    <glob pattern=\"*" + xmlEscaped(t.extKey) + "\" weight=\"" + std::string(kGlobWeight) +
           "\"/>\n";
    xml += "  </mime-type>\n";
  }
  xml += "</mime-info>\n";
  return xml;
}

bool updateMimeDatabase(const fs::path& mimeDir) {
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p.setStandardOutputFile(QProcess::nullDevice());
  p.start(QStringLiteral("update-mime-database"), {QString::fromStdString(mimeDir.string())});
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
    return false;
  }
  return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

std::set<std::string> entriesOf(const fs::path& dir) {
  std::set<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) out.insert(e.path().filename().string());
  return out;
}

// After our package came or went: the database generated again, or, when no package
// is left and the folder held no database before us, none of what it generated.
bool settleMimeDatabase(const fs::path& mimeDir, const std::optional<std::set<std::string>>& before) {
  std::error_code ec;
  if (!fs::exists(mimeDir, ec)) return true;
  const bool packagesLeft = !entriesOf(mimeDir / "packages").empty();
  if (packagesLeft || !before || before->count("mime.cache")) return updateMimeDatabase(mimeDir);
  for (const std::string& name : entriesOf(mimeDir))
    if (!before->count(name)) fs::remove_all(mimeDir / name, ec);
  return !ec;
}

bool put(RunJournal& journal, const fs::path& file, const std::string& data,
         QFileDevice::Permissions perms = {}) {
  const fs::path target = journal.keep(file);
  if (!journal.makeDirs(target.parent_path()) || !writeWholeFile(target, data)) return false;
  return !perms || QFile::setPermissions(QString::fromStdString(target.string()), perms);
}

bool drop(RunJournal& journal, const fs::path& file) {
  journal.keep(file);
  std::error_code ec;
  fs::remove(file, ec);
  return !ec;
}

// The icon of a file type ("path" or "path,index") as a PNG for the desktop entry.
bool writeIconPng(const std::string& iconPath, const fs::path& png, RunJournal& journal) {
  std::string path = iconPath;
  if (path.size() > 1 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  QImage image(QString::fromStdString(path));
  if (image.isNull()) {
    size_t comma = path.rfind(',');
    if (comma != std::string::npos) image = QImage(QString::fromStdString(path.substr(0, comma)));
  }
  if (image.isNull()) return false;
  journal.keep(png);
  return journal.makeDirs(png.parent_path()) && image.save(QString::fromStdString(png.string()), "PNG");
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
  // When the script's own path is not plain either, a plain first word keeps the
  // entry usable there: xdg-mime looks the first word up on PATH, and the openers
  // that read the entry whole unquote the rest.
  if (plainWord(launcher.string())) return launcher.string() + " %f";
  return "sh " + execArgument(launcher.string()) + " %f";
}

struct Owned {
  std::string ours;
  std::optional<std::string> previous;
};

// What we hold in one mimeapps list.
struct ListState {
  std::map<std::string, Owned> defaults;  // MIME type -> what we set, what was there
  std::map<std::string, Owned> added;     // only earlier versions wrote these; given back
  std::set<std::string> groups;           // groups we added
  bool created = false;                   // the list did not exist before us
  bool empty() const { return defaults.empty() && added.empty() && groups.empty() && !created; }
};

// What we wrote on the desktop, remembered between runs.
struct State {
  std::set<std::string> files;
  std::set<std::string> dirs;  // folders we created
  // The MIME folder's entries before our package first came; none when it is not there.
  std::optional<std::set<std::string>> mimeBefore;
  std::map<std::string, ListState> lists;  // by path
  bool empty() const { return files.empty() && lists.empty() && !mimeBefore; }
};

std::set<std::string> stringSet(const QJsonValue& v) {
  std::set<std::string> out;
  for (const QJsonValue& s : v.toArray()) out.insert(s.toString().toStdString());
  return out;
}

QJsonArray jsonArray(const std::set<std::string>& s) {
  QJsonArray out;
  for (const auto& v : s) out.append(QString::fromStdString(v));
  return out;
}

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

ListState listFromJson(const QJsonObject& o) {
  return {ownedFromJson(o.value("defaults").toObject()), ownedFromJson(o.value("added").toObject()),
          stringSet(o.value("groups")), o.value("created").toBool()};
}

State loadState(const fs::path& file, const fs::path& mainList) {
  State s;
  auto data = readWholeFile(file);
  if (!data) return s;
  QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(*data)).object();
  s.files = stringSet(o.value("files"));
  s.dirs = stringSet(o.value("dirs"));
  if (o.value("mimeBefore").isArray()) s.mimeBefore = stringSet(o.value("mimeBefore"));
  const QJsonObject lists = o.value("lists").toObject();
  for (auto it = lists.begin(); it != lists.end(); ++it)
    s.lists[it.key().toStdString()] = listFromJson(it.value().toObject());
  // Earlier versions kept one list's record at the top level.
  if (o.contains("defaults") || o.contains("added")) {
    ListState legacy = listFromJson(o);
    legacy.created = o.value("createdMimeApps").toBool();
    if (!legacy.empty()) s.lists[mainList.string()] = legacy;
  }
  return s;
}

bool saveState(const fs::path& file, const State& s, RunJournal& journal) {
  QJsonObject lists;
  for (const auto& [path, l] : s.lists)
    lists[QString::fromStdString(path)] = QJsonObject{{"defaults", ownedToJson(l.defaults)},
                                                      {"added", ownedToJson(l.added)},
                                                      {"groups", jsonArray(l.groups)},
                                                      {"created", l.created}};
  QJsonObject o{{"files", jsonArray(s.files)}, {"dirs", jsonArray(s.dirs)}, {"lists", lists}};
  if (s.mimeBefore) o["mimeBefore"] = jsonArray(*s.mimeBefore);
  return put(journal, file, QJsonDocument(o).toJson().toStdString());
}

// Sets group/key to `value`, remembering what was there: the first time, or when
// someone changed our value since (that is the user's choice now).
void take(std::string& text, ListState& s, std::string_view group, const std::string& mime,
          const std::string& value) {
  auto current = keyfile::value(text, group, mime);
  auto it = s.defaults.find(mime);
  if (current == value) {
    if (it != s.defaults.end()) it->second.ours = value;
    return;
  }
  if (!keyfile::hasGroup(text, group)) s.groups.insert(std::string(group));
  if (it == s.defaults.end()) s.defaults[mime] = Owned{value, current};
  else it->second = Owned{value, current != it->second.ours ? current : it->second.previous};
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

// Brings one list in line: gives back what is no longer wanted there, takes the
// wanted defaults (in the main list always, in a list that outranks it where that
// list names the type), and leaves no group or file of ours empty behind.
bool followList(const fs::path& path, bool mainList, const Wanted& wanted, ListState& ls, RunJournal& journal) {
  const auto original = readWholeFile(path);
  std::string text = original.value_or("");
  for (auto it = ls.defaults.begin(); it != ls.defaults.end();) {
    auto w = wanted.defaults.find(it->first);
    if (w != wanted.defaults.end() && w->second == it->second.ours) {
      ++it;
      continue;
    }
    giveBack(text, kDefaultGroup, it->first, it->second, it->second.ours);
    it = ls.defaults.erase(it);
  }
  for (const auto& [mime, owned] : ls.added) giveBack(text, kAddedGroup, mime, owned, idOf(owned));
  ls.added.clear();
  for (const auto& [mime, id] : wanted.defaults)
    if (mainList || keyfile::value(text, kDefaultGroup, mime)) take(text, ls, kDefaultGroup, mime, id);
  for (auto it = ls.groups.begin(); it != ls.groups.end();) {
    if (keyfile::hasGroup(text, *it) && keyfile::groupHasKeys(text, *it)) {
      ++it;
      continue;
    }
    text = keyfile::removeGroup(text, *it);
    it = ls.groups.erase(it);
  }
  if (!original && !text.empty()) ls.created = true;
  if (text.empty() && ls.created) {
    ls.created = false;
    return !original || drop(journal, path);
  }
  // With no value of ours left, what the list holds is the user's, file and groups too.
  if (ls.defaults.empty()) ls = ListState{};
  return text == original.value_or("") || put(journal, path, text);
}

std::vector<std::string> listNames(const std::vector<std::string>& desktops) {
  std::vector<std::string> out;
  for (const std::string& d : desktops) out.push_back(d + "-mimeapps.list");
  out.push_back("mimeapps.list");
  return out;
}

bool installed(const DesktopFolders& folders, const std::string& id) {
  std::vector<fs::path> dirs{folders.dataHome};
  dirs.insert(dirs.end(), folders.dataDirs.begin(), folders.dataDirs.end());
  std::string nested = id;
  if (size_t dash = nested.find('-'); dash != std::string::npos) nested[dash] = '/';
  std::error_code ec;
  for (const fs::path& d : dirs)
    for (const std::string& name : {id, nested})
      if (fs::is_regular_file(d / "applications" / name, ec)) return true;
  return false;
}

// The desktop ID the desktop opens `mimeType` with: the first installed entry of
// [Default Applications], desktop-specific lists before the plain one in each folder,
// the user's folders before the system's. Empty when there is none.
std::string effectiveDefault(const DesktopFolders& folders, std::string_view mimeType) {
  std::vector<fs::path> dirs{folders.configHome};
  dirs.insert(dirs.end(), folders.configDirs.begin(), folders.configDirs.end());
  dirs.push_back(folders.dataHome / "applications");
  for (const fs::path& d : folders.dataDirs) dirs.push_back(d / "applications");
  for (const fs::path& dir : dirs)
    for (const std::string& name : listNames(folders.desktops)) {
      auto text = readWholeFile(dir / name);
      if (!text) continue;
      auto value = keyfile::value(*text, kDefaultGroup, mimeType);
      if (!value) continue;
      for (const QString& id : QString::fromStdString(*value).split(u';', Qt::SkipEmptyParts))
        if (installed(folders, id.toStdString())) return id.toStdString();
    }
  return {};
}

std::vector<fs::path> pathList(const char* variable, const char* fallback) {
  const char* v = std::getenv(variable);
  std::string_view list = (v && *v) ? v : fallback;
  std::vector<fs::path> out;
  while (!list.empty()) {
    size_t colon = list.find(':');
    std::string_view part = list.substr(0, colon);
    if (!part.empty() && part.front() == '/') out.emplace_back(std::string(part));
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return out;
}

}  // namespace

DesktopFolders desktopFolders() {
  DesktopFolders f{dataHome(), configHome(), pathList("XDG_CONFIG_DIRS", "/etc/xdg"),
                   pathList("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), {}};
  if (const char* v = std::getenv("XDG_CURRENT_DESKTOP")) {
    QString list = QString::fromUtf8(v).toLower();
    for (const QString& d : list.split(u':', Qt::SkipEmptyParts)) f.desktops.push_back(d.toStdString());
  }
  return f;
}

bool extensionFitsDesktop(std::string_view extension) {
  if (extension.find(':') != std::string_view::npos) return false;
  const std::string type = ownMimeTypeFor("." + std::string(extension));
  const size_t subtype = type.size() - type.find('/') - 1;
  // A MIME subtype has at most 127 characters, a file name at most 255 bytes; the
  // launcher and icon names are shorter than the entry's.
  return subtype <= 127 && desktopIdFor(std::string(extension) + "file").size() <= 255;
}


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

DesktopOutcome followStoreOnDesktop(const ClassesRoot& store, const DesktopFolders& folders,
                                    RunJournal& journal) {
  const fs::path ourData = folders.dataHome / "korvane-rp3";
  const fs::path stateFile = ourData / "desktop.json";
  const fs::path mimeDir = folders.dataHome / "mime";
  const fs::path package = mimeDir / "packages" / "korvane-rp3.xml";
  const fs::path mainList = folders.configHome / "mimeapps.list";
  const DesktopOutcome failed{false, {}};
  std::error_code ec;

  State state = loadState(stateFile, mainList);
  const Wanted wanted = wantedBy(store);

  // The MIME package first, so that the desktop knows our types when it meets them.
  const auto oldPackage = readWholeFile(package);
  const std::optional<std::string> newPackage =
      wanted.types.empty() ? std::nullopt : std::optional(ownPackage(wanted.types));
  if (oldPackage != newPackage) {
    if (!oldPackage && !state.mimeBefore) state.mimeBefore = entriesOf(mimeDir);
    const auto before = state.mimeBefore;
    journal.afterUndo([mimeDir, before] { settleMimeDatabase(mimeDir, before); });
    if (!(newPackage ? put(journal, package, *newPackage) : drop(journal, package))) return failed;
    if (!settleMimeDatabase(mimeDir, before)) return failed;
    if (!newPackage) state.mimeBefore.reset();
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
      if (readWholeFile(launcher) != script &&
          !put(journal, launcher, script,
               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                   QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther))
        return failed;
      files.insert(launcher.string());
    }
    std::string text = "[Desktop Entry]\nType=Application\n";
    text += "Name=" + desktopString(programName(commandArguments(e.command), e.fileType)) + "\n";
    text += "Comment=" + desktopString(e.fileType) + "\n";
    text += "Exec=" + desktopString(exec) + "\n";
    // A missing icon file is no failure: an own extension may point at none.
    if (!e.iconPath.empty() && writeIconPng(e.iconPath, png, journal)) {
      text += "Icon=" + desktopString(png.string()) + "\n";
      files.insert(png.string());
    }
    text += "MimeType=";
    for (const std::string& m : e.mimeTypes) text += m + ";";
    text += "\nNoDisplay=true\nTerminal=false\n";
    text += "X-Korvane-RP3-FileType=" + desktopString(e.fileType) + "\n";
    if (readWholeFile(desktop) != text && !put(journal, desktop, text)) return failed;
    files.insert(desktop.string());
  }
  // Only files in our own places are removed, whatever the record says.
  auto ours = [&](const fs::path& f) {
    const fs::path dir = f.parent_path();
    return dir == ourData / "launchers" || dir == ourData / "icons" ||
           (dir == folders.dataHome / "applications" && f.filename().string().rfind("korvane-rp3-", 0) == 0);
  };
  for (const std::string& f : state.files)
    if (!files.count(f) && ours(f) && fs::exists(f, ec) && !drop(journal, f)) return failed;
  state.files = files;

  // The lists: the main one, lists of ours from earlier runs, and those of the
  // current desktops that outrank the main one.
  std::set<std::string> lists{mainList.string()};
  for (const auto& [path, l] : state.lists) lists.insert(path);
  for (const std::string& name : listNames(folders.desktops))
    if (fs::exists(folders.configHome / name, ec)) lists.insert((folders.configHome / name).string());
  for (const std::string& path : lists) {
    ListState& ls = state.lists[path];
    const ListState held = ls;
    if (!followList(path, path == mainList.string(), wanted, ls, journal)) {
      // An outranking list we may not write only keeps the desktop from using ours,
      // which the check below reports; one holding ours must be written.
      if (path == mainList.string() || !held.empty()) return failed;
      ls = held;
    }
    if (ls.empty()) state.lists.erase(path);
  }

  // Whatever folders we made are taken back with the last of our files.
  for (const fs::path& d : journal.createdDirs()) state.dirs.insert(d.string());
  if (state.empty()) {
    if (fs::exists(stateFile, ec) && !drop(journal, stateFile)) return failed;
    std::vector<std::string> dirs(state.dirs.rbegin(), state.dirs.rend());  // inner ones first
    for (const std::string& d : dirs)
      if (fs::is_directory(d, ec) && fs::is_empty(d, ec)) fs::remove(d, ec);
  } else if (!saveState(stateFile, state, journal)) {
    return failed;
  }

  DesktopOutcome outcome;
  for (const auto& [mime, id] : wanted.defaults)
    if (effectiveDefault(folders, mime) != id) outcome.notUsed.push_back(wanted.types.at(mime).extKey);
  return outcome;
}

}  // namespace korvane::tool
