#pragma once
// What a run changes in the configuration of a product's service, and what undo puts back:
// its start type and its failure actions (what the Service Control Manager does when the
// service's process ends without being stopped: restart it, run a command, restart Windows).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ServiceFailureAction {
  std::uint32_t type = 0;   // SC_ACTION_NONE, _RESTART, _REBOOT, _RUN_COMMAND
  std::uint32_t delay = 0;  // milliseconds
  bool operator==(const ServiceFailureAction&) const = default;
};

struct ServiceSettings {
  std::uint32_t startType = 0;  // SERVICE_AUTO_START ... SERVICE_DISABLED
  std::uint32_t resetPeriod = 0;  // seconds without a failure after which the count restarts
  std::wstring rebootMessage;
  std::wstring command;
  std::vector<ServiceFailureAction> actions;
  bool operator==(const ServiceSettings&) const = default;
};

// Start type 4: the manager starts the service neither at boot nor on demand.
inline constexpr std::uint32_t kServiceDisabled = 4;

// What a run sets: disabled, and no failure actions, so that neither a restart of Windows
// nor the end of its process brings the service back.
ServiceSettings DisabledServiceSettings();

// A byte form for the backup journal: the numbers as 32-bit little-endian words, each text
// as its length in UTF-16 units and the units. Decoding takes exactly that form and nothing
// else: a byte too few or too many, or a count beyond the bytes, gives nothing.
std::vector<std::uint8_t> EncodeServiceSettings(const ServiceSettings& settings);
std::optional<ServiceSettings> DecodeServiceSettings(const std::vector<std::uint8_t>& bytes);

// For the trace and the plan: "start type 4, 2 failure actions".
std::string DescribeServiceSettings(const ServiceSettings& settings);
