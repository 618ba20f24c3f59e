#pragma once

#include <memory>
#include <string>

namespace quarn {

class DiskAdaptor;

// Everything a finished download stored, read into memory; the files are
// closed again whether or not reading succeeds.
std::string readStoredData(const std::shared_ptr<DiskAdaptor>& adaptor);

}  // namespace quarn
