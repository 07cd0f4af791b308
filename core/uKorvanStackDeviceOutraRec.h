#pragma once
// The record of the Outra module.
#include "core/uKorvanStackDeviceRec.h"
#include "protocol/uOutra.h"

namespace duomat {

class TKorvanStackDeviceOutraRec : public TKorvanStackDeviceRec<korvan::TOutra, korvan::IOutra> {
 public:
  TKorvanStackDeviceOutraRec();
};

}  // namespace duomat
