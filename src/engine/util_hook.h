#pragma once

#include <memory>

namespace quarn {

class Option;
struct Pref;
class RequestGroup;

namespace util {

// Starts the user command named by the option, if any, as a child process with
// the download's id, its number of files and its first file's path. The child
// is never waited for.
void executeHookByOptName(const RequestGroup* group, const Option* option, const Pref* pref);
void executeHookByOptName(const std::shared_ptr<RequestGroup>& group, const Option* option,
                          const Pref* pref);

}  // namespace util
}  // namespace quarn
