// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/trusted_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rur {

bool FolderTrustedForTexts(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "no mail folder is given";
    return false;
  }
  // Every step on the way, so that a link anywhere cannot swap the folder for another.
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string step = path.substr(0, end);
    struct stat info {};
    if (::lstat(step.c_str(), &info) != 0) {
      error = "cannot use the mail folder " + path + ": " + step + ": " + std::strerror(errno);
      return false;
    }
    if (S_ISLNK(info.st_mode)) {
      error = "the mail folder " + path + " is reached through the symbolic link " + step + ", which is not followed";
      return false;
    }
    if (end == std::string::npos) break;
  }
  struct stat info {};
  ::lstat(path.c_str(), &info);
  if (!S_ISDIR(info.st_mode)) {
    error = "the mail folder " + path + " is not a folder";
    return false;
  }
  if (info.st_uid != ::getuid() && info.st_uid != 0) {
    error = "the mail folder " + path + " belongs to another user (uid " + std::to_string(info.st_uid) +
            "), who could change the alarm texts";
    return false;
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error = "the mail folder " + path + " can be written by " +
            ((info.st_mode & S_IWOTH) != 0 ? "every user" : "its group") +
            ", who could change the alarm texts (chmod go-w " + path + ")";
    return false;
  }
  return true;
}

}  // namespace rur
