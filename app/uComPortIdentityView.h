#pragma once
// The USB identity of each port in a port drop-down, shown in its entries and tooltip.
#include <Qt>

class QComboBox;

namespace duomat {

// The USB identity of an entry of a port list ("usb 0403:6001 FTDI …"),
// empty for a port that is no USB device.
inline constexpr int ComPortIdentityRole = Qt::UserRole + 1;

// Shows each port's USB identity after its text in the drop-down entries and
// as the tooltip of the closed box, whose text and width stay as they are.
// Identities come from links and sysfs, read when an entry is added or
// changes; no port is opened for them.
void ShowComPortIdentities(QComboBox* list);

}  // namespace duomat
