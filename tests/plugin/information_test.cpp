#include "plugin/information.h"

#include <gtest/gtest.h>

#include "common/failure.h"

namespace nbl::plugin {
namespace {

TEST(JoinVersion, JoinsTheDecimalTextsOfTheParts) {
  struct Case {
    int major, minor, revision;
    int joined;  // -1: overflow
  };
  const Case cases[] = {
      {1, 0, 4, 104},     {1, 12, 3, 1123},          {0, 0, 4, 4},
      {0, 0, 0, 0},       {3, 27, 67, 32767},        {3, 27, 68, -1},
      {3, 27, 680, -1},   {9, 99, 9999, -1},         {10, 0, 0, 1000},
      {32, 7, 67, 32767}, {99999, 99999, 99999, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." + std::to_string(c.revision));
    if (c.joined < 0) {
      EXPECT_THROW(JoinVersion(c.major, c.minor, c.revision), OverflowFailure);
    } else {
      EXPECT_EQ(JoinVersion(c.major, c.minor, c.revision).value(), c.joined);
    }
  }
}

TEST(Information, TellsVersionOneZeroFour) {
  const Information info;
  EXPECT_EQ(info.GetVersion().value(), 104);
  EXPECT_EQ(info.GetVersionMajor().value(), 1);
  EXPECT_EQ(info.GetVersionMinor().value(), 0);
  EXPECT_EQ(info.GetVersionRevision().value(), 4);
}

}  // namespace
}  // namespace nbl::plugin
