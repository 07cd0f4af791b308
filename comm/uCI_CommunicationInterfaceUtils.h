#pragma once
// The transport layer's notifications: handler types, queued events and the slot lists that raise them.
#include <string>
#include <vector>

#include "comm/uDispatcher.h"
#include "comm/uMethod.h"

namespace korvan::transport {

class ICommunicationInterface;

using TCINotifyEvent = TMethod<void(ICommunicationInterface* Sender)>;
using TCINotifyStringEvent = TMethod<void(ICommunicationInterface* Sender, const std::string& Text)>;
using TCINotifyErrorEvent = TMethod<void(ICommunicationInterface* Sender, const std::string& Operation,
                                         const std::vector<std::string>& Args, int Code)>;

using TCINotifyDispatcherEvent = TDispatcherEventInterfaceEvent<ICommunicationInterface>;
using TCINotifyStringDispatcherEvent = TDispatcherEventOf<ICommunicationInterface*, const std::string&>;
using TCINotifyErrorDispatcherEvent =
    TDispatcherEventOf<ICommunicationInterface*, const std::string&, const std::vector<std::string>&, int>;

// (Sender) listeners.
class TCINotifyEventSlotList : public TDispatcherEventSlotListInterfaceEventCustom<ICommunicationInterface> {};

// (Sender, Text) listeners.
class TCINotifyStringEventSlotList : public TDispatcherEventSlotListOf<ICommunicationInterface*, const std::string&> {
};

// (Sender, Operation, Args, Code) listeners; every event keeps its own copy of Args.
class TCINotifyErrorEventSlotList
    : public TDispatcherEventSlotListOf<ICommunicationInterface*, const std::string&, const std::vector<std::string>&,
                                        int> {};

}  // namespace korvan::transport
