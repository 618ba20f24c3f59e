#pragma once

#include <sys/types.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "net/ProgressUpdate.h"

namespace quarn {

class SocketCore;

// The send queue of one connection: whole messages are queued and written as
// far as the socket takes them, several at once where they fit.
class SocketBuffer {
 public:
  class BufEntry {
   public:
    explicit BufEntry(std::unique_ptr<ProgressUpdate> progressUpdate);
    virtual ~BufEntry() = default;
    virtual ssize_t send(const std::shared_ptr<SocketCore>& socket, size_t offset) = 0;
    virtual bool final(size_t offset) const = 0;
    virtual size_t getLength() const = 0;
    virtual const void* getData() const = 0;
    void progressUpdate(size_t length, bool complete);

   private:
    std::unique_ptr<ProgressUpdate> progressUpdate_;
  };

  class ByteArrayBufEntry : public BufEntry {
   public:
    ByteArrayBufEntry(std::vector<unsigned char> bytes,
                      std::unique_ptr<ProgressUpdate> progressUpdate);
    ssize_t send(const std::shared_ptr<SocketCore>& socket, size_t offset) override;
    bool final(size_t offset) const override;
    size_t getLength() const override;
    const void* getData() const override;

   private:
    std::vector<unsigned char> bytes_;
  };

  class StringBufEntry : public BufEntry {
   public:
    StringBufEntry(std::string s, std::unique_ptr<ProgressUpdate> progressUpdate);
    ssize_t send(const std::shared_ptr<SocketCore>& socket, size_t offset) override;
    bool final(size_t offset) const override;
    size_t getLength() const override;
    const void* getData() const override;

   private:
    std::string str_;
  };

  explicit SocketBuffer(std::shared_ptr<SocketCore> socket);

  // An empty message queues nothing; its progress update is dropped uncalled.
  void pushBytes(std::vector<unsigned char> bytes,
                 std::unique_ptr<ProgressUpdate> progressUpdate = nullptr);
  void pushStr(std::string data, std::unique_ptr<ProgressUpdate> progressUpdate = nullptr);

  // Writes what the socket takes now; returns the bytes written by this call.
  ssize_t send();

  bool sendBufferIsEmpty() const { return bufq_.empty(); }
  size_t getBufferEntrySize() const { return bufq_.size(); }

 private:
  // Pops the entries that `written` bytes completed, starting with the front
  // entry from offset_; false when an entry was left incomplete.
  bool consume(size_t written, size_t entries);

  std::shared_ptr<SocketCore> socket_;
  std::deque<std::unique_ptr<BufEntry>> bufq_;
  size_t offset_;
};

}  // namespace quarn
