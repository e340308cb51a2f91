#include "platform/tw_assert.h"

void TWAssertFail(const char* Text, const char* Unit, int Line) {
  throw EAssertionFailed(std::string(Text) + " (" + Unit + ", line " + std::to_string(Line) + ")");
}
