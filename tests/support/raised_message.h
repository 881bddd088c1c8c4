#pragma once

#include <exception>
#include <functional>
#include <string>

// The message of what an action raises, or "(nothing raised)".
inline std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(nothing raised)";
}
