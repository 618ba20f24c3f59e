#include "engine/SaveSessionCommand.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"
#include "engine/SessionSerializer.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {

SaveSessionCommand::SaveSessionCommand(cuid_t cuid, DownloadEngine* e,
                                       std::chrono::seconds interval)
    : TimeBasedCommand(cuid, e, interval, true) {}

void SaveSessionCommand::preProcess() {
  auto* e = getDownloadEngine();
  if (e->getRequestGroupMan()->downloadFinished() || e->isHaltRequested()) {
    enableExit();
  }
}

void SaveSessionCommand::process() {
  auto* e = getDownloadEngine();
  const std::string& filename = e->getOption()->get(PREF_SAVE_SESSION);
  if (filename.empty()) {
    return;
  }
  auto* rgman = e->getRequestGroupMan();
  SessionSerializer sessionSerializer(rgman);
  std::string hash = sessionSerializer.calculateHash();
  if (hash == rgman->getLastSessionHash()) {
    QLOG_INFO(
        "No change since last serialization or startup. No serialization is necessary this "
        "time.");
    return;
  }
  // The hash stands for what is on disk, so it is kept only once the save
  // succeeded; a failed save is tried again on the next pass.
  if (sessionSerializer.save(filename)) {
    rgman->setLastSessionHash(hash);
    QLOG_NOTICE(fmt(_("Serialized session to '%s' successfully."), filename.c_str()));
  } else {
    QLOG_ERROR(fmt(_("Failed to serialize session to '%s'."), filename.c_str()));
  }
}

}  // namespace quarn
