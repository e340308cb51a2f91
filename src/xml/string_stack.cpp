#include "xml/string_stack.h"

#include "platform/tw_assert.h"

namespace {
constexpr const char* kUnit = "string_stack";
}

void TStringStack::Push(const std::u16string& S) {
  TW_ASSERT(Count < MaxEntries, "require: stack has room for entries.", kUnit);
  if (Count > 0) Items[Count - 1] = std::move(Top);
  ++Count;
  Top = S;
  TW_ASSERT(!IsEmpty(), "ensure: stack is not empty anymore.", kUnit);
}

void TStringStack::Pop() {
  TW_ASSERT(Count > 0, "require: stack should not be empty.", kUnit);
  --Count;
  if (Count > 0)
    Top = std::move(Items[Count - 1]);
  else
    Top.clear();
}

void TStringStack::Clear() {
  Count = 0;
  TW_ASSERT(IsEmpty(), "ensure: stack is empty now.", kUnit);
}
