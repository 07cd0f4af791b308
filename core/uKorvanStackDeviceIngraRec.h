#pragma once
// The record of the Ingra module.
#include "core/uKorvanStackDeviceRec.h"
#include "protocol/uIngra.h"

namespace duomat {

class TKorvanStackDeviceIngraRec : public TKorvanStackDeviceRec<korvan::TIngra, korvan::IIngra> {
 public:
  TKorvanStackDeviceIngraRec();
};

}  // namespace duomat
