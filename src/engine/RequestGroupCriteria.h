#pragma once

namespace quarn {

class RequestGroup;

// Decides whether a download handler applies to a download.
class RequestGroupCriteria {
 public:
  virtual ~RequestGroupCriteria() = default;
  virtual bool match(const RequestGroup* requestGroup) const = 0;
};

}  // namespace quarn
