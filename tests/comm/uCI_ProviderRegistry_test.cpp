#include <gtest/gtest.h>

#include "comm/uCI_ProviderRegistry.h"
#include "comm/uCI_Wrapper.h"
#include "support/TLoopbackTransport.h"

using namespace korvan;

TEST(ProviderRegistry, CreatesTransportsByExactNameAndARegistrationReplacesTheEarlierOneUntilItIsRemoved) {
  ci::RegisterTransport("REG_TEST", [] { return TRef<transport::ICommunicationInterface>(CreateObject<test::TLoopbackTransport>("A")); });
  ci::RegisterTransport("REG_TEST", [] { return TRef<transport::ICommunicationInterface>(CreateObject<test::TLoopbackTransport>("B")); });
  TRef<transport::ICommunicationInterface> t = ci::CreateTransport("REG_TEST");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->GetProvider(), "B");
  EXPECT_FALSE(ci::CreateTransport("reg_test"));
  // Removing the newer registration brings back the one it replaced.
  ci::UnregisterTransport("REG_TEST");
  EXPECT_EQ(ci::CreateTransport("REG_TEST")->GetProvider(), "A");
  ci::UnregisterTransport("REG_TEST");
  EXPECT_FALSE(ci::CreateTransport("REG_TEST"));
}

TEST(ProviderRegistry, AClassAndATransportOfOneNameAreFoundAndRemovedEachOnItsOwn) {
  static const TCommunicationInterfaceClass cls = {"TRegTest", ci::TCommunicationWrapperInterface::Class.Create};
  ASSERT_TRUE(RegisterProvider(&cls, "REG_BOTH"));
  ci::RegisterTransport("REG_BOTH", [] { return TRef<transport::ICommunicationInterface>(CreateObject<test::TLoopbackTransport>("T")); });
  const TCommunicationInterfaceClass* found = nullptr;
  EXPECT_TRUE(FindProvider("reg_both", found));
  EXPECT_EQ(found, &cls);

  UnregisterProvider("REG_BOTH");
  EXPECT_FALSE(FindProvider("REG_BOTH", found));
  ASSERT_TRUE(ci::CreateTransport("REG_BOTH"));

  ASSERT_TRUE(RegisterProvider(&cls, "REG_BOTH"));
  ci::UnregisterTransport("REG_BOTH");
  EXPECT_FALSE(ci::CreateTransport("REG_BOTH"));
  EXPECT_TRUE(FindProvider("REG_BOTH", found));
  UnregisterProvider("REG_BOTH");
}
