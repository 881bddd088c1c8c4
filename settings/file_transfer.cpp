// Moving whole files between disk and memory: the bounded load of regular files and the
// save that replaces a file through a temporary file beside it.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "app_error.h"
#include "field_stream.h"
#include "native_path.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

[[noreturn]] void CannotOpen(const std::string& fileName) {
  throw AppError("Cannot open file " + fileName);
}
[[noreturn]] void CannotCreate(const std::string& fileName) {
  throw AppError("Cannot create file " + fileName);
}
[[noreturn]] void ReadError() { throw AppError("Stream read error"); }
[[noreturn]] void WriteError() { throw AppError("Stream write error"); }

[[noreturn]] void TooLarge(const std::string& fileName, std::size_t maxBytes) {
  constexpr std::size_t KB = 1024, MB = 1024 * 1024;
  const std::string limit = maxBytes % MB == 0 ? std::to_string(maxBytes / MB) + " MB"
                                               : std::to_string(maxBytes / KB) + " KB";
  throw AppError("File too large: " + fileName + " (more than " + limit + ")");
}

// The file a name finally stands for: symbolic links are followed (a relative link from
// the link's own folder), also a link to a file that does not exist yet, so that a save
// writes the linked file and leaves the link in place.
fs::path FollowLinks(const std::string& fileName) {
  fs::path path = NativePath(fileName);
  for (int depth = 0; depth < 40; ++depth) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error)) || error) return path;
    fs::path link = fs::read_symlink(path, error);
    if (error) return path;
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  CannotCreate(fileName);  // a loop of links
}

// A name of 13 characters, whatever the target's name: a target name of any length the
// file system takes leaves room for it.
fs::path TemporaryNameBeside(const fs::path& target) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::random_device seed;
  std::uint64_t bits = (static_cast<std::uint64_t>(seed()) << 32) | seed();
  std::string name = ".~tsv";
  for (int i = 0; i < 8; ++i, bits >>= 4) name += Hex[bits & 15];
  return target.parent_path() / name;
}

