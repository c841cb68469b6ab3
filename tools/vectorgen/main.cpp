// vesk-vectorgen: writes the interop corpus (vectors/*.json) from fixed seeds. Development tool,
// not installed. Every value the library would draw at random comes from DeterministicRandom, so
// a run writes the same bytes as the last; the corpus.regenerate test holds it to that.
//
//   vesk-vectorgen OUTPUT_DIR     writes one file per export and prints the cases per file
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "corpus.h"
#include "vesk.h"

int main(int argc, char** argv) {
  using namespace vesk::vectorgen;
  if (argc != 2) {
    std::fprintf(stderr, "usage: vesk-vectorgen OUTPUT_DIR\n");
    return 2;
  }
  try {
    randomness();  // installed before anything draws
    std::vector<CorpusFile> files;
    for (Generator g : {generate_keys, generate_containers, generate_signatures, generate_identity, generate_transparency}) g(files);
    std::size_t total = 0;
    for (const CorpusFile& f : files) {
      const std::string name = f.export_name().substr(5);  // without "vesk_"
      const std::string path = std::string(argv[1]) + "/" + name + ".json";
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out << f.render(VESK_VERSION);
      if (!out) {
        std::fprintf(stderr, "vesk-vectorgen: cannot write %s\n", path.c_str());
        return 1;
      }
      std::printf("%-40s %4zu cases\n", (name + ".json").c_str(), f.size());
      total += f.size();
    }
    std::printf("%-40s %4zu cases\n", "total", total);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vesk-vectorgen: %s\n", e.what());
    return 1;
  }
  return 0;
}
