#pragma once
// Why a line did not open, in the windows' language.
#include <QString>

#include "core/uOpenFailure.h"

namespace duomat {

// One sentence for the message box, below the message that the line did not
// open; empty when nothing is known.
QString OpenFailureWindowText(const TOpenFailure& failure);

}  // namespace duomat
