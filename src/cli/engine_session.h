// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the engine-driven commands share: starting the program and waiting for the first
// detection, and reading a device position from --device.

#include <string>
#include <string_view>

#include "cli/command_arguments.h"
#include "cli/command_table.h"

namespace rur::cli {

// How long a command waits for the first detection (program time).
constexpr std::uint64_t kDetectionWaitMs = 120000;

enum class EventLogUse { Off, On };

// --drive D names a drive (number, device path or by-id name): it is probed whatever its bus. Call
// before StartAndDetect; false with a message when D names no drive.
bool ProbeNamedDrive(CommandContext& context, const ParsedArguments& parsed, std::string_view command);

// Starts the program and runs it until the first detection was published. Commands that only
// look keep the event log off, so a status query leaves no banner in the day's log.
bool StartAndDetect(CommandContext& context, std::string_view command, EventLogUse log = EventLogUse::Off);

// --device N (numbered from 1, default `fallback`) or --drive D (the physical drive by number, path
// or by-id name, which does not shift when another enclosure goes missing) as a position of the
// device table; false with a message when it names no detected enclosure.
bool DevicePosition(CommandContext& context, const ParsedArguments& parsed, std::string_view command, unsigned fallback,
                    unsigned& position);
// "Device1 (drive 2)": how commands that change or read a controller name it.
std::string DeviceLabel(const Engine& engine, unsigned position);
// Tells on err what detection could not read and which drives other processes held.
void ReportDetectionProblems(CommandContext& context, std::string_view command);

}  // namespace rur::cli
