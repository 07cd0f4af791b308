#pragma once
#include "core/uKorvanStackDeviceRec.h"
#include "protocol/uOutra.h"

namespace duomat {

// The record of the Outra module.
class TKorvanStackDeviceOutraRec : public TKorvanStackDeviceRec<korvan::TOutra, korvan::IOutra> {
 public:
  TKorvanStackDeviceOutraRec();
};

}  // namespace duomat
