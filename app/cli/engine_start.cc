#include "engine_start.h"

#include "cli.h"

namespace quillow {

int StartConsistentEngine(EngineLibrary& engine) {
  std::string error;
  if (!engine.Load(&error)) return Fail(error);
  const LONG status = engine.init_status();
  if (status == SS_OK) return 0;
  return Fail(StatusMeaning(status) + " (" + std::to_string(status) +
                  "); repair it first with \"quillow rollback\"",
              3);
}

int RequireListed(EngineLibrary& engine, const std::string& name, SSImgRecord* record) {
  SSImgRecord found{};
  if (engine.ListSSImg(name.c_str(), &found) == 1) {
    if (record != nullptr) *record = found;
    return 0;
  }
  return Fail("no snapshot named \"" + name + "\" (see \"quillow list\")");
}

}  // namespace quillow
