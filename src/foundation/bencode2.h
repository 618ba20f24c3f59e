#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "foundation/ValueBase.h"

namespace quarn {
namespace bencode2 {

// The value tree of a bencoded buffer; empty for empty input. Malformed input raises
// DlAbortEx with error code 25. Bytes after the top-level value are ignored; the third
// form reports in end how many bytes the value occupied.
std::unique_ptr<ValueBase> decode(const unsigned char* data, size_t length);
std::unique_ptr<ValueBase> decode(const std::string& data);
std::unique_ptr<ValueBase> decode(const unsigned char* data, size_t length, size_t& end);

// Booleans and nulls have no bencoding and are left out, dictionary keys included.
std::string encode(const ValueBase* value);

}  // namespace bencode2
}  // namespace quarn
