#pragma once
// Chaining the log window's data spy handler in front of the one installed before.
#include "comm/uci_ICommunicationInterfaceDataSpy.h"

namespace duomat {

// The process has one data spy handler, and the log window takes it when it
// is created. So that DST's terminal forwarder, installed before, still gets
// the traffic, the program chains it in front of whatever is installed now.
void ChainDataSpyHandler(korvan::ci::TDataSpyHandler first);
// Puts back the handler that was chained behind, or none.
void UnchainDataSpyHandler();

}  // namespace duomat
