#include "config/HttpProxyOptionHandler.h"

#include "config/Option.h"
#include "foundation/DlAbortEx.h"
#include "foundation/i18n.h"
#include "foundation/uri.h"
#include "foundation/util_string.h"

namespace quarn {

void HttpProxyOptionHandler::parseArg(Option& option, const std::string& value) const {
  if (value.empty()) {
    option.put(pref_, value);
    return;
  }
  std::string text = value;
  if (!util::startsWith(text, "http://") && !util::startsWith(text, "https://") &&
      !util::startsWith(text, "ftp://")) {
    text = "http://" + text;
  }
  uri::UriStruct us;
  if (!uri::parse(us, text)) {
    throw DL_ABORT_EX(_("unrecognized proxy format"));
  }
  us.protocol = "http";
  option.put(pref_, uri::construct(us));
}

}  // namespace quarn
