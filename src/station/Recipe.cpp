#include "station/Recipe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "firmware/FirmwareImage.h"
#include "firmware/ReplaceFile.h"

namespace kvm::station {

namespace {

std::string Absolute(const std::string& path) {
  if (path.empty() || path == "-") return path;
  return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

// A path of the recipe, taken from the recipe's folder when relative.
std::string FromRecipe(const QString& path, const std::string& recipePath) {
  if (path.isEmpty() || path == "-" || QDir::isAbsolutePath(path)) return path.toStdString();
  return QFileInfo(QString::fromStdString(recipePath)).absoluteDir().filePath(path).toStdString();
}

QJsonArray Strings(const std::vector<std::string>& values) {
  QJsonArray array;
  for (const std::string& value : values) array.append(QString::fromStdString(value));
  return array;
}

bool ReadStrings(const QJsonValue& value, std::vector<std::string>& out) {
  if (value.isUndefined() || value.isNull()) return true;
  if (!value.isArray()) return false;
  for (const QJsonValue& item : value.toArray()) {
    if (!item.isString()) return false;
    out.push_back(item.toString().toStdString());
  }
  return true;
}

bool IsSha256(const QString& text) {
  if (text.size() != 64) return false;
  for (const QChar c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

// The same file, or, where either does not exist yet, the same absolute path.
bool SameFileOrPath(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty() || b == "-") return false;
  const QFileInfo left(QString::fromStdString(a)), right(QString::fromStdString(b));
  if (!left.exists() || !right.exists()) return left.absoluteFilePath() == right.absoluteFilePath();
  return left.canonicalFilePath() == right.canonicalFilePath();
}

}  // namespace

const TRecipeFile* TRecipe::FileFor(TTarget target) const {
  for (const TRecipeFile& file : Files)
    if (file.Target == target) return &file;
  return nullptr;
}

TRecipe MakeRecipe(const std::vector<TFirmwareFile>& files, const std::string& logFile,
                   const std::string& eventsFile, std::vector<std::string> ports, std::vector<std::string> serials) {
  TRecipe recipe;
  for (const TFirmwareFile& file : files) recipe.Files.push_back({file.Target, Absolute(file.Path), file.FileSize, file.Sha256});
  recipe.LogFile = Absolute(logFile);
  recipe.EventsFile = Absolute(eventsFile);
  recipe.Ports = std::move(ports);
  recipe.Serials = std::move(serials);
  return recipe;
}

QJsonObject RecipeJson(const TRecipe& recipe) {
  QJsonObject files;
  for (const TRecipeFile& file : recipe.Files)
    files.insert(TargetKey(file.Target), QJsonObject{{"path", QString::fromStdString(file.Path)},
                                                     {"size", static_cast<qint64>(file.Size)},
                                                     {"sha256", file.Sha256}});
  return {{"kvmflash_recipe", RecipeSchema},
          {"files", files},
          {"log", QString::fromStdString(recipe.LogFile)},
          {"events", QString::fromStdString(recipe.EventsFile)},
          {"filters", QJsonObject{{"ports", Strings(recipe.Ports)}, {"serials", Strings(recipe.Serials)}}}};
}

bool ReadRecipe(const std::string& path, TRecipe& recipe, std::string& error) {
  recipe = TRecipe{};
  recipe.Path = path;
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "recipe " + path + ": " + file.errorString().toStdString();
    return false;
  }
  QJsonParseError parse{};
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
  const auto bad = [&](const std::string& what) {
    error = "recipe " + path + ": " + what;
    return false;
  };
  if (document.isNull()) return bad("not JSON (" + parse.errorString().toStdString() + " at byte " +
                                    std::to_string(parse.offset) + ")");
  const QJsonObject json = document.object();
  if (json["kvmflash_recipe"].toInt(0) != RecipeSchema)
    return bad("not a kvmflash recipe of version " + std::to_string(RecipeSchema) + " (\"kvmflash_recipe\")");
  const QJsonObject files = json["files"].toObject();
  for (const TTarget target : {TTarget::UsbHost, TTarget::Osd}) {
    const QString key = TargetKey(target);
    if (!files.contains(key)) continue;
    const QJsonObject entry = files[key].toObject();
    TRecipeFile item{target, FromRecipe(entry["path"].toString(), path),
                     static_cast<std::int64_t>(entry["size"].toDouble(-1)), entry["sha256"].toString()};
    if (item.Path.empty()) return bad("files." + key.toStdString() + ".path is missing");
    if (item.Size < 0) return bad("files." + key.toStdString() + ".size is missing");
    if (!IsSha256(item.Sha256)) return bad("files." + key.toStdString() + ".sha256 is not 64 lower-case hex digits");
    recipe.Files.push_back(std::move(item));
  }
  if (recipe.Files.empty()) return bad("no firmware file (files.usb-host or files.osd)");
  recipe.LogFile = FromRecipe(json["log"].toString(), path);
  recipe.EventsFile = FromRecipe(json["events"].toString(), path);
  const QJsonObject filters = json["filters"].toObject();
  if (!ReadStrings(filters["ports"], recipe.Ports) || !ReadStrings(filters["serials"], recipe.Serials))
    return bad("filters.ports and filters.serials must be lists of texts");
  return true;
}

bool WriteRecipe(const std::string& path, const TRecipe& recipe, bool replace, const std::vector<std::string>& inputs,
                 std::string& error) {
  for (const std::string& input : inputs)
    if (SameFileOrPath(path, input)) {
      error = "recipe " + path + " is " + input + ", an input of the station: it is not overwritten";
      return false;
    }
  if (!replace && QFileInfo::exists(QString::fromStdString(path))) {
    error = "recipe " + path + " exists: give --replace-recipe to replace it";
    return false;
  }
  const QByteArray bytes = QJsonDocument(RecipeJson(recipe)).toJson(QJsonDocument::Indented);
  std::string failure;
  if (!firmware::ReplaceFileContent(path, reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                    static_cast<std::size_t>(bytes.size()), firmware::TNewFileMode::LikeTheOld,
                                    failure)) {
    error = "recipe " + path + ": " + failure;
    return false;
  }
  // The engineer writes it, the operator's account reads it.
  QFile::setPermissions(QString::fromStdString(path),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  return true;
}

std::string RecipeMismatch(const TRecipe& recipe, const std::vector<TFirmwareFile>& files) {
  for (const TRecipeFile& wanted : recipe.Files) {
    const TFirmwareFile* file = station::FileFor(files, wanted.Target);
    if (file == nullptr) return "recipe " + recipe.Path + ": no " + TargetKey(wanted.Target).toStdString() + " file given";
    if (file->Sha256 != wanted.Sha256 || file->FileSize != wanted.Size)
      return file->Path + " differs from the recipe " + recipe.Path + ": its SHA-256 is " + file->Sha256.toStdString() +
             " (" + std::to_string(file->FileSize) + " bytes), the recipe's " + wanted.Sha256.toStdString() + " (" +
             std::to_string(wanted.Size) + " bytes); nothing was programmed";
  }
  for (const TFirmwareFile& file : files)
    if (recipe.FileFor(file.Target) == nullptr)
      return "recipe " + recipe.Path + " has no " + TargetKey(file.Target).toStdString() + " file";
  return {};
}

QJsonObject RecipeRecordJson(const TRecipe& recipe) {
  QJsonObject hashes;
  for (const TRecipeFile& file : recipe.Files) hashes.insert(TargetKey(file.Target), file.Sha256);
  return {{"path", QString::fromStdString(Absolute(recipe.Path))}, {"sha256", hashes}};
}

}  // namespace kvm::station
