// The states of the current Metalink format: rule violations are recorded
// with the state machine, which fails the document once it has been read.
#include "foundation/util_number.h"
#include "foundation/util_path.h"
#include "metalink/MetalinkParserController.h"
#include "metalink/MetalinkParserState.h"
#include "metalink/MetalinkParserStateMachine.h"
#include "metalink/metalink_states.h"

namespace quarn {
namespace metalink {

namespace {

bool is(const char* localname, const char* nsUri, const char* name) {
  return isElement(localname, nsUri, name, NS_V4);
}

const XmlAttr* attr(const std::vector<XmlAttr>& attrs, const char* name) {
  return findAttr(attrs, name, NS_V4);
}

// The value of an attribute that must be present and not empty, else empty.
std::string required(const std::vector<XmlAttr>& attrs, const char* name) {
  const XmlAttr* a = attr(attrs, name);
  return a ? attrValue(*a) : std::string();
}

// A "priority" attribute: 999999 when absent, false after logging a bad one.
bool readPriority(MetalinkParserStateMachine* psm, const std::vector<XmlAttr>& attrs,
                  const char* element, int32_t& priority) {
  priority = 999999;
  const XmlAttr* a = attr(attrs, "priority");
  if (!a) {
    return true;
  }
  if (!util::parseIntNoThrow(priority, attrValue(*a))) {
    psm->logError(std::string("Bad ") + element + "@priority");
    return false;
  }
  if (priority < 1 || priority > 999999) {
    psm->logError(std::string(element) + "@priority is out of range");
    return false;
  }
  return true;
}

class SizeState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    int64_t size;
    if (util::parseLLIntNoThrow(size, characters) && size >= 0) {
      psm->ctrl()->setFileLengthOfEntry(size);
    } else {
      psm->ctrl()->cancelEntryTransaction();
      psm->logError("Bad size");
    }
  }
};

class PieceHashState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->addHashOfChunkChecksumV4(std::move(characters));
  }
};

const PieceHashState pieceHashState;

class PiecesState : public BufferingMetalinkParserState {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>&) const override {
    if (is(localname, nsUri, "hash")) {
      psm->pushState(&pieceHashState);
    } else {
      psm->setSkipTagState();
    }
  }
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string) const override {
    psm->ctrl()->commitChunkChecksumTransactionV4();
  }
};

class MetaurlState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->setURLOfMetaurl(std::move(characters));
    psm->ctrl()->commitMetaurlTransaction();
  }
};

const SizeState sizeState;
const PiecesState piecesState;
const MetaurlState metaurlState;

void beginUrl(MetalinkParserStateMachine* psm, const std::vector<XmlAttr>& attrs) {
  psm->pushState(urlState());
  int32_t priority;
  if (!readPriority(psm, attrs, "url", priority)) {
    return;
  }
  auto* ctrl = psm->ctrl();
  ctrl->newResourceTransaction();
  ctrl->setLocationOfResource(required(attrs, "location"));
  ctrl->setPriorityOfResource(priority);
}

void beginMetaurl(MetalinkParserStateMachine* psm, const std::vector<XmlAttr>& attrs) {
  psm->pushState(&metaurlState);
  std::string name;
  if (const XmlAttr* a = attr(attrs, "name")) {
    name = attrValue(*a);
    if (name.empty() || util::detectDirTraversal(name)) {
      psm->logError("Bad metaurl@name");
      return;
    }
  }
  int32_t priority;
  if (!readPriority(psm, attrs, "metaurl", priority)) {
    return;
  }
  std::string mediatype = required(attrs, "mediatype");
  if (mediatype.empty()) {
    psm->logError("Missing metaurl@mediatype");
    return;
  }
  auto* ctrl = psm->ctrl();
  ctrl->newMetaurlTransaction();
  ctrl->setPriorityOfMetaurl(priority);
  ctrl->setMediatypeOfMetaurl(std::move(mediatype));
  ctrl->setNameOfMetaurl(std::move(name));
}

void beginHash(MetalinkParserStateMachine* psm, const std::vector<XmlAttr>& attrs) {
  psm->pushState(hashState());
  std::string type = required(attrs, "type");
  if (type.empty()) {
    psm->logError("Missing hash@type");
    return;
  }
  psm->ctrl()->newChecksumTransaction();
  psm->ctrl()->setTypeOfChecksum(std::move(type));
}

void beginPieces(MetalinkParserStateMachine* psm, const std::vector<XmlAttr>& attrs) {
  psm->pushState(&piecesState);
  std::string lengthText = required(attrs, "length");
  if (lengthText.empty()) {
    psm->logError("Missing pieces@length");
    return;
  }
  uint32_t length;
  if (!util::parseUIntNoThrow(length, lengthText)) {
    psm->logError("Bad pieces@length");
    return;
  }
  std::string type = required(attrs, "type");
  if (type.empty()) {
    psm->logError("Missing pieces@type");
    return;
  }
  auto* ctrl = psm->ctrl();
  ctrl->newChunkChecksumTransactionV4();
  ctrl->setLengthOfChunkChecksumV4(length);
  ctrl->setTypeOfChunkChecksumV4(std::move(type));
}

void beginSignature(MetalinkParserStateMachine* psm, const std::vector<XmlAttr>& attrs) {
  psm->pushState(signatureState());
  std::string mediatype = required(attrs, "mediatype");
  if (mediatype.empty()) {
    psm->logError("Missing signature@mediatype");
    return;
  }
  psm->ctrl()->newSignatureTransaction();
  psm->ctrl()->setTypeOfSignature(std::move(mediatype));
}

class FileState : public FileMetalinkParserStateBase {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>& attrs) const override {
    if (pushDescriptionState(psm, localname, nsUri, NS_V4)) {
      return;
    }
    if (is(localname, nsUri, "size")) {
      psm->pushState(&sizeState);
    } else if (is(localname, nsUri, "metaurl")) {
      beginMetaurl(psm, attrs);
    } else if (is(localname, nsUri, "url")) {
      beginUrl(psm, attrs);
    } else if (is(localname, nsUri, "hash")) {
      beginHash(psm, attrs);
    } else if (is(localname, nsUri, "pieces")) {
      beginPieces(psm, attrs);
    } else if (is(localname, nsUri, "signature")) {
      beginSignature(psm, attrs);
    } else {
      psm->setSkipTagState();
    }
  }
};

const FileState fileState;

class MetalinkState : public MetalinkParserState {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>& attrs) const override {
    if (!is(localname, nsUri, "file")) {
      psm->setSkipTagState();
      return;
    }
    psm->pushState(&fileState);
    std::string name = required(attrs, "name");
    if (name.empty()) {
      psm->logError("Missing file@name");
      return;
    }
    if (util::detectDirTraversal(name)) {
      psm->logError("Bad file@name");
      return;
    }
    psm->ctrl()->newEntryTransaction();
    psm->ctrl()->setFileNameOfEntry(std::move(name));
  }
};

const MetalinkState metalinkState;

}  // namespace

const MetalinkParserState* metalinkStateV4() {
  return &metalinkState;
}

}  // namespace metalink
}  // namespace quarn
