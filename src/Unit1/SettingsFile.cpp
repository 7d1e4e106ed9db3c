#include "Unit1/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <filesystem>

std::string SettingsFilePath(const std::string& executableDir, const std::string& userConfigDir) {
  const QFileInfo folder(QString::fromStdString(executableDir));
  const bool writable = !executableDir.empty() && folder.isDir() && folder.isWritable();
  const std::filesystem::path dir = writable ? executableDir : userConfigDir;
  return (dir / SettingsFileName).string();
}

std::string DefaultSettingsFilePath() {
  const std::string executableDir = QCoreApplication::applicationDirPath().toStdString();
  std::string userDir =
      QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString();
  if (userDir.empty()) userDir = QDir::homePath().toStdString() + "/.config/tolvane";
  return SettingsFilePath(executableDir, userDir);
}
