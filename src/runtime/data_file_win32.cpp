#include "runtime/data_file.h"

#include <windows.h>

#include "runtime/wide.h"

namespace mox {

namespace {
struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  bool close() {
    const bool ok = CloseHandle(h) != 0;
    h = INVALID_HANDLE_VALUE;
    return ok;
  }
};
}  // namespace

bool dataFileExists(const std::filesystem::path& dir, const std::string& pattern) {
  if (pattern.empty()) return false;
  // The system's own directory search: * and ? as Windows reads them, short names included.
  WIN32_FIND_DATAW found;
  HANDLE h =
      FindFirstFileExW((dir / widen(pattern)).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return true;
}

std::optional<std::string> readDataFile(const std::filesystem::path& path, size_t limit) {
  Handle f{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (f.h == INVALID_HANDLE_VALUE || GetFileType(f.h) != FILE_TYPE_DISK) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(f.h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > limit) return std::nullopt;
  std::string content;
  char buf[4096];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(f.h, buf, sizeof buf, &n, nullptr)) return std::nullopt;
    if (n == 0) break;
    content.append(buf, n);
    // The file may have grown since it was measured.
    if (content.size() > limit) return std::nullopt;
  }
  return content;
}

bool replaceDataFile(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::path tmp = path;
  tmp += ".saving";
  Handle f{CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (f.h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    ok = WriteFile(f.h, bytes.data() + done, chunk, &n, nullptr) && n > 0;
    done += n;
  }
  ok = ok && FlushFileBuffers(f.h);
  ok = f.close() && ok;
  // One step for the reader: the old content or the new, never a mixture; WRITE_THROUGH returns only once the
  // rename is on the disk.
  ok = ok && MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(tmp.c_str());
  return ok;
}

}  // namespace mox
