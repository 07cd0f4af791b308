#include "core/uKorvanStackDeviceOutraRec.h"

namespace duomat {

TKorvanStackDeviceOutraRec::TKorvanStackDeviceOutraRec() : TKorvanStackDeviceRec("TKorvanStackDeviceOutraRec") {}

}  // namespace duomat
