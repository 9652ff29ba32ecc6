#include "GuiTestSupport.h"

#include "gui/CVSTGUITimer.h"

using namespace guitest;

namespace {

struct Listener : CBaseObject {
  int fired = 0;
  CBaseObject* lastSender = nullptr;
  std::int32_t notify(CBaseObject* sender, const char* message) override {
    if (message != kMsgTimerFired) return 0;
    ++fired;
    lastSender = sender;
    return 1;
  }
};

class TimerTest : public ::testing::Test {
 protected:
  FakeClock clock;
  ScopedClock scoped{&clock};
  void advance(std::uint32_t ms) {
    clock.now += ms;
    platform::pumpTimers(clock.now);
  }
};

}  // namespace

TEST_F(TimerTest, FiresOncePerIntervalWhenPumped) {
  Listener l;
  CVSTGUITimer t(&l, 35);
  advance(100);
  EXPECT_EQ(l.fired, 0);  // a new timer is stopped
  ASSERT_TRUE(t.start());
  advance(34);
  EXPECT_EQ(l.fired, 0);
  advance(1);
  EXPECT_EQ(l.fired, 1);
  EXPECT_EQ(l.lastSender, &t);
  advance(35);
  EXPECT_EQ(l.fired, 2);
  // Missed intervals are not made up for.
  advance(200);
  EXPECT_EQ(l.fired, 3);
  std::uint32_t due = 0;
  ASSERT_TRUE(platform::nextTimerDue(due));
  EXPECT_EQ(due, clock.now + 35);
}

TEST_F(TimerTest, StartTwiceKeepsOneTimerAndStopAnswersOnce) {
  Listener l;
  CVSTGUITimer t(&l, 50);
  EXPECT_TRUE(t.start());
  EXPECT_TRUE(t.start());
  EXPECT_EQ(CVSTGUITimer::runningCount(), 1u);
  advance(50);
  EXPECT_EQ(l.fired, 1);
  EXPECT_TRUE(t.stop());
  EXPECT_FALSE(t.stop());
  EXPECT_EQ(CVSTGUITimer::runningCount(), 0u);
  advance(500);
  EXPECT_EQ(l.fired, 1);
  std::uint32_t due = 0;
  EXPECT_FALSE(platform::nextTimerDue(due));
}

TEST_F(TimerTest, SetIntervalRestartsOnlyARunningTimer) {
  Listener l;
  CVSTGUITimer t(&l, 40);
  EXPECT_FALSE(t.setInterval(40));
  EXPECT_TRUE(t.setInterval(60));
  EXPECT_FALSE(t.isRunning());
  EXPECT_EQ(t.getInterval(), 60u);

  t.start();
  advance(30);
  EXPECT_FALSE(t.setInterval(60));  // same value: not restarted
  advance(30);
  EXPECT_EQ(l.fired, 1);
  EXPECT_TRUE(t.setInterval(100));  // restarted from now
  EXPECT_TRUE(t.isRunning());
  advance(99);
  EXPECT_EQ(l.fired, 1);
  advance(1);
  EXPECT_EQ(l.fired, 2);
}

TEST_F(TimerTest, EachTimerNotifiesOnlyItsOwnListener) {
  Listener a, b;
  CVSTGUITimer ta(&a, 20), tb(&b, 30);
  ta.start();
  tb.start();
  advance(20);
  EXPECT_EQ(a.fired, 1);
  EXPECT_EQ(b.fired, 0);
  advance(10);
  EXPECT_EQ(a.fired, 1);
  EXPECT_EQ(b.fired, 1);
  EXPECT_EQ(b.lastSender, &tb);
}

TEST_F(TimerTest, DestructionStopsTheTimer) {
  Listener l;
  {
    CVSTGUITimer t(&l, 20);
    t.start();
  }
  EXPECT_EQ(CVSTGUITimer::runningCount(), 0u);
  advance(100);
  EXPECT_EQ(l.fired, 0);
}

TEST_F(TimerTest, AListenerMayStopItsTimerFromTheNotification) {
  struct Stopper : CBaseObject {
    CVSTGUITimer* other = nullptr;
    int fired = 0;
    std::int32_t notify(CBaseObject* sender, const char*) override {
      ++fired;
      static_cast<CVSTGUITimer*>(sender)->stop();
      if (other) other->stop();
      return 1;
    }
  } stopper;
  Listener l;
  CVSTGUITimer first(&stopper, 10), second(&l, 10);
  stopper.other = &second;
  first.start();
  second.start();
  advance(10);
  EXPECT_EQ(stopper.fired, 1);
  EXPECT_EQ(l.fired, 0);  // stopped before its turn in the same pump
  advance(100);
  EXPECT_EQ(stopper.fired, 1);
}
