#include "StationRig.h"

#include <QJsonDocument>
#include <QEventLoop>
#include <fstream>
#include <stdexcept>

#include "station/UnitRecorder.h"

namespace kvm::station::test {

namespace {
std::vector<QJsonObject> ReadJsonLines(const std::string& path) {
  std::vector<QJsonObject> objects;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
      throw std::runtime_error("not a JSON object line: " + line);
    objects.push_back(document.object());
  }
  return objects;
}
}  // namespace

TStationRig::TStationRig(int tickMs)
    : tickMs_(tickMs), platform_(std::make_shared<hid::platform::TSimHidPlatform>()) {
  // Container jobs write their intermediate files into this test's folder.
  qputenv("XDG_RUNTIME_DIR", folder_.path().toUtf8());
  std::string error;
  if (!events_.Open(EventsPath(), error) || !log_.Open(LogPath(), error)) throw std::runtime_error(error);
}

TStationRig::~TStationRig() {
  watches_.clear();
  station_.reset();
}

std::string TStationRig::Firmware(const char* name, int blocks) {
  std::vector<std::uint8_t> image(48 + 56 * static_cast<std::size_t>(blocks - 1));
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + blocks);
  const std::string path = folder_.filePath(name).toStdString();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                              static_cast<std::streamsize>(image.size()));
  return path;
}

TRigProgrammer& TStationRig::Plug(const std::string& serial, const std::string& port) {
  auto programmer = std::make_unique<TRigProgrammer>();
  programmer->Emulator = std::make_shared<emulator::TProgrammerEmulator>();
  programmer->Serial = serial;
  programmer->Port = port;
  hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer();
  info.SerialNumber = std::u16string(serial.begin(), serial.end());
  info.PortPath = port;
  programmer->DeviceID = platform_->Plug(info, emulator::TProgrammerEmulator::Responder(programmer->Emulator));
  programmers_.push_back(std::move(programmer));
  return *programmers_.back();
}

void TStationRig::Unplug(TRigProgrammer& programmer) { platform_->Unplug(programmer.DeviceID); }

void TStationRig::Configure(const std::function<void(TStationConfig&)>& change) {
  TStationConfig config;
  for (const auto& [target, path] : {std::pair{TTarget::UsbHost, UsbHost}, std::pair{TTarget::Osd, Osd}}) {
    if (path.empty()) continue;
    TFirmwareFile file;
    std::string error;
    if (!CheckFirmwareFile(target, path, file, error)) throw std::runtime_error(error);
    config.Files.push_back(file);
  }
  config.Stack = jobs::TStackOptions::WithTick(tickMs_);
  config.IntermediateFile = [this](int slot) {
    return folder_.filePath(QString("unit-%1.d0s").arg(slot)).toStdString();
  };
  if (change) change(config);
  TStationOutput output;
  output.PrintLine = [this](const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  };
  output.PrintError = [this](const std::string& message) {
    std::lock_guard lock(mutex_);
    errors_.push_back(message);
  };
  station_ = std::make_unique<TStation>(platform_, std::move(config), events_, log_, std::move(output));
}

int TStationRig::Run(int timeoutMs) {
  if (!station_) Configure();
  // A station that does not end by itself is interrupted, then stopped.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [this] { station_->Interrupt(); });
  guard.start(timeoutMs);
  return station_->Run();
}

void TStationRig::When(std::function<bool()> condition, std::function<void()> action) {
  auto timer = std::make_unique<QTimer>();
  QTimer* watch = timer.get();
  watch->setInterval(2);
  QObject::connect(watch, &QTimer::timeout, [watch, condition = std::move(condition), action = std::move(action)] {
    if (!condition()) return;
    watch->stop();
    action();
  });
  watch->start();
  watches_.push_back(std::move(timer));
}

std::vector<std::string> TStationRig::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> TStationRig::Errors() const {
  std::lock_guard lock(mutex_);
  return errors_;
}

std::vector<QJsonObject> TStationRig::Events() const { return ReadJsonLines(EventsPath()); }

std::vector<QJsonObject> TStationRig::Events(const char* name) const {
  std::vector<QJsonObject> found;
  for (const QJsonObject& event : Events())
    if (event["event"].toString() == name) found.push_back(event);
  return found;
}

std::vector<QJsonObject> TStationRig::Records() const { return ReadJsonLines(LogPath()); }

}  // namespace kvm::station::test
