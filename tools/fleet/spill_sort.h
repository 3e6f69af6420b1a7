#pragma once
// Sorts more lines than memory should hold: lines gather in one buffer of a fixed size; a
// full buffer is sorted and written to a file in a scratch folder; at the end the files are
// merged, a bounded number at a time. Memory stays the same whether a thousand lines or ten
// million pass through. Lines hold no line feed.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A scratch folder of its own below a base folder, removed with everything in it when the
// object goes. Raises EInOutError when it cannot be made.
class FleetScratch {
 public:
  explicit FleetScratch(const std::filesystem::path& base);
  ~FleetScratch();
  FleetScratch(const FleetScratch&) = delete;
  FleetScratch& operator=(const FleetScratch&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // A new file name inside, never handed out before.
  std::filesystem::path NewFile();

 private:
  std::filesystem::path path_;
  unsigned next_ = 0;
};

class SpillSort {
 public:
  using Less = bool (*)(std::string_view, std::string_view);
  SpillSort(FleetScratch& scratch, Less less, std::size_t bufferBytes = kBufferBytes);
  ~SpillSort();

  void Add(std::string_view line);
  // After the last Add: the lines in order, one per call; false at the end.
  bool Next(std::string& line);

  static constexpr std::size_t kBufferBytes = 512 * 1024;
  static constexpr std::size_t kMergeWays = 32;

 private:
  struct Run;
  void SortBuffer();
  void WriteBuffer();
  void Merge(std::vector<std::filesystem::path> files, const std::filesystem::path& into);
  void StartMerge();

  FleetScratch& scratch_;
  Less less_;
  std::size_t bufferBytes_;
  std::string buffer_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> lines_;  // where each line lies in the buffer, its length
  std::vector<std::filesystem::path> files_;
  bool finished_ = false;
  std::size_t nextInBuffer_ = 0;
  std::vector<std::unique_ptr<Run>> runs_;  // the files being merged, one line ahead each
};
