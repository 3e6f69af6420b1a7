// Deletes registry trees through the delete-key action and, in the same run, identical trees
// with `reg delete <key> /f`; prints both times and the ratio. Three shapes: 10,000 keys with
// three values each, a chain 200 levels deep, one key with 50,000 values. For comparison it
// also times advapi32's own RegDeleteTreeA in this process, what starting reg.exe costs, and
// the floor: one RegDeleteKeyW per key with every name known in advance. Then it deletes one
// more tree of each kind counting the registry calls, the action's and the floor's, per key.
//   bench_registry_delete.exe [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/registry_call_count.h"
#include "bench/registry_tree.h"
#include "engine/cleaner_context.h"
#include "engine/cleaner_state.h"
#include "engine/gateway/recording_effects.h"
#include "engine/reporter.h"
#include "engine/run/registry_actions.h"
#include "engine/run_view.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "report/trace_log.h"

namespace {

constexpr int kChainLevels = 200;
constexpr int kManyValues = 50000;

class PrintingReporter : public Reporter {
 public:
  void ShowInfo(const std::string& line) override { std::printf("info: %s\n", line.c_str()); }
  void SimpleMessage(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
  bool Confirm(const std::string&) override { return true; }
};

using bench::BuildTree;
using bench::CreateKey;
using bench::Fail;
using bench::KeyExists;
using bench::Median;
using bench::Now;
using bench::SetValues;

std::string ChainPath(int levels) {
  std::string path;
  for (int level = 0; level < levels; ++level) path += (level ? "\\Level" : "Level") + std::to_string(level);
  return path;
}

// The chain's keys below its top, deepest first.
std::vector<std::string> ChainKeyNames() {
  std::vector<std::string> names;
  for (int levels = kChainLevels; levels > 0; --levels) names.push_back(ChainPath(levels));
  return names;
}

std::vector<std::string> NoKeyNames() { return {}; }

// Each level made below the one before through its handle, with one value.
void BuildChain(const std::string& path) {
  UniqueHKey parent = CreateKey(HKEY_CURRENT_USER, path);
  for (int level = 0; level < kChainLevels; ++level) {
    SetValues(parent.Get(), level);
    parent = CreateKey(parent.Get(), "Level" + std::to_string(level));
  }
}

void BuildManyValues(const std::string& path) {
  const UniqueHKey key = CreateKey(HKEY_CURRENT_USER, path);
  const std::string text = "C:\\Program Files\\Velmora\\QRV\\module.dll";
  for (int i = 0; i < kManyValues; ++i) {
    const std::string name = "Value" + std::to_string(i);
    if (RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS) {
      Fail("cannot set " + name);
    }
  }
}

// Runs a command line and waits for it; the exit code.
DWORD RunAndWait(std::string commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &info)) {
    Fail("cannot start " + commandLine);
  }
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  WaitForSingleObject(process.Get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  return code;
}

std::string RegExe() {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\reg.exe";
}

// The four ways of deleting a tree, timed one after another with the order turning each
// round, so that a registry that slows down as the run goes on weighs on none of them alone.
enum Method { kAction, kRegExe, kDeleteTree, kFloor, kMethods };

struct Shape {
  const char* figure;
  const char* description;
  void (*build)(const std::string& path);
  std::vector<std::string> (*keyNames)();  // below the top, each before the key above it
  int keys;
  int rounds;
  bool floorRow;  // the floor gets a row of the table of its own
};

// The floor for any walk: the names need not be found, each key costs one RegDeleteKeyW.
LONG DeleteKnownNames(const Shape& shape, const std::string& tree) {
  UniqueHKey top;
  LONG code = RegOpenKeyExA(HKEY_CURRENT_USER, tree.c_str(), 0, KEY_ALL_ACCESS, top.Put());
  if (code != ERROR_SUCCESS) return code;
  for (const std::string& name : shape.keyNames()) {
    code = RegDeleteKeyW(top.Get(), WideFromAnsi(name).c_str());
    if (code != ERROR_SUCCESS) return code;
  }
  top.Reset();
  return RegDeleteKeyA(HKEY_CURRENT_USER, tree.c_str());
}

double DeleteOnce(Method method, CleanerContext& context, const Shape& shape, const std::string& tree) {
  shape.build(tree);
  const double start = Now();
  DWORD code = 0;
  switch (method) {
    case kAction: DeleteRegistryKeyEntry(context, "HKEY_CURRENT_USER\\" + tree); break;
    case kRegExe: code = RunAndWait("\"" + RegExe() + "\" delete \"HKCU\\" + tree + "\" /f"); break;
    case kDeleteTree: code = static_cast<DWORD>(RegDeleteTreeA(HKEY_CURRENT_USER, tree.c_str())); break;
    case kFloor: code = static_cast<DWORD>(DeleteKnownNames(shape, tree)); break;
    case kMethods: break;
  }
  const double elapsed = Now() - start;
  if (code != 0 || KeyExists(tree)) Fail("method " + std::to_string(method) + " left the tree");
  return elapsed;
}

void RunShape(const Shape& shape, CleanerContext& context, const std::string& base) {
  const std::string tree = base + "\\Tree";
  std::vector<double> times[kMethods];
  std::vector<double> startUps;
  std::printf("\nregistry tree delete, %s, %d rounds (seconds)\n", shape.description, shape.rounds);
  std::printf("%-6s %12s %12s %14s %14s %12s\n", "round", "action", "reg /f", "reg start-up", "RegDeleteTree",
              "floor");
  for (int round = 0; round < shape.rounds; ++round) {
    for (int i = 0; i < kMethods; ++i) {
      const auto method = static_cast<Method>((round + i) % kMethods);
      times[method].push_back(DeleteOnce(method, context, shape, tree));
    }
    // What starting reg.exe costs by itself: deleting a key that does not exist.
    const double start = Now();
    RunAndWait("\"" + RegExe() + "\" delete \"HKCU\\" + base + "\\Missing\" /f");
    startUps.push_back(Now() - start);
    std::printf("%-6d %12.3f %12.3f %14.3f %14.3f %12.3f\n", round + 1, times[kAction].back(), times[kRegExe].back(),
                startUps.back(), times[kDeleteTree].back(), times[kFloor].back());
  }
  const double action = Median(times[kAction]);
  const double regExe = Median(times[kRegExe]);
  const double deleteTree = Median(times[kDeleteTree]);
  const double floor = Median(times[kFloor]);
  std::printf("%-6s %12.3f %12.3f %14.3f %14.3f %12.3f\n", "median", action, regExe, Median(startUps), deleteTree,
              floor);
  std::printf("ratio action / reg delete /f: %.2f; floor / reg delete /f: %.2f\n", action / regExe, floor / regExe);
  std::printf("ratio action / in-process RegDeleteTreeA: %.2f\n", action / deleteTree);
  const auto runs = static_cast<std::size_t>(shape.rounds);
  bench::PrintResult(shape.figure, action, "s", "reg delete /f", regExe, bench::Better::Lower, runs);
  if (shape.floorRow) {
    bench::PrintResult(std::string(shape.figure) + ", the floor (RegDeleteKeyW, names known)", floor, "s",
                       "reg delete /f", regExe, bench::Better::Lower, runs);
  }
}

// One more tree deleted by the action and one by the floor, their registry calls counted.
void CountShape(const Shape& shape, CleanerContext& context, const std::string& base) {
  const std::string tree = base + "\\Tree";
  shape.build(tree);
  bench::ResetRegistryCalls();
  DeleteRegistryKeyEntry(context, "HKEY_CURRENT_USER\\" + tree);
  const double action = bench::PrintRegistryCallsPerKey("action", shape.keys);
  shape.build(tree);
  bench::ResetRegistryCalls();
  if (DeleteKnownNames(shape, tree) != ERROR_SUCCESS) Fail("the floor left the tree");
  const double floor = bench::PrintRegistryCallsPerKey("floor ", shape.keys);
  if (shape.floorRow) {
    bench::PrintResult(std::string(shape.figure) + ", round trips per key", action, "calls",
                       "the floor (RegDeleteKeyW, names known)", floor, bench::Better::Lower, 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  // Before any registry call, so that every address looked up is the counting one.
  for (const std::string& name : bench::InstallRegistryCallCount()) std::printf("not counted: %s\n", name.c_str());
  const std::string base = "Software\\CleanerBench\\run" + std::to_string(GetCurrentProcessId());

  CleanerState state;
  NoRunView view;
  PrintingReporter reporter;
  TraceLog trace;
  CleanerContext context{state, view, LiveEffects::Instance(), reporter, trace};

  // A first tree warms the registry up; it is not counted.
  BuildTree(base + "\\Tree");
  RegDeleteTreeA(HKEY_CURRENT_USER, (base + "\\Tree").c_str());

  const Shape shapes[] = {
      {"registry tree delete, 10,000 keys", "10,000 keys with 3 values each", BuildTree, bench::TreeKeyNames,
       bench::kKeysInTree, rounds, true},
      {"registry tree delete, 200 levels deep", "a chain 200 levels deep, 3 values a level", BuildChain,
       ChainKeyNames, kChainLevels + 1, rounds, false},
      {"registry key delete, 50,000 values", "one key with 50,000 values", BuildManyValues, NoKeyNames, 1,
       std::min(rounds, 3), false},
  };
  for (const Shape& shape : shapes) RunShape(shape, context, base);
  std::printf("\n");
  for (const Shape& shape : shapes) {
    std::printf("%s:\n", shape.description);
    CountShape(shape, context, base);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, base.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\CleanerBench");
  return 0;
}
