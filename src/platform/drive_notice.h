// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the host says when its list of drives changes. A removal is worth more than "something
// changed": the enclosure on that drive has left, even when it is back before the drives are
// counted again, so a short absence is still seen as one.

#include <string>

namespace rur {

struct DriveNotice {
  enum class Kind { Changed, Added, Removed };
  Kind kind = Kind::Changed;
  int drive = -1;    // the physical drive number, when the source knows it
  std::string node;  // its device node ("/dev/sdb"), when the source knows it
  bool removal() const { return kind == Kind::Removed; }
};

}  // namespace rur
