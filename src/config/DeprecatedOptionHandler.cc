#include "config/DeprecatedOptionHandler.h"

#include "config/help_tags.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {

DeprecatedOptionHandler::DeprecatedOptionHandler(OptionHandler* depOptHandler,
                                                 const OptionHandler* repOptHandler, bool stillWork,
                                                 std::string additionalMessage)
    : depOptHandler_(depOptHandler),
      repOptHandler_(repOptHandler),
      stillWork_(stillWork),
      additionalMessage_(std::move(additionalMessage)) {
  depOptHandler_->addTag(TAG_DEPRECATED);
}

DeprecatedOptionHandler::~DeprecatedOptionHandler() = default;

void DeprecatedOptionHandler::parse(Option& option, const std::string& value) const {
  if (repOptHandler_) {
    QLOG_WARN(fmt(_("--%s option is deprecated. Use --%s option instead. %s"),
                  depOptHandler_->getName(), repOptHandler_->getName(),
                  additionalMessage_.c_str()));
    repOptHandler_->parse(option, value);
  } else if (stillWork_) {
    QLOG_WARN(fmt(_("--%s option will be deprecated in the future release. %s"),
                  depOptHandler_->getName(), additionalMessage_.c_str()));
    depOptHandler_->parse(option, value);
  } else {
    QLOG_WARN(fmt(_("--%s option is deprecated. %s"), depOptHandler_->getName(),
                  additionalMessage_.c_str()));
  }
}

}  // namespace quarn
