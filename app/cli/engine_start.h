// The start that every command changing the store makes: the engine loaded, its catalogue
// consistent, the snapshot named by the person listed.
#ifndef QUILLOW_APP_CLI_ENGINE_START_H
#define QUILLOW_APP_CLI_ENGINE_START_H

#include <string>

#include "engine_library.h"

namespace quillow {

// Loads the engine (which runs Init). Returns 0 when it loaded and its consistency check
// passed; otherwise says why on stderr and returns the exit code: 1 when it did not load, 3
// when an interrupted operation or a damaged catalogue must be repaired first.
int StartConsistentEngine(EngineLibrary& engine);

// Returns 0 when the snapshot list names `name` (filling *record when given); otherwise says so
// on stderr and returns 1. The engine itself accepts any name, and a person who mistyped one
// should hear about it.
int RequireListed(EngineLibrary& engine, const std::string& name, SSImgRecord* record = nullptr);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_ENGINE_START_H
