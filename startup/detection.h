#pragma once
// The detection mode (/DETECT): start-up as for a run, then every step of a run through the
// recording gateway, with every permission granted, so that each target of the rules that
// exists shows up as a change the run would make. Nothing is changed and nothing is shown.
#include <string>
#include <vector>

#include "engine/cleaner_state.h"
#include "engine/trace.h"

inline constexpr char kProductNotFoundText[] = "Velmora product not found";
// Followed by what a run would do and to what: "delete-key HKEY_LOCAL_MACHINE\...".
inline constexpr char kLeftText[] = "Left: ";

// What is left of the product, each once, in the order a run would meet it. Trace lines go
// to trace while state.TraceLogOn; start-up errors (a missing rule file among them) raise.
std::vector<std::string> DetectLeftovers(CleanerState& state, Trace& trace, const std::string& commandLine,
                                         const std::string& programPath);