#ifndef _WIN32

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now; false when the close reports a failed write.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const MemoryBuffer& buffer) {
  const auto* data = reinterpret_cast<const char*>(buffer.Bytes.data());
  std::size_t written = 0;
  while (written < buffer.Bytes.size()) {
    const ssize_t n = ::write(fd, data + written, buffer.Bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

void SaveInPlace(const MemoryBuffer& buffer, const fs::path& target, const std::string& fileName) {
  FileDescriptor file(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (file.get() < 0) CannotCreate(fileName);
  if (!WriteAll(file.get(), buffer) || !file.Close()) WriteError();
}

// Makes a new temporary file beside the target with the target's owner and permissions;
// -1 when that cannot be done and the target is to be written in place instead.
int MakeTemporaryLike(const fs::path& target, const struct stat* old, fs::path& temporary,
                      const std::string& fileName) {
  const mode_t mode = old != nullptr ? (old->st_mode & 0777) : 0666;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryNameBeside(target);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    // A folder that takes no new file from this user: the target itself may still be
    // writable. Anything else (a missing folder, a full disk) is a failed save.
    if (errno == EACCES || errno == EPERM) return -1;
    CannotCreate(fileName);
  }
  if (old == nullptr) return fd;
  // The replacement gets the old file's owner, group and mode (chown clears the set-id
  // bits, so the mode comes second). Where the owner cannot be given, writing in place
  // keeps it.
  bool same = true;
  if (old->st_uid != ::geteuid() || old->st_gid != ::getegid())
    same = ::fchown(fd, old->st_uid, old->st_gid) == 0;
  if (same) same = ::fchmod(fd, old->st_mode & 07777) == 0;
  if (!same) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return -1;
  }
  return fd;
}

#endif

}  // namespace

#ifndef _WIN32

MemoryBuffer LoadFileWhole(const std::string& fileName, std::size_t maxBytes) {
  // Only a regular file is opened at all (a device or a FIFO may block or never end);
  // the open file is checked again, as the name may have changed in between.
  struct stat named {};
  if (::stat(fileName.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) CannotOpen(fileName);
  FileDescriptor file(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened {};
  if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode))
    CannotOpen(fileName);
  const auto size = static_cast<std::uint64_t>(opened.st_size);
  if (size > maxBytes) TooLarge(fileName, maxBytes);

  MemoryBuffer buffer;
  buffer.Bytes.resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  while (got < buffer.Bytes.size()) {
    const ssize_t n = ::read(file.get(), buffer.Bytes.data() + got, buffer.Bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ReadError();
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got != buffer.Bytes.size()) ReadError();
  return buffer;
}

void SaveFileWhole(const MemoryBuffer& buffer, const std::string& fileName) {
  const fs::path target = FollowLinks(fileName);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  // Only a regular file is replaced; a read-only one is refused as opening it for
  // writing would be (the owner made it read-only to keep it).
  if (exists &&
      (!S_ISREG(old.st_mode) || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0))
    CannotCreate(fileName);
  // A file with more than one name is written in place, so that every name sees the save.
  if (exists && old.st_nlink > 1) return SaveInPlace(buffer, target, fileName);

  fs::path temporary;
  FileDescriptor file(MakeTemporaryLike(target, exists ? &old : nullptr, temporary, fileName));
  if (file.get() < 0) return SaveInPlace(buffer, target, fileName);
  if (!WriteAll(file.get(), buffer) || !file.Close()) {
    ::unlink(temporary.c_str());
    WriteError();
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    CannotCreate(fileName);
  }
}

#else  // Windows: the same rules through the standard library.

MemoryBuffer LoadFileWhole(const std::string& fileName, std::size_t maxBytes) {
  std::error_code error;
  const fs::path path = NativePath(fileName);
  if (!fs::is_regular_file(fs::status(path, error)) || error) CannotOpen(fileName);
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) CannotOpen(fileName);
  if (size > maxBytes) TooLarge(fileName, maxBytes);
  std::ifstream file(path, std::ios::binary);
  if (!file) CannotOpen(fileName);
  MemoryBuffer buffer;
  buffer.Bytes.resize(static_cast<std::size_t>(size));
  try {
    file.read(reinterpret_cast<char*>(buffer.Bytes.data()), static_cast<std::streamsize>(size));
  } catch (const std::exception&) {
    ReadError();
  }
  if (static_cast<std::uintmax_t>(file.gcount()) != size) ReadError();
  return buffer;
}

namespace {
bool WriteStream(const fs::path& path, const MemoryBuffer& buffer, bool& opened) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  opened = static_cast<bool>(file);
  if (!opened) return false;
  file.write(reinterpret_cast<const char*>(buffer.Bytes.data()),
             static_cast<std::streamsize>(buffer.Bytes.size()));
  file.close();
  return static_cast<bool>(file);
}
}  // namespace

void SaveFileWhole(const MemoryBuffer& buffer, const std::string& fileName) {
  const fs::path target = FollowLinks(fileName);
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  const bool exists = fs::exists(status);
  if (exists && !fs::is_regular_file(status)) CannotCreate(fileName);
  // The read-only attribute shows as a missing write permission.
  if (exists && (status.permissions() & fs::perms::owner_write) == fs::perms::none)
    CannotCreate(fileName);

  const fs::path temporary = TemporaryNameBeside(target);
  bool opened = false;
  const bool written = WriteStream(temporary, buffer, opened);
  if (!opened) {
    // No new file can be made in that folder: write the target in place.
    if (!WriteStream(target, buffer, opened)) {
      if (!opened) CannotCreate(fileName);
      WriteError();
    }
    return;
  }
  if (!written) {
    fs::remove(temporary, error);
    WriteError();
  }
  fs::rename(temporary, target, error);
  if (error) {
    fs::remove(temporary, error);
    CannotCreate(fileName);
  }
}

#endif
