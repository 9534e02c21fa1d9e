#include "comms/Registry.h"

#include <QDir>
#include <QSettings>
#include <QStringList>
#include <climits>
#include <memory>

namespace comms {

namespace {

// A settings object on the file behind the key. Made for each access: QSettings objects are
// cheap, share one cache per file and may be used on any thread, one object per thread.
std::unique_ptr<QSettings> OpenKey(const std::string& key) {
  return std::make_unique<QSettings>(RegistryFilePath(key), QSettings::IniFormat);
}

std::optional<std::int32_t> StoredInteger(QSettings& settings, const std::string& name) {
  const QVariant stored = settings.value(QString::fromStdString(name));
  bool ok = false;
  const int value = stored.toString().trimmed().toInt(&ok);
  if (!ok) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

QString RegistryFilePath(const std::string& key) {
  QStringList parts = QString::fromStdString(key).split('\\', Qt::SkipEmptyParts);
  if (!parts.isEmpty() && parts.front().compare("Software", Qt::CaseInsensitive) == 0) {
    parts.removeFirst();
  }
  const QString organisation = parts.isEmpty() ? QString("Dravonik") : parts.takeFirst();
  const QString application = parts.isEmpty() ? organisation : parts.join('/');
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty()) {
    base = QDir::homePath() + "/.config";
  }
  return base + '/' + organisation + '/' + application + ".conf";
}

std::int32_t ReadRegistryInteger(const std::string& key, const std::string& name,
                                 std::int32_t defaultValue, std::int32_t minimum,
                                 std::int32_t maximum) {
  auto settings = OpenKey(key);
  if (!settings->contains(QString::fromStdString(name))) {
    settings->setValue(QString::fromStdString(name), defaultValue);
    return defaultValue;
  }
  const auto value = StoredInteger(*settings, name);
  if (!value || *value < minimum || *value > maximum) {
    return defaultValue;
  }
  return *value;
}

std::int32_t ReadRegistryInteger(const std::string& key, const std::string& name,
                                 std::int32_t defaultValue) {
  return ReadRegistryInteger(key, name, defaultValue, INT32_MIN, INT32_MAX);
}

bool ReadRegistryBool(const std::string& key, const std::string& name, bool defaultValue) {
  return ReadRegistryInteger(key, name, defaultValue ? 1 : 0, 0, 1) != 0;
}

void WriteRegistryInteger(const std::string& key, const std::string& name, std::int32_t value) {
  OpenKey(key)->setValue(QString::fromStdString(name), value);
}

void WriteRegistryBool(const std::string& key, const std::string& name, bool value) {
  WriteRegistryInteger(key, name, value ? 1 : 0);
}

std::optional<std::string> ReadPortDevice(const std::string& portName) {
  const QString value =
      OpenKey(kConfigKey)->value("Ports/" + QString::fromStdString(portName)).toString();
  if (value.isEmpty()) {
    return std::nullopt;
  }
  return value.toStdString();
}

void WritePortDevice(const std::string& portName, const std::string& devicePath) {
  OpenKey(kConfigKey)
      ->setValue("Ports/" + QString::fromStdString(portName), QString::fromStdString(devicePath));
}

registers::TConnectionType TRegistryChoices::ConnectionType() {
  using registers::TConnectionType;
  constexpr auto usb = static_cast<std::int32_t>(TConnectionType::Usb);
  constexpr auto serial = static_cast<std::int32_t>(TConnectionType::Serial);
  return ReadRegistryInteger(kConfigKey, "ConnectionType", usb, usb, serial) == serial
             ? TConnectionType::Serial
             : TConnectionType::Usb;
}

}  // namespace comms
