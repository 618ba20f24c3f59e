#pragma once

#include <memory>
#include <vector>

namespace quarn {

class ProgressUpdate;

// Where the messages of one peer connection queue their bytes; the
// dispatcher writes them to the socket afterwards.
class PeerConnection {
 public:
  virtual ~PeerConnection() = default;
  virtual void pushBytes(std::vector<unsigned char> bytes,
                         std::unique_ptr<ProgressUpdate> progressUpdate) = 0;
};

}  // namespace quarn
