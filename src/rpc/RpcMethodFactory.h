#pragma once

#include <string>
#include <vector>

namespace quarn {
namespace rpc {

class RpcMethod;

// The method object for a name, made on first use and kept; an unknown name
// gets the method that answers "No such method".
RpcMethod& getMethod(const std::string& name);

// The 36 method names and the 6 notification names, in their fixed order.
const std::vector<std::string>& allMethodNames();
const std::vector<std::string>& allNotificationsNames();

}  // namespace rpc
}  // namespace quarn
