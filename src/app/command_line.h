#pragma once
// The window's command-line options: the fixed addresses and certificate
// settings, named as morvane-cli names them where the two overlap.

#include <QString>
#include <QStringList>

#include "resolvers/settings.h"

namespace morvane {

struct CommandLine {
  enum class Action { kRun, kShowHelp, kShowVersion, kUsageError };
  Action action = Action::kRun;
  Settings settings;
  QString message;  // help or version text, or what is wrong with the options
};

// arguments[0] is the program. Without options the settings are the defaults.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace morvane
