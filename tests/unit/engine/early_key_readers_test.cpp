// The ledger with two readers of the window's keys: the toolkit's connection and the key
// thread's, each at its own pace.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <vector>

#include "early_key_ledger.h"

namespace {

using Sight = EarlyKeyLedger::Sight;

RawKeyEvent Press(std::uint32_t keycode, std::uint32_t time) { return {true, keycode, time}; }
RawKeyEvent Release(std::uint32_t keycode, std::uint32_t time) { return {false, keycode, time}; }

TEST(EarlyKeyReadersTest, WhoeverSeesAKeyFirstDecidesItOnce) {
  EarlyKeyLedger ledger;
  ledger.ExpectKeyThread(true);
  // The key thread first: it plays; the toolkit's reader and delivery leave it alone.
  EXPECT_EQ(ledger.See(KeyReader::KeyThread, Press(52, 1), true), Sight::Play);
  ledger.HoldDrawing(36, true);
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Press(52, 1), true), Sight::Known);
  EarlyKeyLedger::Delivery delivery = ledger.Deliver(Press(52, 1));
  EXPECT_TRUE(delivery.playedAhead);
  EXPECT_EQ(delivery.drawNote, 36);
  EXPECT_TRUE(ledger.Empty());

  // The toolkit's reader first, and delivered before the key thread gets to it: the key
  // thread must still know it, or it would play the key a second time.
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Release(52, 2), true), Sight::Play);
  EXPECT_TRUE(ledger.Deliver(Release(52, 2)).playedAhead);
  EXPECT_FALSE(ledger.Empty());
  EXPECT_EQ(ledger.See(KeyReader::KeyThread, Release(52, 2), true), Sight::Known);
  EXPECT_TRUE(ledger.Empty());
}

TEST(EarlyKeyReadersTest, AKeyOfTheToolkitHoldsTheKeyThreadBackUntilDelivered) {
  EarlyKeyLedger ledger;
  ledger.ExpectKeyThread(true);
  // F4 then z, the key thread ahead of the toolkit: z must wait for the octave change.
  EXPECT_EQ(ledger.See(KeyReader::KeyThread, Press(70, 5), false), Sight::Leave);
  EXPECT_EQ(ledger.See(KeyReader::KeyThread, Press(52, 5), true), Sight::Leave);
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Press(70, 5), true), Sight::Known);
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Press(52, 5), true), Sight::Known);
  EXPECT_FALSE(ledger.Deliver(Press(70, 5)).playedAhead);
  EXPECT_FALSE(ledger.Deliver(Press(52, 5)).playedAhead);  // the toolkit plays it
  EXPECT_TRUE(ledger.MayPlayAhead());
  EXPECT_EQ(ledger.See(KeyReader::KeyThread, Release(52, 6), true), Sight::Play);
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Release(52, 6), true), Sight::Known);

  // The toolkit ahead: F4 seen and not yet delivered holds the key thread back too.
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Press(70, 7), false), Sight::Leave);
  EXPECT_EQ(ledger.See(KeyReader::KeyThread, Press(70, 7), false), Sight::Known);
  EXPECT_EQ(ledger.See(KeyReader::KeyThread, Press(53, 8), true), Sight::Leave);
}

TEST(EarlyKeyReadersTest, EventsOneReaderNeverGetsDoNotHoldTheLedger) {
  EarlyKeyLedger ledger;
  ledger.ExpectKeyThread(true);
  // A key the toolkit's reader saw that went nowhere else, then delivered: once the key
  // thread sees a later key, the first is forgotten.
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Press(60, 1), true), Sight::Play);
  EXPECT_TRUE(ledger.Deliver(Press(60, 1)).playedAhead);
  EXPECT_EQ(ledger.See(KeyReader::KeyThread, Press(61, 2), true), Sight::Play);
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Press(61, 2), true), Sight::Known);
  EXPECT_TRUE(ledger.Deliver(Press(61, 2)).playedAhead);
  EXPECT_TRUE(ledger.Empty());
  // Without a key thread nothing waits for it.
  ledger.ExpectKeyThread(false);
  EXPECT_EQ(ledger.See(KeyReader::Toolkit, Press(62, 3), true), Sight::Play);
  EXPECT_TRUE(ledger.Deliver(Press(62, 3)).playedAhead);
  EXPECT_TRUE(ledger.Empty());
}

