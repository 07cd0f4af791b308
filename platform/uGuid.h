#pragma once
// GUIDs: new random ones, their braced text form, and parsing it.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvan {

// A GUID as 16 bytes, in the field order of its text form.
using TGUID = std::array<uint8_t, 16>;

// A new random (version 4) GUID.
TGUID NewGuid();

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string GuidToText(const TGUID& guid);
std::string NewGuidText();

// True when the text has exactly the braced 8-4-4-4-12 hexadecimal form.
bool IsGuidText(std::string_view text);

// Parses the braced form (either case); all zero when the text is not a GUID.
TGUID GuidFromText(std::string_view text);

}  // namespace korvan
