#include "sim/engine/emulated/image_coverage.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include "tools/files/output_file.h"

namespace boardsim::emulated {
namespace {

class Recorder {
 public:
  Recorder() {
    const char *folder = std::getenv("BOARDSIM_COVERAGE_DIR");
    if (folder == nullptr || *folder == '\0') return;
    folder_ = folder;
    std::error_code error;
    scenario_ = std::filesystem::read_symlink("/proc/self/exe", error).filename().string();
  }
  ~Recorder() {
    if (folder_.empty() || blocks_.empty()) return;
    std::filesystem::create_directories(folder_);
    const auto path = folder_ / ("blocks-" + std::to_string(getpid()) + ".txt");
    std::string text;
    char line[64];
    for (const auto &[scenario, image, rva, size] : blocks_) {
      std::snprintf(line, sizeof line, "\t%x\t%x\n", rva, size);
      text += scenario + '\t' + image + line;
    }
    try {
      boardfiles::WriteOutputText(path.string(), text);
    } catch (const boardfiles::FileError &error) {
      std::fprintf(stderr, "boardsim: cannot write the image coverage: %s\n", error.what());
    }
  }

  bool Enabled() const { return !folder_.empty(); }
  void SetScenario(const std::string &name) { scenario_ = name; }
  void Record(const std::string &image, std::uint32_t rva, std::uint32_t size) {
    blocks_.emplace(scenario_, image, rva, size);
  }

 private:
  std::filesystem::path folder_;
  std::string scenario_;
  std::set<std::tuple<std::string, std::string, std::uint32_t, std::uint32_t>> blocks_;
};

Recorder &TheRecorder() {
  static Recorder recorder;
  return recorder;
}

BlockObserver blockObserver = nullptr;

}  // namespace

bool CoverageEnabled() { return TheRecorder().Enabled(); }
void SetCoverageScenario(const std::string &name) { TheRecorder().SetScenario(name); }
void RecordCoverage(const std::string &image, std::uint32_t rva, std::uint32_t size) {
  TheRecorder().Record(image, rva, size);
}
void SetBlockObserver(BlockObserver observer) { blockObserver = observer; }
BlockObserver TheBlockObserver() { return blockObserver; }

}  // namespace boardsim::emulated
