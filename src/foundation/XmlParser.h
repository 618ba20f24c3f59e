#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <stack>
#include <string>

struct _xmlParserCtxt;

namespace quarn {

class ParserStateMachine;

namespace xml {

// What the libxml2 callbacks work on: one text buffer per open element that wants its
// text, and the state machine the events go to.
struct SessionData {
  std::stack<std::string> charactersStack_;
  ParserStateMachine* psm_;
};

// Drives a ParserStateMachine from libxml2's namespace-aware push parser. Neither DTDs nor
// external entities are loaded, and the network is never used.
class XmlParser {
 public:
  explicit XmlParser(ParserStateMachine* psm);
  ~XmlParser();
  XmlParser(const XmlParser&) = delete;
  XmlParser& operator=(const XmlParser&) = delete;

  // The size of the pieces libxml2 is given.
  static constexpr size_t BLOCK_SIZE = 4096;

  // size on success; -1 for malformed XML. An error sticks, reset() included. Up to
  // BLOCK_SIZE bytes may be held back, so an error can show in a later call.
  ssize_t parseUpdate(const char* data, size_t size);
  // As parseUpdate, and also checks that the document is complete.
  ssize_t parseFinal(const char* data, size_t size);
  // 0, or -2 when a new parser context could not be made.
  int reset();

 private:
  struct ContextDeleter {
    void operator()(_xmlParserCtxt* ctx) const;
  };
  using Context = std::unique_ptr<_xmlParserCtxt, ContextDeleter>;

  class ErrorCapture;

  Context createContext();
  ssize_t parseChunk(const char* data, size_t size, bool final);
  bool pushBlock(const char* data, size_t size, bool final, const ErrorCapture& errors);

  ParserStateMachine* psm_;
  SessionData sessionData_;
  Context ctx_;
  std::string pending_;
  int lastError_;
};

// Whether the file at path ("/dev/stdin" = standard input) was read and parsed without
// error. Whether the document was complete is the state machine's to say.
bool parseFile(const std::string& path, ParserStateMachine* psm);

}  // namespace xml
}  // namespace quarn
