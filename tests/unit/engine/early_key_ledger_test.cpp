#include "early_key_ledger.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

RawKeyEvent Press(std::uint32_t keycode, std::uint32_t time) { return {true, keycode, time}; }
RawKeyEvent Release(std::uint32_t keycode, std::uint32_t time) { return {false, keycode, time}; }

std::string MessageOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    return error.what();
  }
}

}  // namespace

TEST(EarlyKeyLedgerTest, KeysPlayedAheadAreNotPlayedAgainAndKeepTheirHighlight) {
  EarlyKeyLedger ledger;
  // Press, release and press again in one millisecond: three events alike but for order.
  ledger.See(KeyReader::Toolkit, Press(52, 100), true);
  ledger.HoldDrawing(36, true);
  ledger.See(KeyReader::Toolkit, Release(52, 100), true);
  ledger.HoldDrawing(36, false);
  ASSERT_TRUE(ledger.MayPlayAhead());
  ledger.See(KeyReader::Toolkit, Press(52, 100), true);
  ledger.HoldDrawing(36, true);

  EarlyKeyLedger::Delivery first = ledger.Deliver(Press(52, 100));
  EXPECT_TRUE(first.playedAhead);
  EXPECT_EQ(first.drawNote, 36);
  EXPECT_TRUE(first.drawDown);
  EarlyKeyLedger::Delivery second = ledger.Deliver(Release(52, 100));
  EXPECT_TRUE(second.playedAhead);
  EXPECT_FALSE(second.drawDown);
  EXPECT_TRUE(ledger.Deliver(Press(52, 100)).playedAhead);
  EXPECT_TRUE(ledger.Empty());
  // Delivered once only: the same event again is the toolkit's own.
  EXPECT_FALSE(ledger.Deliver(Press(52, 100)).playedAhead);
}

TEST(EarlyKeyLedgerTest, AKeyLeftToTheToolkitOrOtherInputHoldsTheKeysAfterItBack) {
  EarlyKeyLedger ledger;
  ledger.See(KeyReader::Toolkit, Press(76, 10), false);  // F10: the toolkit's, it opens the menu
  EXPECT_FALSE(ledger.MayPlayAhead());
  ledger.See(KeyReader::Toolkit, Press(52, 10), false);  // so the key after it waits its turn too
  EXPECT_FALSE(ledger.Deliver(Press(76, 10)).playedAhead);
  EXPECT_FALSE(ledger.MayPlayAhead());
  EXPECT_FALSE(ledger.Deliver(Press(52, 10)).playedAhead);
  EXPECT_TRUE(ledger.MayPlayAhead());

  // A click: held back until a key after it is delivered, which the toolkit does only
  // after the click.
  ledger.RecordOtherInput();
  ledger.RecordOtherInput();
  EXPECT_FALSE(ledger.MayPlayAhead());
  ledger.See(KeyReader::Toolkit, Press(52, 20), false);
  EXPECT_FALSE(ledger.Deliver(Press(52, 20)).playedAhead);
  EXPECT_TRUE(ledger.MayPlayAhead());
  EXPECT_TRUE(ledger.Empty());
}

TEST(EarlyKeyLedgerTest, EventsTheToolkitNeverDeliversAreDroppedByALaterDelivery) {
  EarlyKeyLedger ledger;
  ledger.See(KeyReader::Toolkit, Press(38, 5), false);  // taken by a shortcut: never delivered
  ledger.See(KeyReader::Toolkit, Press(52, 6), false);
  EXPECT_FALSE(ledger.Deliver(Press(52, 6)).playedAhead);
  EXPECT_TRUE(ledger.MayPlayAhead());
  EXPECT_TRUE(ledger.Empty());
  // A delivery never seen first (sent by the toolkit itself) leaves the record alone.
  ledger.See(KeyReader::Toolkit, Press(52, 7), true);
  EXPECT_FALSE(ledger.Deliver(Press(53, 7)).playedAhead);
  EXPECT_TRUE(ledger.Deliver(Press(52, 7)).playedAhead);
}

TEST(EarlyKeyLedgerTest, AFailureWaitsForItsKeyAndHoldsTheNextKeysBack) {
  EarlyKeyLedger ledger;
  ledger.See(KeyReader::Toolkit, Press(52, 1), true);
  ledger.HoldDrawing(36, true);
  ledger.Fail(std::make_exception_ptr(std::runtime_error("device gone")));
  EXPECT_FALSE(ledger.MayPlayAhead());
  ledger.See(KeyReader::Toolkit, Release(52, 2), false);
  EarlyKeyLedger::Delivery delivery = ledger.Deliver(Press(52, 1));
  EXPECT_TRUE(delivery.playedAhead);
  EXPECT_EQ(delivery.drawNote, 36);  // the key is drawn down though its note failed
  ASSERT_TRUE(delivery.failure);
  EXPECT_EQ(MessageOf(delivery.failure), "device gone");
  EXPECT_FALSE(ledger.MayPlayAhead());  // the release left to the toolkit is still due
  EXPECT_FALSE(ledger.Deliver(Release(52, 2)).playedAhead);
  EXPECT_TRUE(ledger.MayPlayAhead());

  // The failure of an event never delivered is not lost.
  ledger.See(KeyReader::Toolkit, Press(53, 3), true);
  ledger.Fail(std::make_exception_ptr(std::runtime_error("port gone")));
  ledger.See(KeyReader::Toolkit, Press(54, 4), false);
  EXPECT_FALSE(ledger.Deliver(Press(54, 4)).playedAhead);
  const std::exception_ptr dropped = ledger.TakeDroppedFailure();
  ASSERT_TRUE(dropped);
  EXPECT_EQ(MessageOf(dropped), "port gone");
  EXPECT_FALSE(ledger.TakeDroppedFailure());
  EXPECT_TRUE(ledger.MayPlayAhead());
}

TEST(EarlyKeyLedgerTest, AFullLedgerStopsPlayingAheadForGood) {
  EarlyKeyLedger ledger;
  for (std::uint32_t i = 0; i < EarlyKeyLedger::Capacity; ++i)
    ledger.See(KeyReader::Toolkit, Press(52, i), true);
  EXPECT_TRUE(ledger.MayPlayAhead());
  ledger.See(KeyReader::Toolkit, Press(52, 9999),
             false);  // not kept: its turn cannot be known any more
  EXPECT_FALSE(ledger.MayPlayAhead());
  for (std::uint32_t i = 0; i < EarlyKeyLedger::Capacity; ++i) {
    ASSERT_TRUE(ledger.Deliver(Press(52, i)).playedAhead) << i;
  }
  EXPECT_FALSE(ledger.Deliver(Press(52, 9999)).playedAhead);
  EXPECT_TRUE(ledger.Empty());
  EXPECT_FALSE(ledger.MayPlayAhead());
}

TEST(EarlyKeyLedgerTest, TheRingWrapsAroundUnderLongPlaying) {
  EarlyKeyLedger ledger;
  // Many more events than the ring holds, a few outstanding at a time.
  std::uint32_t delivered = 0;
  for (std::uint32_t time = 0; time < 10 * EarlyKeyLedger::Capacity; ++time) {
    ASSERT_TRUE(ledger.MayPlayAhead());
    ledger.See(KeyReader::Toolkit, Press(52 + time % 3, time), true);
    if (time % 5 == 4) {
      for (; delivered <= time; ++delivered) {
        ASSERT_TRUE(ledger.Deliver(Press(52 + delivered % 3, delivered)).playedAhead);
      }
    }
  }
  EXPECT_TRUE(ledger.Empty());
}
