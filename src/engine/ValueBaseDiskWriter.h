#pragma once

#include <memory>

#include "foundation/DlAbortEx.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/fmt.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/DiskWriter.h"

namespace quarn {

// A disk writer that parses what it is given into a value tree instead of
// storing it. Data must arrive in order; offsets are ignored.
template <typename Parser>
class ValueBaseDiskWriter : public DiskWriter {
 public:
  ValueBaseDiskWriter() : parser_(&psm_), written_(0) {}

  void initAndOpenFile(int64_t /*totalLength*/ = 0) override {
    parser_.reset();
    psm_.reset();
    written_ = 0;
  }
  void openFile(int64_t totalLength = 0) override { initAndOpenFile(totalLength); }
  void openExistingFile(int64_t totalLength = 0) override { initAndOpenFile(totalLength); }
  void closeFile() override {}
  // A remote document is held in memory only up to the limit of other
  // in-memory downloads.
  void writeData(const uint8_t* data, size_t len, int64_t /*offset*/) override {
    if (len > ByteArrayDiskWriter::DEFAULT_MAX_LENGTH - written_) {
      throw DL_ABORT_EX(fmt("Maximum length(%lu) exceeded.",
                            static_cast<unsigned long>(ByteArrayDiskWriter::DEFAULT_MAX_LENGTH)));
    }
    written_ += len;
    parser_.parseUpdate(reinterpret_cast<const char*>(data), len);
  }
  ssize_t readData(uint8_t* /*data*/, size_t /*len*/, int64_t /*offset*/) override { return 0; }
  int64_t size() override { return 0; }

  // Ends the parse: the value tree, or null with error set below 0 when the
  // data was not a complete document.
  std::unique_ptr<ValueBase> finalize(ssize_t& error) {
    error = parser_.parseFinal(nullptr, 0);
    auto result = error < 0 ? nullptr : psm_.getResult();
    parser_.reset();
    psm_.reset();
    return result;
  }

 private:
  ValueBaseStructParserStateMachine psm_;
  Parser parser_;
  size_t written_;
};

}  // namespace quarn
