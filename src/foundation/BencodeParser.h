#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

class StructParserStateMachine;

namespace bittorrent {

// Incremental bencode reader: takes a document in pieces of any size and reports its
// structure to a StructParserStateMachine. Never raises; errors are negative results and
// stick until reset().
class BencodeParser {
 public:
  // Keys of length 0 are kept when the events build a value tree.
  static constexpr bool allowEmptyMemberName = true;

  enum Error {
    ERR_UNEXPECTED_CHAR_BEFORE_VAL = -1,
    ERR_INVALID_NUMBER = -2,
    ERR_NUMBER_OVERFLOW = -3,
    ERR_PREMATURE_DATA = -4,
    ERR_STRUCTURE_TOO_DEEP = -5,
    ERR_INVALID_STRING_LENGTH = -6,
    ERR_STRING_LENGTH_OVERFLOW = -7,
    ERR_INVALID_FLOAT_NUMBER = -8,
  };

  // The nesting stack's capacity, its top-level entry included.
  static constexpr size_t MAX_NESTING = 50;

  explicit BencodeParser(StructParserStateMachine* psm);

  // Bytes consumed (fewer than size when the top-level value ended inside them), 0 once
  // done or for no bytes, or a negative error.
  ssize_t parseUpdate(const char* data, size_t size);
  // As parseUpdate, and ERR_PREMATURE_DATA when the input ended inside a value. Empty
  // input is not an error and yields no value.
  ssize_t parseFinal(const char* data, size_t size);
  void reset();

 private:
  enum State {
    BENCODE_FINISH,
    BENCODE_ERROR,
    BENCODE_INITIAL,
    BENCODE_VALUE,
    BENCODE_DICT_KEY,
    BENCODE_LIST,
    BENCODE_STRING_LEN,
    BENCODE_STRING,
    BENCODE_NUMBER_SIGN,
    BENCODE_NUMBER,
    BENCODE_FLOAT_NUMBER_IGNORE,
  };

  enum StackEntry : uint8_t {
    STACK_TOP_LEVEL,
    STACK_DICT_KEY,
    STACK_DICT_VALUE,
    STACK_LIST_ELEMENT,
  };

  // Each returns the bytes it consumed (0: the byte is read again in the new state) or a
  // negative error.
  ssize_t step(const char* data, size_t size);
  ssize_t readValue(unsigned char c);
  ssize_t readDictKey(unsigned char c);
  ssize_t readList(unsigned char c);
  ssize_t readStringLength(unsigned char c);
  ssize_t readString(const char* data, size_t size);
  ssize_t readNumberSign(unsigned char c);
  ssize_t readNumber(unsigned char c);
  ssize_t readFloatNumberIgnore(unsigned char c);

  void onStringEnd();
  void onNumberEnd();
  void onValueEnd();

  StructParserStateMachine* psm_;
  std::vector<StackEntry> stack_;
  State currentState_;
  int64_t strLength_;
  int numberSign_;
  int64_t number_;
  size_t numConsumed_;
  int lastError_;
};

}  // namespace bittorrent
}  // namespace quarn
