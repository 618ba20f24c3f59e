// The element states that both Metalink formats share.
#include "metalink/MetalinkParserController.h"
#include "metalink/MetalinkParserState.h"
#include "metalink/MetalinkParserStateMachine.h"
#include "metalink/metalink_states.h"

namespace quarn {
namespace metalink {

namespace {

class VersionState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->setVersionOfEntry(std::move(characters));
  }
};

class LanguageState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->setLanguageOfEntry(std::move(characters));
  }
};

class OSState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->setOSOfEntry(std::move(characters));
  }
};

class HashState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->setHashOfChecksum(std::move(characters));
    psm->ctrl()->commitChecksumTransaction();
  }
};

class SignatureState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->setBodyOfSignature(std::move(characters));
    psm->ctrl()->commitSignatureTransaction();
  }
};

class URLState : public BufferingMetalinkParserState {
 public:
  void endElement(MetalinkParserStateMachine* psm, const char*, const char*, const char*,
                  std::string characters) const override {
    psm->ctrl()->setURLOfResource(std::move(characters));
    psm->ctrl()->commitResourceTransaction();
  }
};

const VersionState versionStateInstance;
const LanguageState languageStateInstance;
const OSState osStateInstance;
const HashState hashStateInstance;
const SignatureState signatureStateInstance;
const URLState urlStateInstance;

}  // namespace

bool pushDescriptionState(MetalinkParserStateMachine* psm, const char* localname, const char* nsUri,
                          const char* ns) {
  if (isElement(localname, nsUri, "version", ns)) {
    psm->pushState(&versionStateInstance);
  } else if (isElement(localname, nsUri, "language", ns)) {
    psm->pushState(&languageStateInstance);
  } else if (isElement(localname, nsUri, "os", ns)) {
    psm->pushState(&osStateInstance);
  } else {
    return false;
  }
  return true;
}

const MetalinkParserState* hashState() {
  return &hashStateInstance;
}

const MetalinkParserState* signatureState() {
  return &signatureStateInstance;
}

const MetalinkParserState* urlState() {
  return &urlStateInstance;
}

}  // namespace metalink
}  // namespace quarn
