#include "app/Inipath.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdlib>

namespace {

bool Writable(const QString& path) { return ::access(QFile::encodeName(path).constData(), W_OK) == 0; }

QString UserConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return QString::fromLocal8Bit(xdg);
  return QDir::homePath() + "/.config";
}

}  // namespace

std::string ExecutableFolder() { return QCoreApplication::applicationDirPath().toStdString(); }

std::string IniFilePath() {
  const char* overridden = std::getenv("QMSS_INI");
  if (overridden && *overridden) return overridden;

  const QFileInfo exe(QCoreApplication::applicationFilePath());
  const QString name = exe.completeBaseName() + ".INI";
  const QString beside = exe.absolutePath() + "/" + name;
  const QFileInfo besideInfo(beside);
  if (besideInfo.exists() ? Writable(beside) : Writable(exe.absolutePath()))
    return beside.toStdString();

  const QString folder = UserConfigFolder() + "/QMScaleService";
  if (!QDir().mkpath(folder)) return beside.toStdString();
  return (folder + "/" + name).toStdString();
}
