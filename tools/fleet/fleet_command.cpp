#include "tools/fleet/fleet_command.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/errors.h"
#include "platform/text/wide_text.h"
#include "tools/fleet/fleet_line.h"
#include "tools/fleet/fleet_outputs.h"
#include "tools/fleet/spill_sort.h"
#include "tools/rule_tool.h"

namespace fs = std::filesystem;

namespace {

struct FleetOptions {
  std::vector<std::string> inputs;
  fs::path expect, outDir, csv, html;
};

#ifdef _WIN32
int OpenToRead(const fs::path& path) { return _wopen(path.c_str(), _O_RDONLY | _O_BINARY); }
long long ReadSome(int file, char* buffer, unsigned most) { return _read(file, buffer, most); }
void CloseFile(int file) { _close(file); }
#else
int OpenToRead(const fs::path& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }
long long ReadSome(int file, char* buffer, unsigned most) { return ::read(file, buffer, most); }
void CloseFile(int file) { ::close(file); }
#endif

// The reports of one file at a time, in large reads, through the system's own calls: a stream
// or stdio would add a buffer and a copy to every one of many small files.
class PathSource : public ByteSource {
 public:
  explicit PathSource(const fs::path& path) {
    file_ = OpenToRead(path);
    if (file_ < 0) throw Exception("cannot be opened");
  }
  ~PathSource() override { CloseFile(file_); }
  PathSource(const PathSource&) = delete;
  PathSource& operator=(const PathSource&) = delete;
  std::size_t Fetch(char* buffer, std::size_t capacity) override {
    if (ended_) return 0;
    const auto most = static_cast<unsigned>(std::min<std::size_t>(capacity, 1u << 30));
    const long long read = ReadSome(file_, buffer, most);
    if (read < 0) throw Exception("cannot be read");
    // A report is read in one go: a short read on a file is its end, and asking again costs a call.
    ended_ = static_cast<std::size_t>(read) < most;
    return static_cast<std::size_t>(read);
  }

 private:
  int file_ = -1;
  bool ended_ = false;
};

std::string Shown(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A path as the command line gives it: in the ANSI code page on Windows, UTF-8 elsewhere.
fs::path PathOf(const std::string& text) {
#ifdef _WIN32
  return fs::path(WideFromAnsi(text));
#else
  return fs::path(std::u8string(text.begin(), text.end()));
#endif
}

bool IsReportName(const fs::path& path) {
  std::string extension = Shown(path.extension());
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension == ".json";
}

// Reads every report named or found below a named folder into the sort; what cannot be read
// goes to the summary's list with its reason.
class Collector {
 public:
  Collector(SpillSort& sort, FleetSummary& summary) : sort_(sort), summary_(summary) {}

  void Input(const std::string& name) {
    const fs::path path = PathOf(name);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) return summary_.AddUnreadable(name, "no such file or folder");
    if (!fs::is_directory(status)) return Report(path);
    fs::recursive_directory_iterator walk(path, fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
      std::error_code kindError;
      if (walk->is_regular_file(kindError) && IsReportName(walk->path())) Report(walk->path());
    }
    if (error) summary_.AddUnreadable(name, "the folder could not be read to its end: " + error.message());
  }

 private:
  void Report(const fs::path& path) {
    const std::string shown = Shown(path);
    try {
      PathSource source(path);
      FleetRun run = ReadFleetRun(source);
      run.file = shown;
      ++summary_.reports;
      if (run.NewerSchema()) summary_.AddNewerSchema(run.schemaVersion);
      sort_.Add(RunLine(run));
    } catch (const EInOutError&) {
      throw;  // the scratch files failed, not the report
    } catch (const Exception& error) {
      summary_.AddUnreadable(shown, error.Message());
    }
  }

  SpillSort& sort_;
  FleetSummary& summary_;
};

void ReadExpectList(const fs::path& file, SpillSort& sort) {
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) throw Exception("cannot read the expect list " + Shown(file));
  std::string line;
  for (bool first = true; std::getline(in, line); first = false) {
    if (first && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    const std::size_t begin = line.find_first_not_of(" \t\r");
    if (begin == std::string::npos || line[begin] == '#') continue;
    const std::size_t end = line.find_last_not_of(" \t\r");
    sort.Add(ExpectedLine(line.substr(begin, end - begin + 1)));
  }
}

// Each machine's lines arrive together, its latest run first: one machine at a time goes to
// the summary and the CSV.
void Group(SpillSort& sort, FleetSummary& summary, FleetCsv* csv) {
  std::string line;
  std::string key;
  MachineRuns machine;
  FleetRun latest;
  bool open = false;
  const auto flush = [&] {
    if (!open) return;
    machine.latest = machine.runs > 0 ? &latest : nullptr;
    summary.AddMachine(machine);
    if (csv != nullptr) csv->Row(machine);
  };
  while (sort.Next(line)) {
    FleetLine parsed = ParseLine(line);
    if (!open || parsed.key != key) {
      flush();
      open = true;
      key = parsed.key;
      machine = MachineRuns{parsed.run.computer, nullptr, 0, false};
    }
    if (parsed.expected) {
      machine.expected = true;
      continue;
    }
    if (machine.runs++ == 0) latest = std::move(parsed.run);
  }
  flush();
}

// Written beside the target and put in its place only when complete.
class OutputFile {
 public:
  explicit OutputFile(fs::path target) : target_(std::move(target)), part_(target_) {
    part_ += ".part";
    stream_.open(part_, std::ios::binary);
    if (!stream_.is_open()) throw Exception("cannot write " + Shown(target_));
  }
  ~OutputFile() {
    if (!committed_) {
      stream_.close();
      std::error_code ignored;
      fs::remove(part_, ignored);
    }
  }
  std::ostream& Stream() { return stream_; }
  void Commit() {
    stream_.close();
    std::error_code error;
    if (stream_.fail()) throw Exception("cannot write " + Shown(target_));
    fs::rename(part_, target_, error);
    if (error) throw Exception("cannot write " + Shown(target_) + ": " + error.message());
    committed_ = true;
  }

