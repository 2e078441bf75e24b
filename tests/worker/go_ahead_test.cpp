// The go-ahead as the two threads hand it over.
#include <windows.h>
#include <gtest/gtest.h>

#include "common/scoped.h"
#include "worker/worker_inputs.h"

namespace {

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

TEST(GoAhead, OnceTakenItCannotBeWithdrawnAndTheTakenChoicesHold) {
  ScopedEvent event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  GoAhead goAhead(event.get());
  InstallChoices chosen;
  chosen.folder = L"C:\\first";
  chosen.demoDatabase = true;
  InstallChoices taken;
  EXPECT_FALSE(goAhead.Take(&taken)) << "nothing given yet";

  // Given and withdrawn before the worker looked: nothing to take.
  goAhead.Give(chosen);
  EXPECT_TRUE(IsSet(event.get()));
  EXPECT_TRUE(goAhead.Withdraw());
  EXPECT_FALSE(IsSet(event.get()));
  EXPECT_FALSE(goAhead.Take(&taken));

  // Given again with other choices, and taken: those are the ones.
  InstallChoices second;
  second.folder = L"D:\\second";
  goAhead.Give(second);
  ASSERT_TRUE(goAhead.Take(&taken));
  EXPECT_TRUE(taken.folder == L"D:\\second");
  EXPECT_FALSE(taken.demoDatabase);
  // From now on Back is refused, and a late go-ahead changes nothing.
  EXPECT_FALSE(goAhead.Withdraw());
  EXPECT_TRUE(IsSet(event.get()));
  goAhead.Give(chosen);
  InstallChoices again;
  ASSERT_TRUE(goAhead.Take(&again));
  EXPECT_TRUE(again.folder == L"D:\\second");

  // A retry's worker takes the go-ahead that is still given.
  goAhead.ReleaseTaken();
  EXPECT_TRUE(goAhead.Withdraw());
}

}  // namespace
