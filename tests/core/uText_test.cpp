#include "core/uText.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace duomat;

namespace {
// A catalog of two entries; everything else has no translation.
std::string Catalog(const char* context, const char* source) {
  if (std::strcmp(context, "t") != 0) return "";
  if (std::strcmp(source, "Module %1 at %2") == 0) return "Na %2 je modul %1";
  if (std::strcmp(source, "Done") == 0) return "Hotovo";
  return "";
}

class TextTest : public testing::Test {
 protected:
  void TearDown() override { SetTranslator(nullptr); }
};
}  // namespace

TEST_F(TextTest, WithoutTranslatorTheSourceStaysAndArgumentsGoIn) {
  EXPECT_EQ(Tr("t", "Done"), "Done");
  EXPECT_EQ(Tr("t", "Module %1 at %2", "Ingra", 0x31), "Module Ingra at 49");
}

TEST_F(TextTest, TranslationOrdersArgumentsItsOwnWay) {
  SetTranslator(&Catalog);
  EXPECT_EQ(Tr("t", "Done"), "Hotovo");
  EXPECT_EQ(Tr("t", "Module %1 at %2", "Outra", "COM7"), "Na COM7 je modul Outra");
  EXPECT_EQ(Tr("other", "Done"), "Done") << "contexts are separate";
  EXPECT_EQ(Tr("t", "Unknown %1", 5), "Unknown 5") << "a text without translation keeps its source";
}

TEST_F(TextTest, MarkersAreReplacedOnceAndOnlyWithArguments) {
  struct TCase {
    const char* Source;
    std::vector<std::string> Args;
    const char* Expected;
  } const cases[] = {
      {"%1 and %2", {"%2", "x"}, "%2 and x"},  // an argument is not read again
      {"%1%1", {"a"}, "aa"},
      {"%3 stays", {"a"}, "%3 stays"},
      {"100% sure %1", {"a"}, "100% sure a"},
      {"%0 and %", {"a"}, "%0 and %"},
      {"%9", {"1", "2", "3", "4", "5", "6", "7", "8", "nine"}, "nine"},
  };
  for (const TCase& c : cases) EXPECT_EQ(TrArgs("t", c.Source, c.Args), c.Expected) << c.Source;
}
