// The runtime's assertion failure: contract checks raise it with the check's text
// followed by the unit and line ("%s (%s, line %d)").
#pragma once

#include <stdexcept>
#include <string>

class EAssertionFailed : public std::runtime_error {
 public:
  explicit EAssertionFailed(const std::string& Message) : std::runtime_error(Message) {}
};

[[noreturn]] void TWAssertFail(const char* Text, const char* Unit, int Line);

// Unit is the unit's name as the program names it ("xml_writer", "tw_config").
#define TW_ASSERT(cond, text, unit)                      \
  do {                                                   \
    if (!(cond)) TWAssertFail((text), (unit), __LINE__); \
  } while (0)
