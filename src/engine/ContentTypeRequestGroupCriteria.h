#pragma once

#include "engine/RequestGroupCriteria.h"

namespace quarn {

// Matches a one-file download by its file extension or by the content type
// the server reported, both without regard to ASCII case.
class ContentTypeRequestGroupCriteria : public RequestGroupCriteria {
 public:
  // Both are null-terminated static tables; they are not copied.
  ContentTypeRequestGroupCriteria(const char** contentTypes, const char** extensions);

  bool match(const RequestGroup* requestGroup) const override;

 private:
  const char** contentTypes_;
  const char** extensions_;
};

}  // namespace quarn
