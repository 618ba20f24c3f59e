#include "config/LocalFilePathOptionHandler.h"

#include "config/Option.h"
#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"

namespace quarn {

void LocalFilePathOptionHandler::parseArg(Option& option, const std::string& value) const {
  if (acceptStdin_ && value == "-") {
    option.put(pref_, "/dev/stdin");
    return;
  }
  auto path = util::replace(value, "${HOME}", util::getHomeDir());
  if (namesFile_) {
    auto slash = path.find_last_of('/');
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last == "." || last == "..") {
      throw DL_ABORT_EX(fmt(_("'%s' is not a file name: it names a directory."), value.c_str()));
    }
  }
  if (mustExist_) {
    File f(path);
    std::string error;
    if (!f.exists(error)) {
      throw DL_ABORT_EX(error);
    }
    if (f.isDir()) {
      throw DL_ABORT_EX(fmt(_("Is '%s' a file?"), value.c_str()));
    }
  }
  option.put(pref_, path);
}

std::string LocalFilePathOptionHandler::createPossibleValuesString() const {
  if (!possibleValuesString_.empty()) {
    return possibleValuesString_;
  }
  return acceptStdin_ ? PATH_TO_FILE_STDIN : PATH_TO_FILE;
}

}  // namespace quarn
