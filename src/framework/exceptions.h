#pragma once
// The framework's failures. Opening or creating a stream that fails gives no
// stream; everything else the framework reports by throwing one of these.

#include <stdexcept>
#include <string>

namespace fw {

// Root of every failure that the framework reports as an exception.
class RuntimeException : public std::runtime_error {
 public:
  explicit RuntimeException(const std::string& message) : std::runtime_error(message) {}
  // The class name shown in the unhandled-exception report.
  virtual std::string ClassName() const { return "RuntimeException"; }
};

// A call or property access on an object that isn't there.
class NilObjectException : public RuntimeException {
 public:
  explicit NilObjectException(const std::string& message = "An object was expected but none was there.")
      : RuntimeException(message) {}
  std::string ClassName() const override { return "NilObjectException"; }
};

// Reading or writing a file failed. Carries the system's error number (errno)
// and its text.
class IOException : public RuntimeException {
 public:
  IOException(int errorNumber, const std::string& message)
      : RuntimeException(message), errorNumber_(errorNumber) {}
  int ErrorNumber() const { return errorNumber_; }
  std::string ClassName() const override { return "IOException"; }

 private:
  int errorNumber_;
};

// Raises NilObjectException when `p` is null; used before each call on an
// object held in a variable.
template <class T>
T* CheckNil(T* p) {
  if (p == nullptr) throw NilObjectException();
  return p;
}

}  // namespace fw
