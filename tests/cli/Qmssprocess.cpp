#include "tests/cli/Qmssprocess.h"

#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

std::string QmssProgram() {
  const std::string path = std::string(QMSS_BINARY_DIR) + "/cli/qmss";
  return ::access(path.c_str(), X_OK) == 0 ? path : "";
}

std::string JoinArgs(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += (text.empty() ? "" : " ") + a;
  return text;
}

std::string CompactJson(const std::string& json) {
  std::string text;
  for (char c : json)
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t') text += c;
  return text;
}

TCliFolder::TCliFolder() = default;

std::string TCliFolder::Path(const std::string& name) const {
  if (!name.empty() && name[0] == '/') return name;
  const std::string dir = Dir.path().toStdString();
  return name.empty() ? dir : dir + "/" + name;
}

std::string TCliFolder::Write(const std::string& name, const std::string& bytes) const {
  const std::string path = Path(name);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string TCliFolder::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  return Write(name, std::string(bytes.begin(), bytes.end()));
}

std::string TCliFolder::Read(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool TCliFolder::Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }

QProcessEnvironment TCliFolder::Environment() const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QMSS_INI", QString::fromStdString(IniPath()));
  // The date lines of the log banners come from the locale; keep them plain.
  env.insert("LC_ALL", "C");
  return env;
}

TQmssResult TCliFolder::RunProgram(const std::string& program, const std::vector<std::string>& args,
                                   int timeoutMs, const QProcessEnvironment& env) const {
  TQmssResult result;
  QProcess process;
  process.setWorkingDirectory(QString::fromStdString(Path()));
  process.setProcessEnvironment(env);
  process.setStandardInputFile(QProcess::nullDevice());
  QStringList list;
  for (const std::string& a : args) list << QString::fromStdString(a);
  QElapsedTimer clock;
  clock.start();
  process.start(QString::fromStdString(program), list);
  if (!process.waitForStarted(10000)) {
    result.Err = "could not start " + program;
    return result;
  }
  if (!process.waitForFinished(timeoutMs)) {
    result.TimedOut = true;
    process.kill();
    process.waitForFinished(5000);
  }
  result.Seconds = static_cast<double>(clock.elapsed()) / 1000.0;
  result.Out = process.readAllStandardOutput().toStdString();
  result.Err = process.readAllStandardError().toStdString();
  if (!result.TimedOut && process.exitStatus() == QProcess::NormalExit) result.ExitCode = process.exitCode();
  return result;
}

TQmssResult TCliFolder::Run(const std::vector<std::string>& args, int timeoutMs) const {
  return RunProgram(QmssProgram(), args, timeoutMs, Environment());
}

TSimProcess::~TSimProcess() {
  if (Process && Process->state() != QProcess::NotRunning) {
    Process->kill();
    Process->waitForFinished(5000);
  }
}

bool TSimProcess::Start(const TCliFolder& folder, const std::vector<std::string>& args) {
  Process = std::make_unique<QProcess>();
  Process->setWorkingDirectory(QString::fromStdString(folder.Path()));
  Process->setProcessEnvironment(folder.Environment());
  Process->setStandardInputFile(QProcess::nullDevice());
  QStringList list{"sim"};
  for (const std::string& a : args) list << QString::fromStdString(a);
  Process->start(QString::fromStdString(QmssProgram()), list);
  if (!Process->waitForStarted(10000)) {
    Problem = "qmss sim did not start";
    return false;
  }
  QElapsedTimer clock;
  clock.start();
  while (!Process->canReadLine()) {
    if (clock.elapsed() > 10000 || !Process->waitForReadyRead(200)) {
      if (Process->state() == QProcess::NotRunning || clock.elapsed() > 10000) {
        Problem = "qmss sim " + JoinArgs(args) + " printed no port: " + Process->readAllStandardError().toStdString();
        return false;
      }
    }
  }
  const std::string line = Process->readLine().trimmed().toStdString();
  if (line.rfind("PORT ", 0) != 0) {
    Problem = "qmss sim printed \"" + line + "\" instead of PORT <path>";
    return false;
  }
  PortPath = line.substr(5);
  return true;
}

int TSimProcess::Stop(int timeoutMs) {
  if (!Process || Process->state() == QProcess::NotRunning) return Process ? Process->exitCode() : -1;
  ::kill(static_cast<pid_t>(Process->processId()), SIGINT);
  if (!Process->waitForFinished(timeoutMs)) {
    Process->kill();
    Process->waitForFinished(5000);
    return -1;
  }
  return Process->exitStatus() == QProcess::NormalExit ? Process->exitCode() : -1;
}
