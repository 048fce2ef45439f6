// Runs a fuzz target without a fuzzing engine: every file of the corpus folder
// as it is, then a fixed number of mutations of them (flipped bits, changed
// bytes, cut and grown inputs, spliced pieces), the same in every run. Under
// the sanitizers any out-of-bounds access or undefined behaviour ends the run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Mutate(const Bytes& In, const std::vector<Bytes>& Corpus, std::mt19937& R) {
  Bytes Out = In;
  const int Steps = 1 + static_cast<int>(R() % 4);
  for (int S = 0; S < Steps; ++S) {
    switch (R() % 6) {
      case 0:  // flip a bit
        if (!Out.empty()) Out[R() % Out.size()] ^= static_cast<std::uint8_t>(1u << (R() % 8));
        break;
      case 1: {  // an interesting byte or word somewhere
        static const std::uint32_t Values[] = {0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF};
        if (Out.size() < 4) break;
        const std::uint32_t V = Values[R() % std::size(Values)];
        const std::size_t At = R() % (Out.size() - 3);
        for (int K = 0; K < 4; ++K) Out[At + K] = static_cast<std::uint8_t>(V >> (8 * K));
        break;
      }
      case 2:  // cut short
        if (!Out.empty()) Out.resize(R() % Out.size());
        break;
      case 3:  // grow with random bytes
        for (int K = static_cast<int>(R() % 64); K > 0; --K) Out.push_back(static_cast<std::uint8_t>(R()));
        break;
      case 4:  // a random byte
        if (!Out.empty()) Out[R() % Out.size()] = static_cast<std::uint8_t>(R());
        break;
      case 5: {  // splice in a piece of another input
        const Bytes& Other = Corpus[R() % Corpus.size()];
        if (Other.empty() || Out.empty()) break;
        const std::size_t From = R() % Other.size(), Length = 1 + R() % (Other.size() - From);
        const std::size_t At = R() % Out.size();
        Out.erase(Out.begin() + static_cast<long>(At), Out.begin() + static_cast<long>(std::min(Out.size(), At + Length)));
        Out.insert(Out.begin() + static_cast<long>(At), Other.begin() + static_cast<long>(From),
                   Other.begin() + static_cast<long>(From + Length));
        break;
      }
    }
  }
  return Out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Bytes> Corpus;
  for (int I = 1; I < argc; ++I) {
    std::filesystem::path P(argv[I]);
    std::vector<std::filesystem::path> Files;
    if (std::filesystem::is_directory(P)) {
      for (const auto& E : std::filesystem::directory_iterator(P))
        if (E.is_regular_file()) Files.push_back(E.path());
    } else {
      Files.push_back(P);
    }
    std::sort(Files.begin(), Files.end());
    for (const auto& F : Files) {
      std::ifstream In(F, std::ios::binary);
      Corpus.emplace_back(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    }
  }
  if (Corpus.empty()) Corpus.emplace_back();
  for (const Bytes& B : Corpus) LLVMFuzzerTestOneInput(B.data(), B.size());
  const char* Env = std::getenv("DRAVIN_FUZZ_RUNS");
  const long Runs = Env ? std::atol(Env) : 20000;
  std::mt19937 R(20261208);
  for (long N = 0; N < Runs; ++N) {
    const Bytes Input = Mutate(Corpus[R() % Corpus.size()], Corpus, R);
    LLVMFuzzerTestOneInput(Input.data(), Input.size());
  }
  std::printf("%zu corpus inputs and %ld mutations ran\n", Corpus.size(), Runs);
  return 0;
}
