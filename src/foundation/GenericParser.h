#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>

namespace quarn {

// Pairs a push reader with the builder it feeds. AllowEmptyMemberName decides whether a
// dictionary member whose name is empty is kept.
template <typename Parser, typename ParserStateMachine,
          bool AllowEmptyMemberName = Parser::allowEmptyMemberName>
class GenericParser {
 public:
  using ResultType = typename ParserStateMachine::ResultType;

  GenericParser() : parser_(&psm_) { psm_.setAllowEmptyMemberName(AllowEmptyMemberName); }

  ssize_t parseUpdate(const char* data, size_t size) { return parser_.parseUpdate(data, size); }

  // The built tree, or none when the reader reports an error (stored in error). Either
  // way the parser is ready for the next document afterwards.
  ResultType parseFinal(const char* data, size_t size, ssize_t& error) {
    error = parser_.parseFinal(data, size);
    ResultType result = error < 0 ? ParserStateMachine::noResult() : psm_.getResult();
    parser_.reset();
    return result;
  }

  void reset() { parser_.reset(); }

 private:
  ParserStateMachine psm_;
  Parser parser_;
};

// Reads the whole file at path through the parser; none when it cannot be opened or read.
template <typename Parser, typename ParserStateMachine, bool AllowEmptyMemberName>
typename ParserStateMachine::ResultType parseFile(
    GenericParser<Parser, ParserStateMachine, AllowEmptyMemberName>& parser,
    const std::string& path) {
  int fd;
  while ((fd = open(path.c_str(), O_RDONLY | O_CLOEXEC)) == -1 && errno == EINTR) {
  }
  if (fd == -1) {
    return ParserStateMachine::noResult();
  }
  char buf[4096];
  ssize_t error = 0;
  for (;;) {
    ssize_t nread;
    while ((nread = read(fd, buf, sizeof(buf))) == -1 && errno == EINTR) {
    }
    if (nread <= 0) {
      break;
    }
    error = parser.parseUpdate(buf, nread);
    if (error < 0) {
      break;
    }
  }
  close(fd);
  return parser.parseFinal(nullptr, 0, error);
}

}  // namespace quarn