// The X server's input as the two readers get it, and the toolkit delivering it, in random
// interleavings: every key is played once, and in the order it was pressed.
struct Input {
  enum Kind { TypingKey, ToolkitKey, ShortcutKey, Click } kind;
  RawKeyEvent event;
  bool toolkitSeesClick = true;
};

std::vector<Input> RandomInput(std::mt19937& random, int count) {
  std::vector<Input> input;
  for (int i = 0; i < count; ++i) {
    Input item{};
    const unsigned pick = random() % 20;
    item.kind = pick < 14   ? Input::TypingKey
                : pick < 16 ? Input::ToolkitKey
                : pick < 17 ? Input::ShortcutKey
                            : Input::Click;
    // Few keycodes and times that repeat: events alike but for their order are common.
    item.event = {random() % 2 == 0, 50 + static_cast<std::uint32_t>(random() % 3),
                  static_cast<std::uint32_t>(i / 4)};
    item.toolkitSeesClick = random() % 2 == 0;
    input.push_back(item);
  }
  return input;
}

TEST(EarlyKeyReadersTest, RandomInterleavingsPlayEveryKeyOnceAndInOrder) {
  for (unsigned seed = 1; seed <= 400; ++seed) {
    std::mt19937 random(seed);
    const std::vector<Input> input = RandomInput(random, 60);
    EarlyKeyLedger ledger;
    ledger.ExpectKeyThread(true);
    std::vector<int> effects;  // input indexes, in the order their key took effect
    std::vector<int> playCount(input.size(), 0);
    std::size_t threadAt = 0, toolkitAt = 0;
    std::deque<std::size_t> toDeliver;
    const auto effect = [&](std::size_t index) {
      effects.push_back(static_cast<int>(index));
      ++playCount[index];
    };
    while (threadAt < input.size() || toolkitAt < input.size() || !toDeliver.empty()) {
      const unsigned step = random() % 3;
      if (step == 0 && threadAt < input.size()) {
        const Input& item = input[threadAt];
        if (item.kind == Input::Click) {
          ledger.RecordOtherInput();  // the key thread sees every click (raw events)
        } else if (ledger.See(KeyReader::KeyThread, item.event, item.kind == Input::TypingKey) ==
                   Sight::Play) {
          effect(threadAt);
        }
        ++threadAt;
      } else if (step == 1 && toolkitAt < input.size()) {
        const Input& item = input[toolkitAt];
        if (item.kind == Input::Click) {
          if (item.toolkitSeesClick) {
            ledger.RecordOtherInput();
            toDeliver.push_back(toolkitAt);
          }
        } else {
          if (ledger.See(KeyReader::Toolkit, item.event, item.kind == Input::TypingKey) ==
              Sight::Play) {
            effect(toolkitAt);
          }
          toDeliver.push_back(toolkitAt);
        }
        ++toolkitAt;
      } else if (step == 2 && !toDeliver.empty()) {
        const std::size_t index = toDeliver.front();
        toDeliver.pop_front();
        const Input& item = input[index];
        // A shortcut is taken before the key handler; a click goes to the mouse handler.
        if (item.kind == Input::ShortcutKey) {
          effect(index);
        } else if (item.kind != Input::Click && !ledger.Deliver(item.event).playedAhead) {
          effect(index);
        }
      }
    }
    ASSERT_TRUE(std::is_sorted(effects.begin(), effects.end())) << "seed " << seed;
    for (std::size_t i = 0; i < input.size(); ++i) {
      ASSERT_EQ(playCount[i], input[i].kind == Input::Click ? 0 : 1)
          << "seed " << seed << ", event " << i;
    }
  }
}

}  // namespace
