#pragma once
// The error kinds that travel up to the application's error handler.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A failed text-file operation, with the Windows error code or a line file code.
class EInOutError : public Exception {
 public:
  explicit EInOutError(int code);
  int Code() const { return code_; }
  static std::string MessageFor(int code);

 private:
  int code_;
};

class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// A text that is not an integer.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Line file codes of its own, beside the Windows error codes.
inline constexpr int kIoCloseNotOpen = 103;
inline constexpr int kIoNotOpenForReading = 104;
inline constexpr int kIoNotOpenForWriting = 105;
