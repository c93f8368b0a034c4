#include "host/unique_resource.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> g_closed;

struct FakeTraits {
  using Handle = int;
  static int Invalid() { return -1; }
  static void Close(int h) { g_closed.push_back(h); }
};
using Owner = UniqueResource<FakeTraits>;

class UniqueResourceTest : public ::testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueResourceTest, MoveAssignmentClosesTheOverwrittenHandle) {
  Owner a(1);
  Owner b(2);
  a = std::move(b);
  EXPECT_EQ(g_closed, std::vector<int>{1});
  EXPECT_EQ(a.get(), 2);
  EXPECT_FALSE(b.valid());
}

TEST_F(UniqueResourceTest, SelfMoveKeepsTheHandleOpen) {
  Owner a(3);
  Owner& alias = a;
  a = std::move(alias);
  EXPECT_TRUE(g_closed.empty());
  EXPECT_EQ(a.get(), 3);
}

TEST_F(UniqueResourceTest, PutReleasesBeforeReuseAndDestructorCloses) {
  {
    Owner a(4);
    *a.put() = 5;
    EXPECT_EQ(g_closed, std::vector<int>{4});
    a.reset(5);  // resetting to the same value must not close it
    EXPECT_EQ(g_closed, std::vector<int>{4});
  }
  EXPECT_EQ(g_closed, (std::vector<int>{4, 5}));
}

TEST_F(UniqueResourceTest, ReleaseHandsOverWithoutClosing) {
  Owner a(6);
  EXPECT_EQ(a.release(), 6);
  EXPECT_FALSE(a.valid());
  Owner empty;
  empty.reset();
  EXPECT_TRUE(g_closed.empty());
}

}  // namespace
