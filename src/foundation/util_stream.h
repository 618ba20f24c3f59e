#pragma once

#include <memory>
#include <string>

namespace quarn {

class BinaryStream;

namespace util {

// The whole content of the stream.
std::string toString(const std::shared_ptr<BinaryStream>& binaryStream);

}  // namespace util
}  // namespace quarn
