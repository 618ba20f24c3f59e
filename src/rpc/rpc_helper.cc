#include "rpc/rpc_helper.h"

#include <algorithm>

#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/String.h"

namespace quarn {
namespace rpc {

bool IntegerGE::operator()(const Integer* param, std::string* error) const {
  if (param->i() >= bound_) {
    return true;
  }
  if (error) {
    *error = fmt("the value must be greater than or equal to %d.", bound_);
  }
  return false;
}

const Integer* checkRequiredInteger(const RpcRequest& req, size_t index,
                                    const IntegerGE& validator) {
  const Integer* param = checkParam<Integer>(req, index, true);
  std::string error;
  if (!validator(param, &error)) {
    throw DL_ABORT_EX(fmt("The integer parameter at %lu has invalid value: %s",
                          static_cast<unsigned long>(index), error.c_str()));
  }
  return param;
}

GroupId::gid_t str2Gid(const String* s) {
  const std::string& text = s->s();
  if (text.size() > 16) {
    throw DL_ABORT_EX(fmt("Invalid GID %s", text.c_str()));
  }
  GroupId::gid_t n;
  switch (GroupId::expandUnique(n, text)) {
    case GroupId::EXPAND_OK:
      return n;
    case GroupId::EXPAND_NOT_FOUND:
      throw DL_ABORT_EX(fmt("GID %s is not found", text.c_str()));
    case GroupId::EXPAND_NOT_UNIQUE:
      throw DL_ABORT_EX(fmt("GID %s is not unique", text.c_str()));
    default:
      throw DL_ABORT_EX(fmt("Invalid GID %s", text.c_str()));
  }
}

std::unique_ptr<String> createGIDResponse(GroupId::gid_t gid) {
  return String::g(GroupId::toHex(gid));
}

std::unique_ptr<String> createOKResponse() {
  return String::g("OK");
}

void toStringList(std::vector<std::string>& out, const List* list) {
  if (!list) {
    return;
  }
  for (const auto& e : *list) {
    if (const String* s = valueAs<String>(e.get())) {
      out.push_back(s->s());
    }
  }
}

size_t clampPosition(int64_t pos, size_t size) {
  if (pos < 0) {
    throw DL_ABORT_EX("Position must be greater than or equal to 0.");
  }
  return static_cast<uint64_t>(pos) > size ? size : static_cast<size_t>(pos);
}

}  // namespace rpc
}  // namespace quarn
