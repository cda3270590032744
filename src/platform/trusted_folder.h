// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a folder a user names may supply texts the program sends on (the alarm mails' subjects
// and contents): nobody but its owner, who is the user running the program or root, may change
// what is in it, and no symbolic link on the way may lead somewhere else.

#include <string>

namespace rur {

// False with an error that names the folder and says why.
bool FolderTrustedForTexts(const std::string& path, std::string& error);

}  // namespace rur
