#pragma once

#include "storage/AbstractSingleDiskAdaptor.h"

namespace quarn {

class DirectDiskAdaptor : public AbstractSingleDiskAdaptor {
 public:
  const std::string& getFilePath() override;
  size_t utime(const Time& actime, const Time& modtime) override;
};

}  // namespace quarn
