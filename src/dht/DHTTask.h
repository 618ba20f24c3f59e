#pragma once

namespace quarn {

// Something the DHT does on its own initiative: started once, then driven by
// the replies and time-outs of its queries until it says it has finished.
class DHTTask {
 public:
  virtual ~DHTTask() = default;
  virtual void startup() = 0;
  virtual bool finished() = 0;
};

}  // namespace quarn
