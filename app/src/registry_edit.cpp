#include "quenvar/app/registry_edit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#ifdef _WIN32
#include <QRegularExpression>
#endif
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>
#include <charconv>
#include <optional>
#include <vector>

namespace quenvar {

std::string StorePathOfKey(std::string_view regKey) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= regKey.size()) {
    std::size_t end = regKey.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = regKey.size();
    const std::string_view part = regKey.substr(start, end - start);
    if (!part.empty() && part != "." && part != "..") parts.push_back(part);
    start = end + 1;
  }
  if (parts.size() > 1 && QString::fromUtf8(parts.front().data(), parts.front().size())
                                  .compare(QStringLiteral("software"), Qt::CaseInsensitive) == 0) {
    parts.erase(parts.begin());
  }
  if (parts.empty()) return "root.ini";
  std::string path;
  for (const std::string_view part : parts) {
    path.append(part);
    path.push_back('/');
  }
  path.append(parts.back());
  path.append(".ini");
  return path;
}

bool ParseStoredInteger(std::string_view text, std::int32_t& value) {
  if (text.empty()) return false;
  const bool negative = text.front() == '-';
  if (negative || text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') return false;
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  if (negative) {
    if (magnitude > 0x80000000ULL) return false;
    value = static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    return true;
  }
  if (magnitude > 0xFFFFFFFFULL) return false;
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
  return true;
}

namespace {

QString Key(std::string_view name) {
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// Converts what the store holds into a 32-bit integer, or nothing when the
// value is of another kind (text, list, binary).
std::optional<std::int32_t> ToInteger(const QVariant& stored) {
  std::int32_t value = 0;
  switch (stored.typeId()) {
    case QMetaType::Int:
      return stored.toInt();
    case QMetaType::UInt:
      return static_cast<std::int32_t>(stored.toUInt());
    case QMetaType::QString: {
      const QByteArray text = stored.toString().toUtf8();
      if (ParseStoredInteger(std::string_view(text.constData(), text.size()), value)) return value;
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

#ifndef _WIN32
// Qt parses a settings file on first use only; its status says nothing
// before that.
bool Parsed(QSettings& settings) {
  settings.allKeys();
  return settings.status() == QSettings::NoError;
}

// The store only ever holds UTF-8 text. Qt's parser is lenient enough to make
// sections and keys out of binary junk, so junk is recognised here: control
// bytes other than tab and line ends, or bytes that are no UTF-8.
bool HoldsJunk(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F) return true;
  }
  return !bytes.isValidUtf8();
}

// A store that can be read as settings: Qt parses it and it is no junk.
bool Usable(QSettings& settings, const QString& file) {
  return Parsed(settings) && !HoldsJunk(file);
}
#endif

}  // namespace

#ifdef _WIN32

// On Windows the store is the registry itself, as the key path says: each
// value a REG_DWORD below the root, e.g. HKEY_CURRENT_USER\Software\Quenvar,
// through QSettings' native format (which writes an int as REG_DWORD).
namespace {

QString RegistryPath(TRootKey root, std::string_view regKey) {
  static constexpr const char* kRoots[] = {"HKEY_USERS",          "HKEY_CURRENT_USER",
                                           "HKEY_LOCAL_MACHINE",  "HKEY_CLASSES_ROOT",
                                           "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
  QString path = QString::fromLatin1(kRoots[static_cast<std::size_t>(root)]);
  for (const QString& part :
       Key(regKey).split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts))
    if (part != QStringLiteral(".") && part != QStringLiteral(".."))
      path += QLatin1Char('\\') + part;
  return path;
}

}  // namespace

std::string TRegistryEdit::StoreFileName() const {
  return RegistryPath(FRootKey, FRegKey).toStdString();
}

void TRegistryEdit::PutInteger(std::string_view name, std::int32_t value) {
  QSettings settings(RegistryPath(FRootKey, FRegKey), QSettings::NativeFormat);
  settings.setValue(Key(name), int{value});
  settings.sync();
  if (settings.status() != QSettings::NoError) throw SetDataError(name);
}

void TRegistryEdit::PutBool(std::string_view name, bool flag) {
  PutInteger(name, flag ? 1 : 0);
}

// A missing key reads as the default; a key without the value, or with one of
// another type, fails the read, as a missing or foreign value in the file does.
std::int32_t TRegistryEdit::GetInteger(std::string_view name, std::int32_t fallback) {
  QSettings settings(RegistryPath(FRootKey, FRegKey), QSettings::NativeFormat);
  if (settings.allKeys().isEmpty()) return fallback;
  const std::optional<std::int32_t> value = ToInteger(settings.value(Key(name)));
  if (!value) throw DataTypeError(name);
  return *value;
}

bool TRegistryEdit::GetBool(std::string_view name, bool fallback) {
  return GetInteger(name, fallback ? 1 : 0) != 0;
}

bool TRegistryEdit::HasValue(std::string_view name) {
  QSettings settings(RegistryPath(FRootKey, FRegKey), QSettings::NativeFormat);
  return settings.contains(Key(name));
}

#else

std::string TRegistryEdit::StoreFileName() const {
  QString root = QString::fromStdString(FConfigRoot);
  if (root.isEmpty())
    root = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (root.isEmpty()) root = QDir::homePath() + QStringLiteral("/.config");
  return QDir(root).filePath(QString::fromStdString(StorePathOfKey(FRegKey))).toStdString();
}

void TRegistryEdit::PutInteger(std::string_view name, std::int32_t value) {
  const QString file = QString::fromStdString(StoreFileName());
  // Create the key and its parents, as the registry does on a write.
  if (!QDir().mkpath(QFileInfo(file).absolutePath())) throw SetDataError(name);
  if (QFileInfo(file).isDir()) throw SetDataError(name);
  bool damaged = false;
  {
    QSettings existing(file, QSettings::IniFormat);
    damaged = (!Parsed(existing) && existing.status() == QSettings::FormatError) || HoldsJunk(file);
  }
  if (damaged) {
    // Qt never writes over a file it could not parse, and would carry junk it
    // did parse into every rewrite: keep the file aside and start afresh.
    const QString aside = file + QStringLiteral(".damaged");
    QFile::remove(aside);
    if (!QFile::rename(file, aside)) throw SetDataError(name);
  }
  QSettings settings(file, QSettings::IniFormat);
  if (!settings.isWritable()) throw SetDataError(name);
  settings.setValue(Key(name), value);
  settings.sync();
  if (settings.status() != QSettings::NoError) throw SetDataError(name);
}

void TRegistryEdit::PutBool(std::string_view name, bool flag) {
  PutInteger(name, flag ? 1 : 0);
}

std::int32_t TRegistryEdit::GetInteger(std::string_view name, std::int32_t fallback) {
  const QString file = QString::fromStdString(StoreFileName());
  const QFileInfo info(file);
  if (!info.isFile() || !info.isReadable()) return fallback;
  QSettings settings(file, QSettings::IniFormat);
  if (!Usable(settings, file)) return fallback;
  const QVariant stored = settings.value(Key(name));
  // A missing value fails the read like one of the wrong type.
  const std::optional<std::int32_t> value = ToInteger(stored);
  if (!value) throw DataTypeError(name);
  return *value;
}

bool TRegistryEdit::GetBool(std::string_view name, bool fallback) {
  return GetInteger(name, fallback ? 1 : 0) != 0;
}

bool TRegistryEdit::HasValue(std::string_view name) {
  const QString file = QString::fromStdString(StoreFileName());
  const QFileInfo info(file);
  if (!info.isFile() || !info.isReadable()) return false;
  QSettings settings(file, QSettings::IniFormat);
  if (!Usable(settings, file)) return false;
  return settings.contains(Key(name));
}

#endif

}  // namespace quenvar
