#include <gtest/gtest.h>

#include "platform/tw_assert.h"

TEST(Assert, MessageNamesUnitAndLine) {
  try {
    TW_ASSERT(false, "require: positive capacity.", "xml_writer");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(std::string(e.what()).rfind("require: positive capacity. (xml_writer, line ", 0), 0u);
  }
}
