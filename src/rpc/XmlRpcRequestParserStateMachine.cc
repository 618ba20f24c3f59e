#include "rpc/XmlRpcRequestParserStateMachine.h"

#include <cstring>

#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/String.h"
#include "foundation/base64.h"
#include "foundation/util_number.h"

namespace quarn {
namespace rpc {

namespace {

bool is(const char* a, const char* b) {
  return std::strcmp(a, b) == 0;
}

// Answers every child with itself, so that the whole subtree is ignored.
class UnknownElementState : public XmlRpcRequestParserState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char*) const override;
  void endElement(XmlRpcRequestParserStateMachine*, const char*, std::string) const override {}
  bool needsCharactersBuffering() const override { return false; }
};

const UnknownElementState unknownElementState;

void UnknownElementState::beginElement(XmlRpcRequestParserStateMachine* psm, const char*) const {
  psm->pushState(&unknownElementState);
}

void skip(XmlRpcRequestParserStateMachine* psm) {
  psm->pushState(&unknownElementState);
}

// A state whose children are all skipped and whose text is handed to end().
class LeafState : public XmlRpcRequestParserState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char*) const override { skip(psm); }
  bool needsCharactersBuffering() const override { return true; }
};

class MethodNameState : public LeafState {
 public:
  void endElement(XmlRpcRequestParserStateMachine* psm, const char*,
                  std::string characters) const override {
    psm->controller().setMethodName(std::move(characters));
  }
};

class IntState : public LeafState {
 public:
  void endElement(XmlRpcRequestParserStateMachine* psm, const char*,
                  std::string characters) const override {
    int32_t value;
    if (util::parseIntNoThrow(value, characters)) {
      psm->controller().setCurrentFrameValue(Integer::g(value));
    }
  }
};

class StringState : public LeafState {
 public:
  void endElement(XmlRpcRequestParserStateMachine* psm, const char*,
                  std::string characters) const override {
    psm->controller().setCurrentFrameValue(String::g(std::move(characters)));
  }
};

class Base64State : public LeafState {
 public:
  void endElement(XmlRpcRequestParserStateMachine* psm, const char*,
                  std::string characters) const override {
    psm->controller().setCurrentFrameValue(
        String::g(base64::decode(characters.begin(), characters.end())));
  }
};

class NameState : public LeafState {
 public:
  void endElement(XmlRpcRequestParserStateMachine* psm, const char*,
                  std::string characters) const override {
    psm->controller().setCurrentFrameName(std::move(characters));
  }
};

// A state with a fixed child table, whose own text is not wanted.
class ContainerState : public XmlRpcRequestParserState {
 public:
  void endElement(XmlRpcRequestParserStateMachine*, const char*, std::string) const override {}
  bool needsCharactersBuffering() const override { return false; }
};

const MethodNameState methodNameState;
const IntState intState;
const StringState stringState;
const Base64State base64State;
const NameState nameState;

class ValueState : public XmlRpcRequestParserState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override;
  void endElement(XmlRpcRequestParserStateMachine* psm, const char*,
                  std::string characters) const override {
    auto& ctrl = psm->controller();
    if (!ctrl.getCurrentFrameValue() && !characters.empty()) {
      ctrl.setCurrentFrameValue(String::g(std::move(characters)));
    }
  }
  bool needsCharactersBuffering() const override { return true; }
};

class ArrayValueState : public ValueState {
 public:
  void endElement(XmlRpcRequestParserStateMachine* psm, const char* name,
                  std::string characters) const override {
    ValueState::endElement(psm, name, std::move(characters));
    psm->controller().popArrayFrame();
  }
};

const ValueState valueState;
const ArrayValueState arrayValueState;

class DataState : public ContainerState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override {
    if (is(name, "value")) {
      psm->controller().pushFrame();
      psm->pushState(&arrayValueState);
    } else {
      skip(psm);
    }
  }
};

const DataState dataState;

class ArrayState : public ContainerState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override {
    if (is(name, "data")) {
      psm->pushState(&dataState);
    } else {
      skip(psm);
    }
  }
};

class MemberState : public ContainerState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override {
    if (is(name, "name")) {
      psm->pushState(&nameState);
    } else if (is(name, "value")) {
      psm->pushState(&valueState);
    } else {
      skip(psm);
    }
  }
  void endElement(XmlRpcRequestParserStateMachine* psm, const char*, std::string) const override {
    psm->controller().popStructFrame();
  }
};

const ArrayState arrayState;
const MemberState memberState;

class StructState : public ContainerState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override {
    if (is(name, "member")) {
      psm->controller().pushFrame();
      psm->pushState(&memberState);
    } else {
      skip(psm);
    }
  }
};

const StructState structState;

void ValueState::beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const {
  auto& ctrl = psm->controller();
  if (is(name, "i4") || is(name, "int")) {
    psm->pushState(&intState);
  } else if (is(name, "string") || is(name, "double")) {
    psm->pushState(&stringState);
  } else if (is(name, "base64")) {
    psm->pushState(&base64State);
  } else if (is(name, "struct")) {
    ctrl.setCurrentFrameValue(Dict::g());
    psm->pushState(&structState);
  } else if (is(name, "array")) {
    ctrl.setCurrentFrameValue(List::g());
    psm->pushState(&arrayState);
  } else {
    skip(psm);
  }
}

class ParamState : public ContainerState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override {
    if (is(name, "value")) {
      psm->pushState(&valueState);
    } else {
      skip(psm);
    }
  }
  void endElement(XmlRpcRequestParserStateMachine* psm, const char*, std::string) const override {
    psm->controller().popArrayFrame();
  }
};

const ParamState paramState;

class ParamsState : public ContainerState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override {
    if (is(name, "param")) {
      psm->controller().pushFrame();
      psm->pushState(&paramState);
    } else {
      skip(psm);
    }
  }
};

const ParamsState paramsState;

class MethodCallState : public ContainerState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override {
    if (is(name, "methodName")) {
      psm->pushState(&methodNameState);
    } else if (is(name, "params")) {
      psm->controller().setCurrentFrameValue(List::g());
      psm->pushState(&paramsState);
    } else {
      skip(psm);
    }
  }
};

const MethodCallState methodCallState;

class InitialState : public ContainerState {
 public:
  void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const override {
    if (is(name, "methodCall")) {
      psm->pushState(&methodCallState);
    } else {
      skip(psm);
    }
  }
};

const InitialState initialState;

}  // namespace

XmlRpcRequestParserStateMachine::XmlRpcRequestParserStateMachine() {
  stateStack_.push(&initialState);
}

bool XmlRpcRequestParserStateMachine::needsCharactersBuffering() const {
  return stateStack_.top()->needsCharactersBuffering();
}

bool XmlRpcRequestParserStateMachine::finished() const {
  return stateStack_.top() == &initialState;
}

void XmlRpcRequestParserStateMachine::beginElement(const char* localname, const char* /*prefix*/,
                                                   const char* /*nsUri*/,
                                                   const std::vector<XmlAttr>& /*attrs*/) {
  stateStack_.top()->beginElement(this, localname);
}

void XmlRpcRequestParserStateMachine::endElement(const char* localname, const char* /*prefix*/,
                                                 const char* /*nsUri*/, std::string characters) {
  stateStack_.top()->endElement(this, localname, std::move(characters));
  stateStack_.pop();
}

void XmlRpcRequestParserStateMachine::reset() {
  controller_.reset();
  while (!stateStack_.empty()) {
    stateStack_.pop();
  }
  stateStack_.push(&initialState);
}

}  // namespace rpc
}  // namespace quarn
