#include "storage/StreamFilter.h"

namespace quarn {

bool StreamFilter::installDelegate(std::unique_ptr<StreamFilter> filter) {
  if (!delegate_) {
    delegate_ = std::move(filter);
    return true;
  }
  return delegate_->installDelegate(std::move(filter));
}

}  // namespace quarn
