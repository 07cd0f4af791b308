#pragma once
#include "core/uKorvanStackDeviceRec.h"
#include "protocol/uIngra.h"

namespace duomat {

// The record of the Ingra module.
class TKorvanStackDeviceIngraRec : public TKorvanStackDeviceRec<korvan::TIngra, korvan::IIngra> {
 public:
  TKorvanStackDeviceIngraRec();
};

}  // namespace duomat
