// The handle registry: ring order, head rotation, handles never 0 or reused.
#include <gtest/gtest.h>

#include <vector>
#include <new>
#include <set>

#include "core/camera_object.h"
#include "core/error_stack.h"
#include "core/sdk_chain.h"
#include "quvex/quvex_window.h"
#include "tests/support/test_profile.h"

namespace quvex {
namespace {

class Ring : public CTRing<CSDKDATA> {};

std::vector<int> FromHead(const Ring& ring) {
  std::vector<int> handles;
  const CSDKDATA* record = ring.Head();
  for (int i = 0; i < ring.Count(); ++i, record = record->next) handles.push_back(record->handle);
  return handles;
}

TEST(HandleRing, NewestIsTheHeadAndFindRotatesOntoTheMatch) {
  Ring ring;
  ring.Add(1, nullptr, nullptr, nullptr);
  ring.Add(2, nullptr, nullptr, nullptr);
  ring.Add(3, nullptr, nullptr, nullptr);
  EXPECT_EQ(FromHead(ring), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(ring.Head()->prev->handle, 1);
  ASSERT_EQ(ring.Find(1), 1);
  EXPECT_EQ(ring.Head()->handle, 1);
  ASSERT_EQ(ring.Find(2), 1);
  ASSERT_EQ(ring.RemoveHead(), 1);  // releases 2
  EXPECT_EQ(ring.Count(), 2);
  EXPECT_EQ(ring.Find(1), 1);
  EXPECT_EQ(ring.Find(3), 1);
  EXPECT_EQ(ring.Find(2), 0);
}

TEST(HandleRing, AFailedSearchLeavesTheHeadOnTheLastRecord) {
  Ring ring;
  EXPECT_EQ(ring.Find(7), 0);
  ring.Add(7, nullptr, nullptr, nullptr);
  EXPECT_EQ(ring.Find(8), 0);
  EXPECT_EQ(ring.Head()->handle, 7);
  ring.Add(8, nullptr, nullptr, nullptr);
  ring.Add(9, nullptr, nullptr, nullptr);
  EXPECT_EQ(ring.Find(42), 0);
  EXPECT_EQ(ring.Head()->handle, 7);  // the record that was last before the search
  ring.Clear();
  EXPECT_EQ(ring.Count(), 0);
  EXPECT_EQ(ring.Head(), nullptr);
  EXPECT_EQ(ring.RemoveHead(), 0);
}

const BuildProfile kProfile = test::TestProfile();

uint32_t FrozenClock(void*) { return 0u - 1u; }

TEST(SdkChain, HandlesAreNeverZeroOrDuplicatedEvenWithAFrozenClock) {
  QuvexPlatform_SetClock(FrozenClock, nullptr);
  CSdkChain chain;
  std::set<int> handles;
  for (int i = 0; i < 200; ++i) {
    const int handle = chain.Create([] { return std::make_shared<CQuvex>(kProfile, nullptr); });
    ASSERT_NE(handle, 0);
    EXPECT_TRUE(handles.insert(handle).second);
  }
  QuvexPlatform_SetClock(nullptr, nullptr);
  for (int handle : handles) EXPECT_NE(chain.Lookup(handle), nullptr);
  for (int handle : handles) EXPECT_NE(chain.Remove(handle), nullptr);
  EXPECT_EQ(chain.Count(), 0);
}

TEST(SdkChain, CreationThatFailsRegistersNothing) {
  CSdkChain chain;
  EXPECT_EQ(chain.Create([] { return std::shared_ptr<CQuvex>(); }), 0);
  EXPECT_EQ(chain.Create([]() -> std::shared_ptr<CQuvex> { throw std::bad_alloc(); }), 0);
  EXPECT_EQ(chain.Count(), 0);
  EXPECT_EQ(chain.Lookup(0), nullptr);
  EXPECT_EQ(chain.Remove(12345), nullptr);
}

TEST(ErrorStack, PopsNewestFirstAndDropsTheOldestPastItsLimit) {
  ErrorStack errors;
  for (int code : {3, 9, 4}) errors.Push(code);
  EXPECT_EQ(errors.Pop(), 4);
  EXPECT_EQ(errors.Pop(), 9);
  EXPECT_EQ(errors.Pop(), 3);
  EXPECT_EQ(errors.Pop(), 0);
  for (size_t i = 0; i < ErrorStack::kLimit + 10; ++i) errors.Push(static_cast<int>(i));
  EXPECT_EQ(errors.Size(), ErrorStack::kLimit);
  EXPECT_EQ(errors.Pop(), static_cast<int>(ErrorStack::kLimit + 9));
}

}  // namespace
}  // namespace quvex
