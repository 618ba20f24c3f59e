#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn {

// Receives the structure a JSON or bencode reader finds, as a flat stream of events.
class StructParserStateMachine {
 public:
  // The element kinds passed to beginElement and endElement.
  enum {
    STRUCT_DICT_T = 0,
    STRUCT_DICT_KEY_T = 1,
    STRUCT_DICT_DATA_T = 2,
    STRUCT_ARRAY_T = 3,
    STRUCT_ARRAY_DATA_T = 4,
    STRUCT_STRING_T = 5,
    STRUCT_NUMBER_T = 6,
    STRUCT_BOOL_T = 7,
    STRUCT_NULL_T = 8,
  };

  virtual ~StructParserStateMachine() = default;
  virtual void beginElement(int elementType) = 0;
  virtual void endElement(int elementType) = 0;
  virtual void reset() = 0;
  virtual void charactersCallback(const char* data, size_t length) = 0;
  virtual void numberCallback(int64_t number, int fraction, int exponent) = 0;
  virtual void boolCallback(bool value) = 0;
};

}  // namespace quarn
