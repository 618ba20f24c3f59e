#include "storage/uri_host.h"

#include "foundation/uri.h"
#include "foundation/uri_split.h"

namespace quarn {
namespace uri_host {

bool getHostAndScheme(const std::string& uri, std::string& host, std::string& scheme) {
  uri_split_result res;
  if (uri_split(&res, uri.c_str()) != 0) {
    return false;
  }
  host = uri::getFieldString(res, USR_HOST, uri.c_str());
  scheme = uri::getFieldString(res, USR_SCHEME, uri.c_str());
  return true;
}

std::string getHost(const std::string& uri) {
  uri_split_result res;
  if (uri_split(&res, uri.c_str()) != 0) {
    return "";
  }
  return uri::getFieldString(res, USR_HOST, uri.c_str());
}

}  // namespace uri_host
}  // namespace quarn
