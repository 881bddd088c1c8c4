#pragma once

#include <stdexcept>
#include <string>

// The one kind of failure the program raises: it carries the message text that the
// application's default error handler shows to the user.
class AppError : public std::runtime_error {
 public:
  explicit AppError(const std::string& message) : std::runtime_error(message) {}
};
