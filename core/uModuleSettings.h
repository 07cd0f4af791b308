#pragma once
// The main window's load and save logic without the window, shared with duomat-cli.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uKorvanStackDeviceOutraRec.h"
#include "core/uOpenFailure.h"
#include "core/uTranslationMarker.h"
#include "protocol/uIngra.h"
#include "protocol/uOutra.h"

// The program and duomat-cli run the same requests and show the same messages.
namespace duomat {

namespace msg {
// The context the window translates these in (the same literal as below).
inline constexpr const char* Context = "duomat::msg";
inline constexpr const char* OpenFailed = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nepodařilo se otevřít spojení!");
inline constexpr const char* IngraNotAnswering = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nepodařilo se připojit k modulu Ingra!");
inline constexpr const char* OutraNotAnswering = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nepodařilo se připojit k modulu Outra!");
inline constexpr const char* IngraLoaded = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nastavení bylo úspěšně nahráno z modulu Ingra.");
inline constexpr const char* IngraLoadFailed = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nastavení se nepodařilo nahrát z modulu Ingra!");
inline constexpr const char* IngraSaved = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nastavení bylo úspěšně uloženo do modulu Ingra.");
inline constexpr const char* IngraSaveFailed = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nastavení se nepodařilo uložit do modulu Ingra!");
inline constexpr const char* OutraLoaded = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nastavení bylo úspěšně nahráno z modulu Outra.");
inline constexpr const char* OutraLoadFailed = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nastavení se nepodařilo nahrát z modulu Outra!");
inline constexpr const char* OutraSaved = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nastavení bylo úspěšně uloženo do modulu Outra.");
inline constexpr const char* OutraSaveFailed = DUOMAT_TRANSLATE_NOOP("duomat::msg", "Nastavení se nepodařilo uložit do modulu Outra!");
}  // namespace msg

// ---- Connecting ----------------------------------------------------------

struct TConnectResult {
  bool Ok = false;
  std::string Message;         // empty on success
  std::string Identification;  // the module's answer to the presence check
  TOpenFailure Failure;        // why the line did not open, when that is known
  std::string Reason;          // the same in the command line's words (OpenFailureText)
};

// Disconnect, take the new string, connect, then ask for the identification
// as a presence check (disconnecting again when the module does not answer).
TConnectResult ConnectIngra(TKorvanStackDeviceIngraRec& record, const std::string& connectionString);
TConnectResult ConnectOutra(TKorvanStackDeviceOutraRec& record, const std::string& connectionString);

// ---- Ingra ---------------------------------------------------------------

// Range texts by code: 0 "0 - 10 V", 1 "4 - 20 mA", 2 "0 - 20 mA".
std::string IngraRangeText(int code);
// The code of a text or of a code given as text ("1"), or -1.
int IngraRangeCode(const std::string& text);

// The range list as loading leaves it: the items, the tag (the code of the
// first item, -1 when none) and the selected item (-1 for none).
struct TIngraRangeList {
  std::vector<std::string> Items;
  int Tag = -1;
  int Selected = -1;

  // The code the selection stands for, or -1.
  int SelectedCode() const { return Tag < 0 || Selected < 0 ? -1 : Selected + Tag; }
  // The index of a range's text among the items, or -1.
  int IndexOf(const std::string& text) const;
};

// The list rebuilt from the code of input 1: a voltage module offers only
// voltage, a current module only the current ranges.
TIngraRangeList IngraRangeListFor(int codeOfInput1);

struct TIngraLoadResult {
  bool Ok = false;
  std::string Message;
  korvan::TIngraRanges Codes{};
  TIngraRangeList List;
};

// GetRanges, once more when it fails; the list from input 1's code.
TIngraLoadResult LoadIngra(korvan::IIngra& device);

struct TSaveResult {
  bool Ok = false;
  std::string Message;
};

// The kind of module (voltage, code 0, or current) is never changed: true
// when `code` may be written to a module whose input 1 has `moduleCode`.
bool IngraKindKept(int moduleCode, int code);
// SetRanges, once more when it fails.
bool WriteIngraRanges(korvan::IIngra& device, const korvan::TIngraRanges& ranges);

// Saves the selection of a loaded list to all four inputs; never changes the
// kind of module (voltage or current).
TSaveResult SaveIngra(korvan::IIngra& device, const TIngraRangeList& list, korvan::TIngraRanges* saved = nullptr);

// ---- Outra ---------------------------------------------------------------

constexpr int OutraRawMax = 4095;

// Range texts by code 1 to 7; empty for another code.
std::string OutraRangeText(int code);
const std::vector<std::string>& OutraRangeTexts();
// The code of a text or of a code given as text ("5"), or -1.
int OutraRangeCode(const std::string& text);

struct TOutraLimits {
  double Minimum = 0;
  double Maximum = 0;
};
// The physical values that 0 and 4095 stand for; 0, 0 for an unknown code.
TOutraLimits OutraRangeLimits(int code);
// The lowest and highest value any range takes (-10 V, 24 mA).
TOutraLimits OutraAnyRangeLimits();

// The shown value of a 12-bit value: a multiple of 0.01, halves to even.
double OutraRawToValue(int raw, int code);
// The 12-bit value of a physical value, halves to even; 0 when the range is empty.
int OutraValueToRaw(double value, int code);

struct TOutraWatchDog {
  bool Enabled = false;
  int Timeout = 0;     // seconds, 0 when off
  double Value = 0;    // shown value in V or mA
  int Raw = 0;         // the module's 12-bit value
};

struct TOutraSettings {
  uint8_t Code1 = 1;
  uint8_t Code2 = 1;
  std::array<TOutraWatchDog, 2> WatchDogs{};
};

struct TOutraLoadResult {
  bool Ok = false;
  std::string Message;
  TOutraSettings Settings;
};

// Ranges, then time-outs, then values; no retry. Values are shown in the
// limits of output 1's range.
TOutraLoadResult LoadOutra(korvan::IOutra& device);

// What the window holds when saving: the range code (both outputs get it),
// and per output the check box, the time-out field and the value field.
struct TOutraSaveRequest {
  int Code = 1;
  std::array<bool, 2> Enabled{};
  std::array<int, 2> Timeout{};
  std::array<double, 2> Value{};
};

// Ranges, then time-outs (0 for a watchdog that is off), then values
// (written even when off); stops at the first failure.
TSaveResult SaveOutra(korvan::IOutra& device, const TOutraSaveRequest& request, TOutraSettings* saved = nullptr);

}  // namespace duomat
