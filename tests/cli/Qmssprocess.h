// The qmss program of this build tree run as a child process, the way a user
// or a script runs it: in a working folder of the test's own (where LOG.TXT
// and CPSTORE.TXT land), with QMSS_INI pointing into that folder so that no
// INI file of the build tree or of the user is read.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

// The program under test; empty when it has not been built.
std::string QmssProgram();

struct TQmssResult {
  int ExitCode = -1;  // -1: did not start, crashed or was killed at the deadline
  bool TimedOut = false;
  std::string Out;
  std::string Err;
  double Seconds = 0;
};

// A working folder with its own (possibly absent) INI file.
class TCliFolder {
 public:
  TCliFolder();
  bool IsValid() const { return Dir.isValid(); }
  std::string Path(const std::string& name = "") const;
  std::string IniPath() const { return Path("QMScaleService.INI"); }
  // Writes bytes to a file in the folder (or at an absolute path); the path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  // The bytes of a file; empty when it cannot be read.
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;

  // Runs qmss with args in the folder; killed after timeoutMs.
  TQmssResult Run(const std::vector<std::string>& args, int timeoutMs = 60000) const;
  // Any program, with the same folder and environment.
  TQmssResult RunProgram(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
                         const QProcessEnvironment& env) const;
  QProcessEnvironment Environment() const;

 private:
  QTemporaryDir Dir;
};

// "qmss sim KIND ..." as a child process: started, its "PORT <path>" line
// read, stopped with SIGINT (which makes it write its --dump files).
class TSimProcess {
 public:
  TSimProcess() = default;
  ~TSimProcess();
  TSimProcess(const TSimProcess&) = delete;
  TSimProcess& operator=(const TSimProcess&) = delete;

  // False (with Error()) when it did not start or printed no port in time.
  bool Start(const TCliFolder& folder, const std::vector<std::string>& args);
  const std::string& Port() const { return PortPath; }
  const std::string& Error() const { return Problem; }
  // SIGINT, then waits for the exit; the simulator's exit code, -1 when it
  // did not end within timeoutMs (it is then killed).
  int Stop(int timeoutMs = 10000);

 private:
  std::unique_ptr<QProcess> Process;
  std::string PortPath;
  std::string Problem;
};

// A simulator's summary.json without its layout white space, so that a test
// can look for "key":[...] (the texts in it hold no blanks).
std::string CompactJson(const std::string& json);

// "a" "b" -> a b; for messages.
std::string JoinArgs(const std::vector<std::string>& args);
