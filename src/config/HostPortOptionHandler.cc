#include "config/HostPortOptionHandler.h"

#include "config/Option.h"
#include "foundation/DlAbortEx.h"
#include "foundation/i18n.h"
#include "foundation/uri.h"
#include "foundation/util_number.h"

namespace quarn {

void HostPortOptionHandler::parseArg(Option& option, const std::string& value) const {
  uri::UriStruct us;
  if (!uri::parse(us, "http://" + value)) {
    throw DL_ABORT_EX(_("Unrecognized format"));
  }
  option.put(pref_, value);
  option.put(hostOptionName_, us.host);
  option.put(portOptionName_, util::uitos(us.port));
}

}  // namespace quarn
