#include "tests/app/PictrimRun.h"

#include <QProcess>

namespace pictrim::test {

TRun RunProgram(const QString& Program, const QStringList& Args, const std::string& WorkingFolder,
                const std::vector<std::pair<std::string, std::string>>& Environment) {
  QProcess process;
  if (!WorkingFolder.empty()) process.setWorkingDirectory(QString::fromStdString(WorkingFolder));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    environment.remove(name);
  for (const auto& [name, value] : Environment)
    environment.insert(QString::fromStdString(name), QString::fromStdString(value));
  process.setProcessEnvironment(environment);
  process.start(Program, Args);
  TRun run;
  if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit) return run;
  run.Status = process.exitCode();
  run.Out = process.readAllStandardOutput().toStdString();
  run.Err = process.readAllStandardError().toStdString();
  return run;
}

TRun RunPictrim(const QStringList& Args, const std::string& WorkingFolder,
                const std::vector<std::pair<std::string, std::string>>& Environment) {
  return RunProgram(PICTRIM_EXE, Args, WorkingFolder, Environment);
}

}  // namespace pictrim::test
