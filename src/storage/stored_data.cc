#include "storage/stored_data.h"

#include "foundation/util_stream.h"
#include "storage/DiskAdaptor.h"

namespace quarn {

std::string readStoredData(const std::shared_ptr<DiskAdaptor>& adaptor) {
  adaptor->openExistingFile();
  std::string data;
  try {
    data = util::toString(adaptor);
  } catch (...) {
    adaptor->closeFile();
    throw;
  }
  adaptor->closeFile();
  return data;
}

}  // namespace quarn
