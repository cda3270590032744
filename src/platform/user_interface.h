// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the engine says to the person in front of it. The Qt window implements this sink, tests
// record it and rurctl prints or ignores it. Every method has a quiet default.

#include <string>

#include "transport/pacing.h"

namespace rur {

enum class MessageKind { Plain, Information, Warning, Error, Exclamation };

// The status bar's panel for the texts of device operations, which speak to the user; the other
// panels carry the engine's traces.
constexpr int kDeviceOperationPanel = 4;

// Parts of the engine's state that changed; a face reads the new values through the engine's views.
enum class UiUpdate {
  DeviceControls,  // which devices are present and ticked, and the selected one
  StatusPage,      // the status page model
  DeviceNames,     // firmware revision text and the device name texts
  SmartPage,       // the SMART page model
  Enclosures,      // the model of every enclosure: statuses and health (after detection and each refresh)
};

// The notice about finding devices: "Drive detecting" (blinking while a detection runs),
// "No Drive found! ", or nothing once devices were found.
struct DetectionNotice {
  std::string text;
  bool shown = true;
};

class Ui : public EventPump {
 public:
  // Text of status-bar panel index (0..4).
  virtual void panel(int /*index*/, const std::string& /*text*/) {}
  virtual void messageBox(const std::string& /*text*/, const std::string& /*caption*/, MessageKind /*kind*/) {}
  // Called on the engine's main context; off it (the detection thread) only panel() and pump() are used.
  virtual void update(UiUpdate /*what*/) {}

  virtual void detectionNotice(const DetectionNotice& /*notice*/) {}
  // Whether the pages other than the status page may be opened.
  virtual void navigationEnabled(bool /*enabled*/) {}
  // The event log has something to show (the log button appears).
  virtual void eventLogAvailable() {}
  // Whether a firmware upgrade may be started now (detection keeps it off while it recounts drives).
  virtual void upgradeStartable(bool /*startable*/) {}
  // The program's title with the selected device's name.
  virtual void title(const std::string& /*text*/) {}
  // The time to the next SMART read, shown on the SMART page.
  virtual void smartCountdown(const std::string& /*text*/) {}
  // Alarm mails wait in the outbox after a failed attempt: how many and why; empty once none does.
  virtual void mailWaiting(const std::string& /*text*/) {}

  // The device selectors, disabled while a long operation holds a device.
  virtual void deviceSelectorsEnabled(bool /*enabled*/) {}
  // Firmware upgrade progress: blocks done of all blocks.
  virtual void progress(int /*position*/, int /*maximum*/) {}
  // The firmware progress panel with its caption and the text inside it.
  virtual void upgradePanel(bool /*shown*/, const std::string& /*caption*/, const std::string& /*label*/) {}
  // A firmware file was chosen: its name is shown next to the upgrade controls.
  virtual void firmwareFile(const std::string& /*name*/) {}
};

}  // namespace rur
