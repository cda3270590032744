#pragma once
// What the engine says to the person in front of it. The Qt window implements this sink, tests
// record it and rurctl prints or ignores it. Every method has a quiet default.

#include <string>

namespace rur {

enum class MessageKind { Plain, Information, Warning, Error, Exclamation };

// Parts of the engine's state that changed; the window reads the new values from the engine.
enum class UiUpdate {
  DetectionText,   // StaticText1: "Drive detecting", "No Drive found! ", hidden
  DeviceControls,  // device check boxes and device buttons: shown, ticked, hints
  PageButtons,     // navigation buttons enabled, log button shown
  UpgradeButton,   // Image2_Upgrade enabled
  StatusPage,      // the status page labels
  DeviceNames,     // firmware revision text, device texts, window caption
  SmartPage,       // the SMART grid, heading, verdict and bay buttons
  SmartCountdown,  // Label21
};

class Ui {
 public:
  virtual ~Ui() = default;
  // Text of status-bar panel index (0..4).
  virtual void panel(int /*index*/, const std::string& /*text*/) {}
  virtual void messageBox(const std::string& /*text*/, const std::string& /*caption*/, MessageKind /*kind*/) {}
  // Let the window handle pending events inside long loops.
  virtual void pump() {}
  // Called on the engine's main context; off it (the detection thread) only panel() and pump() are used.
  virtual void update(UiUpdate /*what*/) {}

  // The device check boxes (CheckBox1, CheckBox3), disabled while a long operation holds a device.
  virtual void deviceSelectorsEnabled(bool /*enabled*/) {}
  // The firmware progress bar (ProgressBar1).
  virtual void progress(int /*position*/, int /*maximum*/) {}
  // The firmware progress panel (Panel1) with its caption and the label inside it (Label12).
  virtual void upgradePanel(bool /*shown*/, const std::string& /*caption*/, const std::string& /*label*/) {}
  // A firmware file was chosen: its name goes to the Upgrade page's edit box and panel 4 widens for it.
  virtual void firmwareFile(const std::string& /*name*/) {}
};

}  // namespace rur
