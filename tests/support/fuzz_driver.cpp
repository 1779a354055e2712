// Runs a fuzz target without libFuzzer: first every file of the corpus
// folder, then a fixed number of inputs from a seeded generator that mixes
// random bytes with mutations of the corpus, so each run is repeatable.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  long runs = 10000;
  unsigned seed = 1;
  std::string corpus_dir;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::atol(argv[++i]);
    else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) seed = unsigned(std::atol(argv[++i]));
    else if (!std::strcmp(argv[i], "--corpus") && i + 1 < argc) corpus_dir = argv[++i];
  }
  std::vector<std::vector<uint8_t>> corpus;
  if (!corpus_dir.empty() && std::filesystem::is_directory(corpus_dir)) {
    for (const auto& e : std::filesystem::directory_iterator(corpus_dir)) {
      std::ifstream f(e.path(), std::ios::binary);
      corpus.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
  }
  for (const auto& c : corpus) LLVMFuzzerTestOneInput(c.data(), c.size());

  std::mt19937 rng(seed);
  std::vector<uint8_t> buf;
  for (long r = 0; r < runs; ++r) {
    if (!corpus.empty() && rng() % 4 != 0) {
      buf = corpus[rng() % corpus.size()];
      const unsigned flips = 1 + rng() % 8;
      for (unsigned k = 0; k < flips && !buf.empty(); ++k) {
        switch (rng() % 3) {
          case 0: buf[rng() % buf.size()] = uint8_t(rng()); break;
          case 1: buf.erase(buf.begin() + long(rng() % buf.size())); break;
          default: buf.insert(buf.begin() + long(rng() % (buf.size() + 1)), uint8_t(rng())); break;
        }
      }
    } else {
      buf.resize(rng() % 512);
      for (auto& b : buf) b = uint8_t(rng());
    }
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
  }
  std::printf("fuzz: %zu corpus inputs and %ld generated inputs ran clean\n", corpus.size(), runs);
  return 0;
}
