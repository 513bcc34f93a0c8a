#include "UmockdevFigures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "Figures.h"

namespace kvm::bench {

namespace {
const char* const FailureKey = "error";

QJsonArray ToArray(const std::vector<double>& values) {
  QJsonArray array;
  for (const double value : values) array.append(value);
  return array;
}
}  // namespace

bool WriteUmockdevFigures(const std::string& path, const std::vector<double>& allNewMs,
                          const std::vector<double>& unchangedMs, const std::string& failure) {
  QJsonObject json;
  json[fig::RescanMsUmockdev16] = ToArray(allNewMs);
  json[fig::RescanUnchangedMsUmockdev16] = ToArray(unchangedMs);
  if (!failure.empty()) json[FailureKey] = QString::fromStdString(failure);
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const QByteArray bytes = QJsonDocument(json).toJson();
  return file.write(bytes) == bytes.size();
}

void ReadUmockdevFigures(const std::string& path, TFigureCollector& figures) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    figures.SetFailure(fig::RescanUmockdev, "no results from the umockdev helper (" + path + ": " +
                                                file.errorString().toStdString() + ")");
    return;
  }
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
  if (!document.isObject()) {
    figures.SetFailure(fig::RescanUmockdev, path + " is not valid JSON: " + error.errorString().toStdString());
    return;
  }
  const QJsonObject json = document.object();
  if (json.contains(FailureKey)) figures.SetFailure(fig::RescanUmockdev, json[FailureKey].toString().toStdString());
  for (const char* figure : {fig::RescanMsUmockdev16, fig::RescanUnchangedMsUmockdev16})
    for (const QJsonValue value : json[figure].toArray()) figures.AddFigure(fig::RescanUmockdev, figure, value.toDouble());
}

}  // namespace kvm::bench
