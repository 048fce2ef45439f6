// Named mutexes of the seam: what the single-instance test relies on.
#include <gtest/gtest.h>

#include <string>

#include "framework/SysUtils.h"
#include "platform/Mutex.h"

namespace {

std::string UniqueName(const char* Base) {
  return std::string(Base) + "." + IntToStr(static_cast<long long>(Now() * 86400000.0));
}

}  // namespace

TEST(NamedMutex, ExistsWhileAHandleIsOpenAndASecondCreationFindsIt) {
  const std::string Name = UniqueName("DravinTestMutex");
  EXPECT_FALSE(plat::NamedMutex::Open(Name).Valid());

  bool Existed = true;
  plat::NamedMutex First = plat::NamedMutex::Create(Name, Existed);
  ASSERT_TRUE(First.Valid());
  EXPECT_FALSE(Existed);
  // Created not owned: there is nothing to release.
  EXPECT_FALSE(First.Release());

  EXPECT_TRUE(plat::NamedMutex::Open(Name).Valid());
  {
    plat::NamedMutex Second = plat::NamedMutex::Create(Name, Existed);
    EXPECT_TRUE(Existed);
  }
  // Other names are other mutexes.
  plat::NamedMutex Other = plat::NamedMutex::Create(Name + "x", Existed);
  EXPECT_TRUE(Other.Valid());
  EXPECT_FALSE(Existed);

  // Moving keeps the one handle; closing the last one ends the mutex.
  plat::NamedMutex Moved = std::move(First);
  EXPECT_FALSE(First.Valid());
  EXPECT_TRUE(plat::NamedMutex::Open(Name).Valid());
  Moved.Close();
  EXPECT_FALSE(plat::NamedMutex::Open(Name).Valid());
  plat::NamedMutex Again = plat::NamedMutex::Create(Name, Existed);
  EXPECT_TRUE(Again.Valid());
  EXPECT_FALSE(Existed);
}
