#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/GroupId.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/fmt.h"
#include "rpc/RpcRequest.h"

namespace quarn {
namespace rpc {

// The parameter at index (counted after the token) as a T; null when absent
// and not required. Raises for a missing required one or the wrong type.
template <typename T>
const T* checkParam(const RpcRequest& req, size_t index, bool required = false) {
  if (!req.params || index >= req.params->size()) {
    if (required) {
      throw DL_ABORT_EX(
          fmt("The parameter at %lu is required but missing.", static_cast<unsigned long>(index)));
    }
    return nullptr;
  }
  const T* p = valueAs<T>(req.params->get(index));
  if (!p) {
    throw DL_ABORT_EX(
        fmt("The parameter at %lu has wrong type.", static_cast<unsigned long>(index)));
  }
  return p;
}

// Accepts values >= bound.
class IntegerGE {
 public:
  explicit IntegerGE(int32_t bound) : bound_(bound) {}
  bool operator()(const Integer* param, std::string* error) const;

 private:
  int32_t bound_;
};

const Integer* checkRequiredInteger(const RpcRequest& req, size_t index,
                                    const IntegerGE& validator);

// A gid given as a unique prefix of 1 to 16 hex digits of a known download.
GroupId::gid_t str2Gid(const String* s);

std::unique_ptr<String> createGIDResponse(GroupId::gid_t gid);
std::unique_ptr<String> createOKResponse();

// Appends the text of every String element; others and a null list add nothing.
void toStringList(std::vector<std::string>& out, const List* list);

// A queue position of a call: a 64-bit value that must be >= 0, clamped to
// size so that no large value wraps when it becomes a 32-bit index.
size_t clampPosition(int64_t pos, size_t size);

}  // namespace rpc
}  // namespace quarn
