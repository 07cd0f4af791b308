#include "app/uKorvanStackDeviceOutraRec.h"

namespace duomat {

TKorvanStackDeviceOutraRec::TKorvanStackDeviceOutraRec() : TKorvanStackDeviceRec("TKorvanStackDeviceOutraRec") {}

}  // namespace duomat
