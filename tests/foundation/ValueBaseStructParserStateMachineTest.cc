#include "foundation/ValueBaseStructParserStateMachine.h"

#include <gtest/gtest.h>

#include "foundation/json.h"

namespace quarn {

namespace {

using S = StructParserStateMachine;

void string(ValueBaseStructParserStateMachine& psm, int kind, const std::string& text) {
  psm.beginElement(kind);
  psm.charactersCallback(text.data(), text.size());
  psm.endElement(kind);
}

void number(ValueBaseStructParserStateMachine& psm, int64_t n, int fraction = 0, int exp = 0) {
  psm.beginElement(S::STRUCT_NUMBER_T);
  psm.numberCallback(n, fraction, exp);
  psm.endElement(S::STRUCT_NUMBER_T);
}

// An object with the members (name, number) given, built from events.
std::string objectOf(bool allowEmptyNames,
                     std::initializer_list<std::pair<std::string, int64_t>> members) {
  ValueBaseStructParserStateMachine psm;
  psm.setAllowEmptyMemberName(allowEmptyNames);
  psm.beginElement(S::STRUCT_DICT_T);
  for (const auto& [name, value] : members) {
    string(psm, S::STRUCT_DICT_KEY_T, name);
    psm.beginElement(S::STRUCT_DICT_DATA_T);
    number(psm, value);
    psm.endElement(S::STRUCT_DICT_DATA_T);
  }
  psm.endElement(S::STRUCT_DICT_T);
  auto result = psm.getResult();
  return json::encode(result.get());
}

}  // namespace

TEST(ValueBaseStructParserStateMachineTest, EventWalkOfAnObjectHoldingAnArray) {
  ValueBaseStructParserStateMachine psm;
  psm.beginElement(S::STRUCT_DICT_T);
  string(psm, S::STRUCT_DICT_KEY_T, "a");
  psm.beginElement(S::STRUCT_DICT_DATA_T);
  psm.beginElement(S::STRUCT_ARRAY_T);
  psm.beginElement(S::STRUCT_ARRAY_DATA_T);
  number(psm, 2, 9, 0);
  psm.endElement(S::STRUCT_ARRAY_DATA_T);
  psm.beginElement(S::STRUCT_ARRAY_DATA_T);
  string(psm, S::STRUCT_STRING_T, "x");
  psm.endElement(S::STRUCT_ARRAY_DATA_T);
  psm.beginElement(S::STRUCT_ARRAY_DATA_T);
  psm.beginElement(S::STRUCT_BOOL_T);
  psm.boolCallback(true);
  psm.endElement(S::STRUCT_BOOL_T);
  psm.endElement(S::STRUCT_ARRAY_DATA_T);
  psm.beginElement(S::STRUCT_ARRAY_DATA_T);
  psm.beginElement(S::STRUCT_NULL_T);
  psm.endElement(S::STRUCT_NULL_T);
  psm.endElement(S::STRUCT_ARRAY_DATA_T);
  psm.endElement(S::STRUCT_ARRAY_T);
  psm.endElement(S::STRUCT_DICT_DATA_T);
  psm.endElement(S::STRUCT_DICT_T);
  auto result = psm.getResult();
  ASSERT_NE(nullptr, result);
  EXPECT_EQ("{\"a\":[2,\"x\",true,null]}", json::encode(result.get()));
  EXPECT_EQ(nullptr, psm.getResult());
}

TEST(ValueBaseStructParserStateMachineTest, MemberNames) {
  EXPECT_EQ("{\"b\":2}", objectOf(false, {{"", 1}, {"b", 2}}));
  EXPECT_EQ("{\"\":1,\"b\":2}", objectOf(true, {{"", 1}, {"b", 2}}));
  EXPECT_EQ("{\"a\":2}", objectOf(false, {{"a", 1}, {"a", 2}}));
}

TEST(ValueBaseStructParserStateMachineTest, TopLevelScalarAndReset) {
  ValueBaseStructParserStateMachine psm;
  string(psm, S::STRUCT_STRING_T, "top");
  auto result = psm.getResult();
  ASSERT_NE(nullptr, valueAs<String>(result));
  EXPECT_EQ("top", valueAs<String>(result)->s());

  // A half-built tree is dropped by reset().
  psm.beginElement(S::STRUCT_ARRAY_T);
  psm.beginElement(S::STRUCT_ARRAY_DATA_T);
  psm.reset();
  number(psm, -5);
  EXPECT_EQ("-5", json::encode(psm.getResult().get()));
}

TEST(ValueBaseStructParserStateMachineTest, ControllerFrames) {
  rpc::XmlRpcRequestParserController controller;
  controller.setMethodName("system.multicall");
  controller.setCurrentFrameValue(Dict::g());
  controller.pushFrame();
  controller.setCurrentFrameName("k");
  controller.setCurrentFrameValue(String::g(std::string("v")));
  controller.popStructFrame();
  // A member without a value is left out.
  controller.pushFrame();
  controller.setCurrentFrameName("empty");
  controller.popStructFrame();
  EXPECT_EQ("{\"k\":\"v\"}", json::encode(controller.getCurrentFrameValue().get()));
  EXPECT_EQ("system.multicall", controller.getMethodName());
  controller.reset();
  EXPECT_EQ(nullptr, controller.getCurrentFrameValue());
  EXPECT_EQ("", controller.getMethodName());
}

}  // namespace quarn
