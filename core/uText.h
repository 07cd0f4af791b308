#pragma once
// The message lookup of the lowest floor (platform/uText), under the core's names.
#include "platform/uText.h"

namespace duomat {

using korvan::SetTranslator;
using korvan::Tr;
using korvan::TrArgs;
using korvan::TTranslate;

}  // namespace duomat
