#include "engine/Context.h"

#include <cstdlib>

#include "config/Option.h"
#include "config/feature_config.h"
#include "config/option_processing.h"
#include "config/prefs.h"
#include "config/version.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogFactory.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {

namespace {

void setUpLogging(const Option& op) {
  LogFactory::setLogFile(op.get(PREF_LOG));
  LogFactory::setLogLevel(op.get(PREF_LOG_LEVEL));
  LogFactory::setConsoleLogLevel(op.get(PREF_CONSOLE_LOG_LEVEL));
  LogFactory::setColorOutput(op.getAsBool(PREF_ENABLE_COLOR));
  if (op.getAsBool(PREF_QUIET)) {
    LogFactory::consoleOutput_ = false;
  }
  LogFactory::reconfigure();
}

void logBanner() {
  if (!LogFactory::getInstance()->levelEnabled(Logger::Q_INFO)) {
    return;
  }
  QLOG_INFO("<<--- --- --- ---");
  QLOG_INFO("  --- --- --- ---");
  QLOG_INFO("  --- --- --- --->>");
  QLOG_INFO(fmt("%s %s", PACKAGE_NAME, PACKAGE_VERSION));
  QLOG_INFO(usedCompilerAndPlatform());
  QLOG_INFO(getOperatingSystemInfo());
  QLOG_INFO(usedLibs());
  QLOG_INFO(_("Logging started."));
}

}  // namespace

Context::Context(bool standalone, int argc, char** argv,
                 const std::vector<std::pair<std::string, std::string>>& options)
    : option_(std::make_shared<Option>()) {
  int rv = option_processing(*option_, standalone, args_, argc, argv, options);
  if (rv != 0) {
    if (standalone) {
      std::exit(rv);
    }
    throw DL_ABORT_EX("Option processing failed");
  }
  setUpLogging(*option_);
  logBanner();
}

Context::~Context() = default;

}  // namespace quarn
