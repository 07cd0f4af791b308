#include "core/uKorvanStackDeviceIngraRec.h"

namespace duomat {

TKorvanStackDeviceIngraRec::TKorvanStackDeviceIngraRec() : TKorvanStackDeviceRec("TKorvanStackDeviceIngraRec") {}

}  // namespace duomat
