#include "platform/x11/input/OwnEventLedger.hpp"

#include <gtest/gtest.h>

namespace tovrel::platform::x11 {
namespace {

using Kind = OwnEventLedger::Kind;

// An entry whose event no tap reads would mark another client's same event as the program's own.
TEST(OwnEventLedger, EntriesAreKeptOnlyWhileATapHearsTheirEvents) {
  OwnEventLedger ledger;
  ledger.record(Kind::buttonPress, 1, 7, 10.0);
  EXPECT_EQ(ledger.size(), 0u) << "recorded while nobody listens";
  EXPECT_FALSE(ledger.match(Kind::buttonPress, 1, 10.1).has_value());

  ledger.listen(true);
  ledger.listen(true);  // a second tap
  ledger.record(Kind::buttonPress, 1, 7, 11.0);
  ledger.record(Kind::buttonRelease, 1, 7, 11.0);
  ledger.listen(false);
  EXPECT_EQ(ledger.match(Kind::buttonPress, 1, 11.1), std::optional<std::int64_t>(7))
      << "one tap still listens";
  ledger.listen(false);
  EXPECT_EQ(ledger.size(), 0u) << "the last tap stopped listening";
  EXPECT_FALSE(ledger.match(Kind::buttonRelease, 1, 11.2).has_value());
}

TEST(OwnEventLedger, AnEntryMatchesOnceAndOnlyWithinItsLifetime) {
  OwnEventLedger ledger;
  ledger.listen(true);
  ledger.record(Kind::keyPress, 38, 1, 5.0);
  ledger.record(Kind::keyPress, 38, 2, 5.5);
  ledger.record(Kind::motion, 99, 3, 5.5);
  EXPECT_EQ(ledger.match(Kind::motion, 0, 5.6), std::optional<std::int64_t>(3));
  EXPECT_FALSE(ledger.match(Kind::keyRelease, 38, 5.6).has_value());
  // The first entry has expired by now; the second is the oldest live one.
  EXPECT_EQ(ledger.match(Kind::keyPress, 38, 6.2), std::optional<std::int64_t>(2));
  EXPECT_FALSE(ledger.match(Kind::keyPress, 38, 6.2).has_value());
}

}  // namespace
}  // namespace tovrel::platform::x11
