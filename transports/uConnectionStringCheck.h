#pragma once
// The strict check of a connection string that a person typed, against the transports' keys.
#include <string>

namespace korvan::transport {

// The strict rule for a connection string that a person typed (duomat-cli -c,
// duomat --ingra/--outra): the library's readers skip what they do not
// understand and keep the old setting, which turns a typo into a line that is
// silently wrong. Every item must be key=value; "provider" must name one of the
// five providers exactly; every other key must be one that provider applies,
// given once, with a value of its form and range; the keys a provider cannot
// open without must be there. Blanks and line breaks are ignored, as the
// provider lookup deletes them.
//
// Empty when the string is fine; otherwise one sentence that names the key and
// the values it takes.
std::string CheckConnectionString(const std::string& connection);

}  // namespace korvan::transport
