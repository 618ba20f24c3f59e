// The states of the older Metalink format (3.0). Input that does not fit is
// dropped without a word: that format has no error reporting of its own.
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
  return isElement(localname, nsUri, name, NS_V3);
}

const XmlAttr* attr(const std::vector<XmlAttr>& attrs, const char* name) {
  return findAttr(attrs, name, NS_V3);
}

// A "maxconnections" attribute above 0, else -1.
int32_t maxConnectionsOf(const std::vector<XmlAttr>& attrs) {
  int32_t n;
  const XmlAttr* a = attr(attrs, "maxconnections");
  return a && util::parseIntNoThrow(n, attrValue(*a)) && n > 0 ? n : -1;
}

// Preference 100 (the best) is priority 1; no usable preference is the worst.
int32_t priorityOf(const std::vector<XmlAttr>& attrs) {
  int32_t pref;
  const XmlAttr* a = attr(attrs, "preference");
  if (a && util::parseIntNoThrow(pref, attrValue(*a)) && pref >= 0) {
    return 101 - pref;
  }
  return 999999;
}

class SizeState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    int64_t size;
    if (util::parseLLIntNoThrow(size, characters) && size >= 0) {
      psm->ctrl()->setFileLengthOfEntry(size);
    }
  }
};

class PieceHashState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->setMessageDigestOfChunkChecksum(std::move(characters));
    psm->ctrl()->addHashOfChunkChecksum();
  }
};

const PieceHashState pieceHashState;

class PiecesState : public BufferingMetalinkParserState {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>& attrs) const override {
    if (!is(localname, nsUri, "hash")) {
      psm->setSkipTagState();
      return;
    }
    psm->pushState(&pieceHashState);
    uint32_t index;
    const XmlAttr* piece = attr(attrs, "piece");
    if (piece && util::parseUIntNoThrow(index, attrValue(*piece))) {
      psm->ctrl()->createNewHashOfChunkChecksum(index);
    } else {
      // A hash that cannot be placed makes the whole set useless.
      psm->ctrl()->cancelChunkChecksumTransaction();
    }
  }
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string) const override {
    psm->ctrl()->commitChunkChecksumTransaction();
  }
};

const PiecesState piecesState;

class VerificationState : public BufferingMetalinkParserState {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>& attrs) const override {
    auto* ctrl = psm->ctrl();
    if (is(localname, nsUri, "hash")) {
      psm->pushState(hashState());
      if (const XmlAttr* type = attr(attrs, "type")) {
        ctrl->newChecksumTransaction();
        ctrl->setTypeOfChecksum(attrValue(*type));
      }
    } else if (is(localname, nsUri, "pieces")) {
      psm->pushState(&piecesState);
      uint32_t length;
      const XmlAttr* len = attr(attrs, "length");
      const XmlAttr* type = attr(attrs, "type");
      if (len && util::parseUIntNoThrow(length, attrValue(*len)) && type) {
        ctrl->newChunkChecksumTransaction();
        ctrl->setLengthOfChunkChecksum(length);
        ctrl->setTypeOfChunkChecksum(attrValue(*type));
      }
    } else if (is(localname, nsUri, "signature")) {
      psm->pushState(signatureState());
      const XmlAttr* type = attr(attrs, "type");
      if (!type) {
        return;
      }
      ctrl->newSignatureTransaction();
      ctrl->setTypeOfSignature(attrValue(*type));
      const XmlAttr* file = attr(attrs, "file");
      if (file && !util::detectDirTraversal(attrValue(*file))) {
        ctrl->setFileOfSignature(attrValue(*file));
      }
    } else {
      psm->setSkipTagState();
    }
  }
};

class ResourcesState : public BufferingMetalinkParserState {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>& attrs) const override {
    if (!is(localname, nsUri, "url")) {
      psm->setSkipTagState();
      return;
    }
    psm->pushState(urlState());
    const XmlAttr* type = attr(attrs, "type");
    if (!type) {
      return;
    }
    const XmlAttr* location = attr(attrs, "location");
    auto* ctrl = psm->ctrl();
    ctrl->newResourceTransaction();
    ctrl->setTypeOfResource(attrValue(*type));
    ctrl->setLocationOfResource(location ? attrValue(*location) : std::string());
    ctrl->setPriorityOfResource(priorityOf(attrs));
    ctrl->setMaxConnectionsOfResource(maxConnectionsOf(attrs));
  }
};

const SizeState sizeState;
const VerificationState verificationState;
const ResourcesState resourcesState;

class FileState : public FileMetalinkParserStateBase {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>& attrs) const override {
    if (pushDescriptionState(psm, localname, nsUri, NS_V3)) {
      return;
    }
    if (is(localname, nsUri, "size")) {
      psm->pushState(&sizeState);
    } else if (is(localname, nsUri, "verification")) {
      psm->pushState(&verificationState);
    } else if (is(localname, nsUri, "resources")) {
      psm->pushState(&resourcesState);
      psm->ctrl()->setMaxConnectionsOfEntry(maxConnectionsOf(attrs));
    } else {
      psm->setSkipTagState();
    }
  }
};

const FileState fileState;

class FilesState : public BufferingMetalinkParserState {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>& attrs) const override {
    if (!is(localname, nsUri, "file")) {
      psm->setSkipTagState();
      return;
    }
    psm->pushState(&fileState);
    const XmlAttr* name = attr(attrs, "name");
    if (!name) {
      return;
    }
    std::string filename = attrValue(*name);
    if (filename.empty() || util::detectDirTraversal(filename)) {
      return;
    }
    psm->ctrl()->newEntryTransaction();
    psm->ctrl()->setFileNameOfEntry(std::move(filename));
  }
};

const FilesState filesState;

class MetalinkState : public MetalinkParserState {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>&) const override {
    if (is(localname, nsUri, "files")) {
      psm->pushState(&filesState);
    } else {
      psm->setSkipTagState();
    }
  }
};

const MetalinkState metalinkState;

}  // namespace

const MetalinkParserState* metalinkStateV3() {
  return &metalinkState;
}

}  // namespace metalink
}  // namespace quarn
