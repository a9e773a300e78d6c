// The built pictrim executable run as a process for a test, without a
// display, with what it printed and returned.
#pragma once

#include <QStringList>

#include <string>
#include <utility>
#include <vector>

namespace pictrim::test {

struct TRun {
  int Status = -1;  // -1 when it did not end normally within three minutes
  std::string Out;
  std::string Err;
};

// Runs Program with Args, in WorkingFolder when one is given; Environment
// adds or replaces variables. No display is passed on.
TRun RunProgram(const QString& Program, const QStringList& Args,
                const std::string& WorkingFolder = "",
                const std::vector<std::pair<std::string, std::string>>& Environment = {});

// Runs pictrim with Args, in WorkingFolder when one is given; Environment
// adds or replaces variables.
TRun RunPictrim(const QStringList& Args, const std::string& WorkingFolder = "",
                const std::vector<std::pair<std::string, std::string>>& Environment = {});

}  // namespace pictrim::test
