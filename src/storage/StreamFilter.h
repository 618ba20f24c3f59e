#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <sys/types.h>

namespace quarn {

class BinaryStream;
class Segment;

// One stage of the body-decoding chain between a connection and the disk. A
// decoding filter passes its output to its delegate; a sink ends the chain.
class StreamFilter {
 public:
  explicit StreamFilter(std::unique_ptr<StreamFilter> delegate = nullptr)
      : delegate_(std::move(delegate)) {}
  virtual ~StreamFilter() = default;

  virtual void init() = 0;
  // Returns the bytes that reached the sink at the bottom of the chain.
  virtual ssize_t transform(const std::shared_ptr<BinaryStream>& out,
                            const std::shared_ptr<Segment>& segment, const uint8_t* inbuf,
                            size_t inlen) = 0;
  virtual bool finished() = 0;
  virtual void release() = 0;
  virtual const std::string& getName() const = 0;
  // Input bytes consumed by the last transform call.
  virtual size_t getBytesProcessed() const = 0;
  // Takes ownership; installs the filter at the bottom of the chain below this one.
  virtual bool installDelegate(std::unique_ptr<StreamFilter> filter);

  StreamFilter* getDelegate() const { return delegate_.get(); }

 protected:
  std::unique_ptr<StreamFilter> delegate_;
};

}  // namespace quarn
