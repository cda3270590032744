#pragma once
// What the engine says to the person in front of it. The Qt window implements this sink, tests
// record it and rurctl prints or ignores it. Every method has a quiet default.

#include <string>

namespace rur {

enum class MessageKind { Plain, Information, Warning, Error, Exclamation };

class Ui {
 public:
  virtual ~Ui() = default;
  // Text of status-bar panel index (0..4).
  virtual void panel(int /*index*/, const std::string& /*text*/) {}
  virtual void messageBox(const std::string& /*text*/, const std::string& /*caption*/, MessageKind /*kind*/) {}
  // Let the window handle pending events inside long loops.
  virtual void pump() {}
};

}  // namespace rur
