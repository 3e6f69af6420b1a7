#include "platform/files/std_file_source.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/errors.h"

namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kTooManyOpenFiles = 4;
constexpr int kAccessDenied = 5;
constexpr int kWriteFault = 29;
constexpr int kReadFault = 30;
constexpr int kOpenFailed = 110;
constexpr int kDiskFull = 112;

// Narrow names go to stat as they are, so ANSI names are judged as fopen sees them.
bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

#ifdef _WIN32
constexpr const char* kPathSeparators = "/\\";
#else
constexpr const char* kPathSeparators = "/";
#endif

bool FolderOfFileIsMissing(const std::string& path) {
  const std::size_t last = path.find_last_of(kPathSeparators);
  return last != std::string::npos && last > 0 && !IsFolder(path.substr(0, last));
}

int OpenFailureCode(const std::string& path, int error) {
  switch (error) {
    case ENOENT: return FolderOfFileIsMissing(path) ? kPathNotFound : kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG: return kPathNotFound;
    case EMFILE:
    case ENFILE: return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR: return kAccessDenied;
    default: return kOpenFailed;
  }
}

std::FILE* Open(const std::string& path, const char* mode) {
  // A folder opens for reading with stdio on some systems; CreateFileA refuses it.
  if (IsFolder(path)) throw EInOutError(kAccessDenied);
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), mode);
  if (file == nullptr) throw EInOutError(OpenFailureCode(path, errno));
  return file;
}

}  // namespace

StdFileSource::StdFileSource(const std::string& path) : owned_(Open(path, "rb")), file_(owned_.get()) {}

std::size_t StdFileSource::Fetch(char* buffer, std::size_t capacity) {
  const std::size_t got = std::fread(buffer, 1, capacity, file_);
  if (got == 0 && std::ferror(file_)) throw EInOutError(kReadFault);
  return got;
}

StdFileSink::StdFileSink(const std::string& path) : owned_(Open(path, "wb")), file_(owned_.get()) {}

StdFileSink::~StdFileSink() = default;

namespace {
int WriteFailureCode(int error) { return error == ENOSPC ? kDiskFull : kWriteFault; }
}  // namespace

void StdFileSink::Store(const char* data, std::size_t size) {
  if (file_ == nullptr) throw EInOutError(kIoNotOpenForWriting);
  errno = 0;
  if (std::fwrite(data, 1, size, file_) != size) throw EInOutError(WriteFailureCode(errno));
}

void StdFileSink::Close() {
  if (file_ == nullptr) throw EInOutError(kIoCloseNotOpen);
  errno = 0;
  if (!owned_) {
    std::FILE* borrowed = file_;
    file_ = nullptr;
    if (std::fflush(borrowed) != 0) throw EInOutError(WriteFailureCode(errno));
    return;
  }
  file_ = nullptr;
  if (std::fclose(owned_.release()) != 0) throw EInOutError(WriteFailureCode(errno));
}
