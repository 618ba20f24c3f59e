#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

class StructParserStateMachine;

namespace json {

// Incremental JSON reader: takes a document in pieces of any size and reports its structure
// to a StructParserStateMachine. Never raises; errors are negative results and stick until
// reset().
class JsonParser {
 public:
  // Members with an empty name are dropped when the events build a value tree.
  static constexpr bool allowEmptyMemberName = false;

  enum Error {
    ERR_UNEXPECTED_CHAR_BEFORE_VAL = -1,
    ERR_INVALID_OBJECT_KEY = -2,
    ERR_UNEXPECTED_CHAR_AFTER_NAME = -3,
    ERR_UNEXPECTED_CHAR_AFTER_MEMBER = -4,
    ERR_INVALID_UNICODE_POINT = -5,
    ERR_NUMBER_MISSING_DIGITS = -6,
    ERR_NUMBER_OVERFLOW = -7,
    ERR_UNEXPECTED_CHAR_AFTER_ELEMENT = -8,
    ERR_UNEXPECTED_LITERAL = -9,
    ERR_PREMATURE_DATA = -10,
    ERR_STRUCTURE_TOO_DEEP = -11,
  };

  // The nesting stack's capacity, its top-level entry included.
  static constexpr size_t MAX_NESTING = 50;

  explicit JsonParser(StructParserStateMachine* psm);

  // Bytes consumed (fewer than size when the top-level value ended inside them), 0 once
  // done or for no bytes, or a negative error.
  ssize_t parseUpdate(const char* data, size_t size);
  // As parseUpdate, and ERR_PREMATURE_DATA unless the top-level value is complete.
  ssize_t parseFinal(const char* data, size_t size);
  void reset();

 private:
  enum State {
    JSON_FINISH,
    JSON_ERROR,
    JSON_VALUE,
    JSON_OBJECT_KEY,
    JSON_OBJECT_NAME_SEP,
    JSON_OBJECT_VALUE_SEP,
    JSON_ARRAY,
    JSON_ARRAY_VALUE_SEP,
    JSON_STRING,
    JSON_STRING_ESCAPE,
    JSON_STRING_UNICODE,
    JSON_STRING_LOW_SURROGATE_ESCAPE,
    JSON_STRING_LOW_SURROGATE_U,
    JSON_STRING_LOW_SURROGATE,
    JSON_NUMBER,
    JSON_NUMBER_FRACTION,
    JSON_NUMBER_EXPONENT_SIGN,
    JSON_NUMBER_EXPONENT,
    JSON_TRUE,
    JSON_FALSE,
    JSON_NULL,
  };

  enum StackEntry : uint8_t {
    STACK_TOP_LEVEL,
    STACK_MEMBER_NAME,
    STACK_MEMBER_VALUE,
    STACK_ARRAY_ELEMENT,
  };

  // Each returns the bytes it consumed (0: the byte is read again in the new state) or a
  // negative error.
  ssize_t step(const char* data, size_t size);
  ssize_t readValue(unsigned char c);
  ssize_t readObjectKey(unsigned char c);
  ssize_t readObjectNameSep(unsigned char c);
  ssize_t readObjectValueSep(unsigned char c);
  ssize_t readArray(unsigned char c);
  ssize_t readArrayValueSep(unsigned char c);
  ssize_t readString(const char* data, size_t size);
  ssize_t readEscape(unsigned char c);
  ssize_t readUnicode(unsigned char c);
  ssize_t readLowSurrogate(unsigned char c);
  ssize_t readNumber(unsigned char c);
  ssize_t readFraction(unsigned char c);
  ssize_t readExponentSign(unsigned char c);
  ssize_t readExponent(unsigned char c);
  ssize_t readLiteral(unsigned char c, const char* literal, size_t length);

  void onStringEnd();
  void onNumberEnd();
  void onLiteralEnd();
  void onValueEnd();
  void emitCodePoint(uint32_t codePoint);

  StructParserStateMachine* psm_;
  std::vector<StackEntry> stack_;
  State currentState_;
  uint16_t codePoint_;
  uint16_t codePoint2_;
  int numberSign_;
  int64_t number_;
  int32_t frac_;
  int expSign_;
  int32_t exp_;
  size_t numConsumed_;
  int lastError_;
};

}  // namespace json
}  // namespace quarn
