#pragma once

#include <string>
#include <vector>

#include "foundation/XmlAttr.h"

namespace quarn {

class MetalinkParserStateMachine;

// What one open element of a Metalink document means. States hold no data:
// one instance of each serves every document.
class MetalinkParserState {
 public:
  virtual ~MetalinkParserState() = default;

  // Must push exactly one state for the child element. By default the
  // child's whole subtree is skipped.
  virtual void beginElement(MetalinkParserStateMachine* psm, const char* localname,
                            const char* prefix, const char* nsUri,
                            const std::vector<XmlAttr>& attrs) const;
  virtual void endElement(MetalinkParserStateMachine* /*psm*/, const char* /*localname*/,
                          const char* /*prefix*/, const char* /*nsUri*/,
                          std::string /*characters*/) const {}
  virtual bool needsCharactersBuffering() const { return false; }
};

// A state that wants the text of its element.
class BufferingMetalinkParserState : public MetalinkParserState {
 public:
  bool needsCharactersBuffering() const override { return true; }
};

// The "file" element of either format: its end commits the entry.
class FileMetalinkParserStateBase : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char* localname, const char* prefix,
                  const char* nsUri, std::string characters) const override;
};

namespace metalink {

// The namespaces of the two formats.
extern const char NS_V3[];
extern const char NS_V4[];

// Whether the element is `name` in namespace ns.
bool isElement(const char* localname, const char* nsUri, const char* name, const char* ns);

// The first attribute named localname that has no namespace or namespace ns.
const XmlAttr* findAttr(const std::vector<XmlAttr>& attrs, const char* localname, const char* ns);
std::string attrValue(const XmlAttr& attr);

}  // namespace metalink
}  // namespace quarn
