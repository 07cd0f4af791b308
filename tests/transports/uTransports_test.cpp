#include "transports/uTransports.h"

#include <gtest/gtest.h>

#include "comm/uCI_ProviderRegistry.h"
#include "core/uLibraryStart.h"

using namespace korvan;

TEST(LibraryStart, RegistersTheTransportsAndStoppingRemovesThem) {
  duomat::StartLibrary();
  for (const char* name : {"SERIAL_PORT", "TCP_CLIENT", "UDP_CLIENT"}) {
    TRef<transport::ICommunicationInterface> t = ci::CreateTransport(name);
    ASSERT_TRUE(t) << name;
    EXPECT_EQ(t->GetProvider(), name);
  }
  duomat::StopLibrary();
  EXPECT_FALSE(ci::CreateTransport("SERIAL_PORT"));
  duomat::StartLibrary();
}
