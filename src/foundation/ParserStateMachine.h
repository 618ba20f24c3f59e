#pragma once

#include <string>
#include <vector>

#include "foundation/XmlAttr.h"

namespace quarn {

// Receives the elements of an XML document from xml::XmlParser.
class ParserStateMachine {
 public:
  virtual ~ParserStateMachine() = default;
  // Whether the element now being read wants its text collected.
  virtual bool needsCharactersBuffering() const = 0;
  // Whether a complete document has been recognised.
  virtual bool finished() const = 0;
  virtual void beginElement(const char* localname, const char* prefix, const char* nsUri,
                            const std::vector<XmlAttr>& attrs) = 0;
  // characters is the element's collected text, empty when it wanted none.
  virtual void endElement(const char* localname, const char* prefix, const char* nsUri,
                          std::string characters) = 0;
  virtual void reset() = 0;
};

}  // namespace quarn
