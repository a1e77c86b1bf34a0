#pragma once
// What an operator is told when the line fails: the system's own words first, and for a reply
// that never came or came garbled, a second line that says which port at which rate, which
// exchange, and what to check, chosen from the failure's kind and exchange.

#include "link/serial_link.h"

#include <string>

namespace zar4 {

// The second line for `failure` on the port `name` (the device behind it: `device`); empty for
// the kinds that need none.
std::string linkFailureAdvice(const LinkFailure& failure, const std::string& name,
                              const std::string& device);

// The link's last failure as a box or a console shows it: its text, and the advice (if any) on
// the next line.
std::string linkFailureMessage(const SerialLink& link);

} // namespace zar4
