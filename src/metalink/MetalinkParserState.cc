#include "metalink/MetalinkParserState.h"

#include <cstring>

#include "metalink/MetalinkParserController.h"
#include "metalink/MetalinkParserStateMachine.h"

namespace quarn {

void MetalinkParserState::beginElement(MetalinkParserStateMachine* psm, const char*, const char*,
                                       const char*, const std::vector<XmlAttr>&) const {
  psm->setSkipTagState();
}

void FileMetalinkParserStateBase::endElement(MetalinkParserStateMachine* psm, const char*,
                                             const char*, const char*, std::string) const {
  psm->ctrl()->commitEntryTransaction();
}

namespace metalink {

const char NS_V3[] = "http://www.metalinker.org/";
const char NS_V4[] = "urn:ietf:params:xml:ns:metalink";

bool isElement(const char* localname, const char* nsUri, const char* name, const char* ns) {
  return nsUri && std::strcmp(nsUri, ns) == 0 && std::strcmp(localname, name) == 0;
}

const XmlAttr* findAttr(const std::vector<XmlAttr>& attrs, const char* localname, const char* ns) {
  for (const auto& attr : attrs) {
    if (std::strcmp(attr.localname, localname) == 0 &&
        (!attr.nsUri || std::strcmp(attr.nsUri, ns) == 0)) {
      return &attr;
    }
  }
  return nullptr;
}

std::string attrValue(const XmlAttr& attr) {
  return std::string(attr.value, attr.valueLength);
}

}  // namespace metalink
}  // namespace quarn
