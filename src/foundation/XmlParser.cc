#include "foundation/XmlParser.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "foundation/ParserStateMachine.h"

namespace quarn {
namespace xml {

namespace {

constexpr ssize_t ERR_MALFORMED = -1;
constexpr int ERR_RESET = -2;

void onStartElement(void* userData, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* uri, int, const xmlChar**, int nbAttributes, int,
                    const xmlChar** attributes) {
  auto* sd = static_cast<SessionData*>(userData);
  std::vector<XmlAttr> attrs(nbAttributes);
  for (int i = 0; i < nbAttributes; ++i) {
    const xmlChar** attr = attributes + 5 * i;
    attrs[i].localname = reinterpret_cast<const char*>(attr[0]);
    attrs[i].prefix = reinterpret_cast<const char*>(attr[1]);
    attrs[i].nsUri = reinterpret_cast<const char*>(attr[2]);
    attrs[i].value = reinterpret_cast<const char*>(attr[3]);
    attrs[i].valueLength = attr[4] - attr[3];
  }
  sd->psm_->beginElement(reinterpret_cast<const char*>(localname),
                         reinterpret_cast<const char*>(prefix), reinterpret_cast<const char*>(uri),
                         attrs);
  if (sd->psm_->needsCharactersBuffering()) {
    sd->charactersStack_.emplace();
  }
}

void onEndElement(void* userData, const xmlChar* localname, const xmlChar* prefix,
                  const xmlChar* uri) {
  auto* sd = static_cast<SessionData*>(userData);
  std::string characters;
  if (sd->psm_->needsCharactersBuffering() && !sd->charactersStack_.empty()) {
    characters = std::move(sd->charactersStack_.top());
    sd->charactersStack_.pop();
  }
  sd->psm_->endElement(reinterpret_cast<const char*>(localname),
                       reinterpret_cast<const char*>(prefix), reinterpret_cast<const char*>(uri),
                       std::move(characters));
}

void onCharacters(void* userData, const xmlChar* ch, int len) {
  auto* sd = static_cast<SessionData*>(userData);
  if (sd->psm_->needsCharactersBuffering() && !sd->charactersStack_.empty()) {
    sd->charactersStack_.top().append(reinterpret_cast<const char*>(ch), len);
  }
}

// Only element and text callbacks: without entity or DTD callbacks libxml2 neither stores
// entity declarations nor fetches external subsets or entities.
xmlSAXHandler makeSaxHandler() {
  xmlSAXHandler handler{};
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = &onStartElement;
  handler.endElementNs = &onEndElement;
  handler.characters = &onCharacters;
  // Blanks between elements are text like any other.
  handler.ignorableWhitespace = &onCharacters;
  return handler;
}

// Entity references are replaced so that attribute values arrive decoded; with no entity
// declarations ever stored only the predefined and character references can be. No
// network, and no diagnostics on the console for malformed input: the caller reports.
constexpr int PARSER_OPTIONS =
    XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

}  // namespace

// While it lives, every diagnostic libxml2 raises on this thread comes here instead of the
// console. Some failures (a conversion from the declared encoding that fails, for one) are
// only reported this way and not in the result of xmlParseChunk.
class XmlParser::ErrorCapture {
 public:
  ErrorCapture()
      : previousHandler_(xmlStructuredError), previousContext_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(this, &XmlParser::ErrorCapture::onError);
  }
  ~ErrorCapture() { xmlSetStructuredErrorFunc(previousContext_, previousHandler_); }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

  bool sawError() const { return sawError_; }

 private:
  static void onError(void* userData, xmlErrorPtr error) {
    if (error && error->level >= XML_ERR_ERROR) {
      static_cast<XmlParser::ErrorCapture*>(userData)->sawError_ = true;
    }
  }

