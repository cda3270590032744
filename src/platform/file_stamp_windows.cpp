// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_stamp.h"
#include "platform/windows_text.h"

namespace rur {

std::string FileStamp(const std::filesystem::path& path) {
  OwnedHandle file(::CreateFileW(path.wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION facts{};
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &facts)) return {};
  const auto wide = [](DWORD high, DWORD low) { return std::to_string((std::uint64_t{high} << 32) | low); };
  return wide(facts.nFileIndexHigh, facts.nFileIndexLow) + ":" +
         wide(facts.ftLastWriteTime.dwHighDateTime, facts.ftLastWriteTime.dwLowDateTime) + ":" +
         wide(facts.nFileSizeHigh, facts.nFileSizeLow);
}

}  // namespace rur
