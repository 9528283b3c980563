// Installing the product on a machine: the store folder, the provisioned backup patterns, the
// settings file with the defaults of a fresh installation, and the stubs of the maker's
// programs that a restore runs.
#ifndef QUILLOW_APP_CLI_INSTALLATION_H
#define QUILLOW_APP_CLI_INSTALLATION_H

#include <string>
#include <vector>

#include "default_patterns.h"

namespace quillow {

struct InstallResult {
  std::string store;                  // the store folder
  int settings_written = 0;           // defaults written into sswizard.ini (missing keys only)
  std::vector<std::string> programs;  // the program stubs written
};

// Installs on the current machine with `patterns` as the provisioned backup patterns (they
// replace any earlier list). An existing catalogue keeps its snapshots and marks; a fresh one
// is marked consistent. False (with a reason) when a folder, the registry or a file refused.
bool Install(const BackupPatterns& patterns, InstallResult* result, std::string* error);

// Replaces the provisioned backup patterns only.
bool ProvisionPatterns(const BackupPatterns& patterns);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_INSTALLATION_H
