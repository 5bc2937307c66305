#include <gtest/gtest.h>

#include <stdexcept>

#include "frame/factory.h"

namespace orv {
namespace {

int g_live = 0;

struct Counted {
  Counted() { ++g_live; }
  ~Counted() { --g_live; }
};

struct Throwing {
  Counted member;
  Throwing() { throw std::runtime_error("constructor fails"); }
};

TEST(CreateObject, ConstructorExceptionGivesNullAndLeavesNothingBehind) {
  EXPECT_EQ(CreateObject<Throwing>(), nullptr);
  EXPECT_EQ(g_live, 0);  // the member built before the throw was destroyed
  // The sanitizers' leak check confirms the memory itself was freed.
}

TEST(CreateObject, ReturnsAConstructedObject) {
  Counted* object = CreateObject<Counted>();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(g_live, 1);
  delete object;
}

}  // namespace
}  // namespace orv
