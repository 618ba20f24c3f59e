#include "config/ChecksumOptionHandler.h"

#include <algorithm>

#include "config/Option.h"
#include "config/option_text.h"
#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"

namespace quarn {

void ChecksumOptionHandler::parseArg(Option& option, const std::string& value) const {
  auto [type, digest] = option_text::divideStripped(value, '=');
  if (!acceptableTypes_.empty() &&
      std::find(acceptableTypes_.begin(), acceptableTypes_.end(), type) == acceptableTypes_.end()) {
    throw DL_ABORT_EX(fmt("Checksum type %s is not acceptable", type.c_str()));
  }
  if (!MessageDigest::isValidHash(util::toLower(type), util::toLower(digest))) {
    throw DL_ABORT_EX(_("Unrecognized checksum"));
  }
  option.put(pref_, value);
}

}  // namespace quarn