 private:
  fs::path target_;
  fs::path part_;
  std::ofstream stream_;
  bool committed_ = false;
};

std::optional<FleetOptions> ParseOptions(const std::vector<std::string>& arguments, std::ostream& err) {
  FleetOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    fs::path* value = argument == "-o"         ? &options.outDir
                         : argument == "--csv"    ? &options.csv
                         : argument == "--html"   ? &options.html
                         : argument == "--expect" ? &options.expect
                                                  : nullptr;
    if (value != nullptr) {
      if (i + 1 == arguments.size()) {
        err << "RuleTool: fleet: " << argument << " needs a value\n";
        return std::nullopt;
      }
      *value = PathOf(arguments[++i]);
    } else if (argument.starts_with("-") && argument != "-") {
      err << "RuleTool: fleet does not know \"" << argument << "\"\n";
      return std::nullopt;
    } else {
      options.inputs.push_back(argument);
    }
  }
  if (options.inputs.empty()) {
    err << "RuleTool: fleet needs a folder or report files\nusage: " << kFleetUsage << "\n";
    return std::nullopt;
  }
  if (!options.outDir.empty()) {
    if (options.csv.empty()) options.csv = options.outDir / "fleet.csv";
    if (options.html.empty()) options.html = options.outDir / "fleet.html";
  }
  return options;
}

fs::path ScratchBase(const FleetOptions& options) {
  if (!options.outDir.empty()) return options.outDir;
  std::error_code error;
  const fs::path temp = fs::temp_directory_path(error);
  return error ? fs::current_path() : temp;
}

}  // namespace

int RunFleetCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const std::optional<FleetOptions> options = ParseOptions(arguments, err);
  if (!options) return kToolFailed;
  try {
    if (!options->outDir.empty()) {
      std::error_code error;
      fs::create_directories(options->outDir, error);
      if (error) throw Exception("cannot make the folder " + Shown(options->outDir) + ": " + error.message());
    }
    FleetScratch scratch(ScratchBase(*options));
    SpillSort sort(scratch, LineLess);
    FleetSummary summary(scratch.Path(), !options->expect.empty());
    if (!options->expect.empty()) ReadExpectList(options->expect, sort);
    Collector collector(sort, summary);
    for (const std::string& input : options->inputs) collector.Input(input);

    std::optional<OutputFile> csvFile;
    std::optional<FleetCsv> csv;
    if (!options->csv.empty()) {
      csvFile.emplace(options->csv);
      csv.emplace(csvFile->Stream());
    }
    Group(sort, summary, csv ? &*csv : nullptr);
    if (csvFile) csvFile->Commit();
    if (!options->html.empty()) {
      OutputFile html(options->html);
      WriteFleetHtml(summary, html.Stream());
      html.Commit();
    }
    if (!options->outDir.empty()) {
      OutputFile text(options->outDir / "fleet-summary.txt");
      WriteFleetText(summary, text.Stream());
      text.Commit();
    }
    WriteFleetText(summary, out);
    out.flush();
    const bool complete = summary.unreadable.Count() == 0 && summary.missing.Count() == 0;
    return complete ? kToolDone : kToolFindings;
  } catch (const Exception& error) {
    err << "RuleTool: fleet: " << error.Message() << "\n";
    return kToolFailed;
  }
}
