#pragma once
// Connection strings: value forms, the key reader, items, the loose reader, the provider lookup.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "comm/ui_MyInterfacedObject.h"

// Configuration (connection) strings: items key=value separated by ";", for
// example "provider=SERIAL_PORT;comport=3;baudrate=9600", and the process-wide
// registry that turns such a string into a communication interface.

namespace korvan {

namespace ci {
class ICommunicationInterface;
}

// ---- Value forms -----------------------------------------------------------

// Leading spaces, an optional sign, then decimal digits or hexadecimal digits
// after "$", "x", "X", "0x" or "0X"; nothing may follow. The magnitude must fit
// a 32-bit signed integer with its sign ("-$80000000" fits, "$80000000" does
// not). On failure value is 0.
bool StrToIntStrict(std::string_view text, int32_t& value);

// A number in floating-point text form with "." as decimal separator (leading
// spaces, sign, digits, fraction, exponent; 0 is false, any other value true),
// or "True" / "False" in any letter case. On failure value is false.
bool StrToBoolean(std::string_view text, bool& value);

// "-1" for true, "0" for false.
std::string BooleanToStr(bool value);

// ---- Key reader ------------------------------------------------------------
// Used when a string is applied to an interface. Keys are compared exactly;
// blanks before a key and before its "=" are skipped, blanks after the "="
// belong to the value; "\" escapes the next character; ";" inside parentheses
// does not end a value; the first item with the key wins; an "=" that is the
// last character of the string counts as no item. Every reader returns false
// with an empty (0, false) value when the key is absent or the value rejected.

// The decoded value: escaping backslashes removed, or for a value in
// parentheses the text between them as it stands. A lone backslash at the
// very end of the string is dropped.
bool GetConfigurationValue(std::string_view S, std::string_view Key, std::string& Value);
bool GetConfigurationInteger(std::string_view S, std::string_view Key, int32_t& Value);
bool GetConfigurationBoolean(std::string_view S, std::string_view Key, bool& Value);

// ---- Items -----------------------------------------------------------------
// The whole string as the key reader reads each value, for readers that need
// every item (the strict check of a typed string). Blanks are not skipped:
// callers that ignore them delete them first, as the provider lookup does.

struct TConnectionItem {
  std::string Key;    // the key characters before the "="
  std::string Raw;    // the value as written
  std::string Value;  // decoded as GetConfigurationValue decodes it
};

struct TConnectionItems {
  enum class TFault { None, NotKeyValue, Parentheses };
  std::vector<TConnectionItem> Items;  // in order, up to a fault
  TFault Fault = TFault::None;
  // NotKeyValue: the item as written up to its ";"; Parentheses: key=raw value.
  std::string FaultText;
};

// Empty items (";;") are passed over; the first item that is not key=value,
// or whose parentheses do not match, ends the reading with its fault.
TConnectionItems ParseConnectionItems(std::string_view S);

// ---- Loose reader ----------------------------------------------------------
// Used to fill dialog controls: the text after the first Key + "=" anywhere in
// S (letter case ignored, not anchored to an item, so "port" also matches
// inside "LocalPort"), up to the next ";". No blanks, escapes or parentheses.

std::string GetConnectionValue(std::string_view S, std::string_view Key, std::string_view Default);
// GetConnectionValue(S, Key, "") as an integer, or Default when it does not convert.
int32_t GetConnectionInteger(std::string_view S, std::string_view Key, int32_t Default);

// ---- Provider registry -----------------------------------------------------

// An interface class that can be created from a connection string.
struct TCommunicationInterfaceClass {
  const char* ClassName;
  TRef<ci::ICommunicationInterface> (*Create)(const std::string& connectionString);
};

// The interface classes live in the one provider registry
// (comm/uCI_ProviderRegistry.h), beside the transports of the same names.

// Appends the pair; false when Class or its Create is null or Name is empty.
// A second registration of a name is appended too, but FindProvider only ever
// returns the first one.
bool RegisterProvider(const TCommunicationInterfaceClass* Class, const std::string& Name);
// Removes the pair FindProvider would return for Name (letter case ignored),
// so a later duplicate, if any, becomes the one found.
void UnregisterProvider(const std::string& Name);
// Looks Name up without regard to letter case; Class is null when absent.
bool FindProvider(const std::string& Name, const TCommunicationInterfaceClass*& Class);
// Removes every interface class (test fixtures); transports stay.
void ClearProviders();

// The line form a created class is handed: CR, LF and spaces deleted, each
// ";" turned into a CR (inside parentheses and after a backslash too), so
// that each item is one line. The wrapper turns it back with LinesToItems;
// both directions live here so that the two sides cannot disagree.
std::string ItemsToLines(std::string_view S);
// Every CR turned into ";".
std::string LinesToItems(std::string_view S);

// Deletes CR, LF and spaces from ConnectionString, turns each ";" into a CR,
// looks up the value of the first line named "provider" (letter case ignored)
// and hands the CR-separated string to that class's Create. True when
// Interface is set; false, without raising, when the provider is missing or
// not registered. Interface is cleared first in every case.
bool CreateCommunicationInterface(const std::string& ConnectionString, TRef<ci::ICommunicationInterface>& Interface);

}  // namespace korvan