  xmlStructuredErrorFunc previousHandler_;
  void* previousContext_;
  bool sawError_ = false;
};

void XmlParser::ContextDeleter::operator()(_xmlParserCtxt* ctx) const {
  // A document type declaration makes libxml2 keep its entity declarations in a document
  // of its own even in streaming mode; the context does not free it.
  if (ctx->myDoc) {
    xmlFreeDoc(ctx->myDoc);
    ctx->myDoc = nullptr;
  }
  xmlFreeParserCtxt(ctx);
}

XmlParser::XmlParser(ParserStateMachine* psm) : psm_(psm), lastError_(0) {
  sessionData_.psm_ = psm;
  ctx_ = createContext();
}

XmlParser::~XmlParser() = default;

XmlParser::Context XmlParser::createContext() {
  xmlSAXHandler handler = makeSaxHandler();
  Context ctx(xmlCreatePushParserCtxt(&handler, &sessionData_, nullptr, 0, nullptr));
  if (ctx) {
    xmlCtxtUseOptions(ctx.get(), PARSER_OPTIONS);
  }
  return ctx;
}

// libxml2 does not give the same verdict for every cutting of the same bytes (conversions
// from a declared encoding depend on where chunks end), so it is always handed the input
// in blocks of the same size counted from the start of the document, whatever pieces the
// caller passes. At most one block is held back; the rest goes in at parseFinal.
ssize_t XmlParser::parseChunk(const char* data, size_t size, bool final) {
  if (lastError_ != 0) {
    return lastError_;
  }
  if (!ctx_) {
    lastError_ = ERR_MALFORMED;
    return lastError_;
  }
  ErrorCapture errors;
  size_t offset = 0;
  while (offset < size) {
    if (pending_.empty() && size - offset >= BLOCK_SIZE) {
      if (!pushBlock(data + offset, BLOCK_SIZE, false, errors)) {
        return lastError_;
      }
      offset += BLOCK_SIZE;
      continue;
    }
    size_t n = std::min(BLOCK_SIZE - pending_.size(), size - offset);
    pending_.append(data + offset, n);
    offset += n;
    if (pending_.size() == BLOCK_SIZE) {
      bool ok = pushBlock(pending_.data(), pending_.size(), false, errors);
      pending_.clear();
      if (!ok) {
        return lastError_;
      }
    }
  }
  if (final) {
    bool ok = pushBlock(pending_.data(), pending_.size(), true, errors);
    pending_.clear();
    if (!ok) {
      return lastError_;
    }
  }
  return size;
}

bool XmlParser::pushBlock(const char* data, size_t size, bool final, const ErrorCapture& errors) {
  if (xmlParseChunk(ctx_.get(), data, static_cast<int>(size), final) != 0 || errors.sawError()) {
    lastError_ = ERR_MALFORMED;
    return false;
  }
  return true;
}

ssize_t XmlParser::parseUpdate(const char* data, size_t size) {
  return parseChunk(data, size, false);
}

ssize_t XmlParser::parseFinal(const char* data, size_t size) {
  return parseChunk(data, size, true);
}

int XmlParser::reset() {
  psm_->reset();
  sessionData_.charactersStack_ = std::stack<std::string>();
  pending_.clear();
  // A fresh context is the surest way to forget the previous document.
  ctx_ = createContext();
  if (!ctx_) {
    lastError_ = ERR_RESET;
    return ERR_RESET;
  }
  return 0;
}

bool parseFile(const std::string& path, ParserStateMachine* psm) {
  int fd;
  if (path == "/dev/stdin") {
    fd = STDIN_FILENO;
  } else {
    while ((fd = open(path.c_str(), O_RDONLY | O_CLOEXEC)) == -1 && errno == EINTR) {
    }
    if (fd == -1) {
      return false;
    }
  }
  XmlParser parser(psm);
  char buf[4096];
  bool ok = false;
  for (;;) {
    ssize_t nread;
    while ((nread = read(fd, buf, sizeof(buf))) == -1 && errno == EINTR) {
    }
    if (nread < 0) {
      break;
    }
    if (nread == 0) {
      ok = parser.parseFinal(nullptr, 0) >= 0;
      break;
    }
    if (parser.parseUpdate(buf, nread) < 0) {
      break;
    }
  }
  close(fd);
  return ok;
}

}  // namespace xml
}  // namespace quarn
