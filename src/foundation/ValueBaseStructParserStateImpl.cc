#include "foundation/ValueBaseStructParserStateImpl.h"

#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/StructParserStateMachine.h"
#include "foundation/ValueBaseStructParserStateMachine.h"

namespace quarn {

void ValueValueBaseStructParserState::beginElement(ValueBaseStructParserStateMachine* psm,
                                                   int elementType) {
  switch (elementType) {
    case StructParserStateMachine::STRUCT_DICT_T:
      psm->setCurrentFrameValue(Dict::g());
      psm->pushDictState();
      break;
    case StructParserStateMachine::STRUCT_ARRAY_T:
      psm->setCurrentFrameValue(List::g());
      psm->pushArrayState();
      break;
    case StructParserStateMachine::STRUCT_STRING_T:
      psm->pushStringState();
      break;
    case StructParserStateMachine::STRUCT_NUMBER_T:
      psm->pushNumberState();
      break;
    case StructParserStateMachine::STRUCT_BOOL_T:
      psm->pushBoolState();
      break;
    case StructParserStateMachine::STRUCT_NULL_T:
      psm->pushNullState();
      break;
    default:
      break;
  }
}

void DictValueBaseStructParserState::beginElement(ValueBaseStructParserStateMachine* psm,
                                                  int elementType) {
  switch (elementType) {
    case StructParserStateMachine::STRUCT_DICT_KEY_T:
      psm->pushFrame();
      psm->pushDictKeyState();
      break;
    case StructParserStateMachine::STRUCT_DICT_DATA_T:
      psm->pushDictDataState();
      break;
    default:
      break;
  }
}

void DictKeyValueBaseStructParserState::endElement(ValueBaseStructParserStateMachine* psm, int) {
  psm->setCurrentFrameName(psm->getCharacters());
}

void DictDataValueBaseStructParserState::endElement(ValueBaseStructParserStateMachine* psm, int) {
  psm->popDictFrame();
}

void ArrayValueBaseStructParserState::beginElement(ValueBaseStructParserStateMachine* psm,
                                                   int elementType) {
  if (elementType == StructParserStateMachine::STRUCT_ARRAY_DATA_T) {
    psm->pushFrame();
    psm->pushArrayDataState();
  }
}

void ArrayDataValueBaseStructParserState::endElement(ValueBaseStructParserStateMachine* psm, int) {
  psm->popArrayFrame();
}

void StringValueBaseStructParserState::endElement(ValueBaseStructParserStateMachine* psm, int) {
  psm->setCurrentFrameValue(String::g(psm->getCharacters()));
}

void NumberValueBaseStructParserState::endElement(ValueBaseStructParserStateMachine* psm, int) {
  // Only the integer part is kept: 2.9 becomes 2.
  psm->setCurrentFrameValue(Integer::g(psm->getNumber()));
}

void BoolValueBaseStructParserState::endElement(ValueBaseStructParserStateMachine* psm, int) {
  psm->setCurrentFrameValue(psm->getBool() ? Bool::gTrue() : Bool::gFalse());
}

void NullValueBaseStructParserState::endElement(ValueBaseStructParserStateMachine* psm, int) {
  psm->setCurrentFrameValue(Null::g());
}

}  // namespace quarn
