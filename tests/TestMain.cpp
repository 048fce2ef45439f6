#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
// <thread> brings the clocks; <chrono> itself does not build with the code
// page of narrow literals.
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The test case that runs, for the watch. Never destroyed: the watch's
// thread outlives everything else of the program.
struct Running {
  std::mutex Lock;
  std::string Name;
  Clock::time_point Start;
  bool Active = false;
};
Running* const gRunning = new Running;

// A test case that hangs ends the program with its name, well before the
// time limit of the whole program (and long before CI's): a wait without
// end shows as that test, not as a silent program. DRAVIN_TEST_CASE_SECONDS
// changes the limit (0: none).
class HangWatch : public testing::EmptyTestEventListener {
 public:
  explicit HangWatch(int Seconds) {
    std::thread([Seconds] {
      for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::lock_guard<std::mutex> Guard(gRunning->Lock);
        if (gRunning->Active && Clock::now() - gRunning->Start > std::chrono::seconds(Seconds)) {
          std::fprintf(stderr, "\n%s has run for more than %d seconds: taken as hung, the program ends\n",
                       gRunning->Name.c_str(), Seconds);
          std::fflush(stderr);
          std::_Exit(124);
        }
      }
    }).detach();
  }

 private:
  void OnTestStart(const testing::TestInfo& Info) override {
    std::lock_guard<std::mutex> Guard(gRunning->Lock);
    gRunning->Name = std::string(Info.test_suite_name()) + "." + Info.name();
    gRunning->Start = Clock::now();
    gRunning->Active = true;
  }
  void OnTestEnd(const testing::TestInfo&) override {
    std::lock_guard<std::mutex> Guard(gRunning->Lock);
    gRunning->Active = false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* Limit = std::getenv("DRAVIN_TEST_CASE_SECONDS");
  const int Seconds = Limit ? std::atoi(Limit) : 60;
  if (Seconds > 0) testing::UnitTest::GetInstance()->listeners().Append(new HangWatch(Seconds));
  return RUN_ALL_TESTS();
}
