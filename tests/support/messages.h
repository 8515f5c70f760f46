// Every message the tool writes, as the tests expect its bytes: in
// Shift_JIS, in UTF-8 and in English, with the name (or, in the
// pattern-limit message, the limit) where "%s" stands, the numbers where
// the "%d"s stand, and CR LF at the end.
// Written out here on their own, not taken from the tool, so that a wrong
// byte in the tool's table fails the tests.

#ifndef TESSARN_TESTS_SUPPORT_MESSAGES_H_
#define TESSARN_TESTS_SUPPORT_MESSAGES_H_

#include <string>
#include <vector>

#include "messages/messages.h"

namespace tessarn::testing {

std::string expectedMessage(MessageId id, const std::string& name = "",
                            MessageLanguage language = MessageLanguage::kShiftJis,
                            const std::vector<long long>& numbers = {});

}  // namespace tessarn::testing

#endif  // TESSARN_TESTS_SUPPORT_MESSAGES_H_
