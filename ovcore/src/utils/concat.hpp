#pragma once
// Joins texts into one string with a single allocation: for messages built
// on every instance, where appending piece by piece regrows the string.

#include <initializer_list>
#include <string>
#include <string_view>

namespace ovcore::utils {

inline std::string concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  std::string out;
  out.reserve(size);
  for (std::string_view part : parts) out.append(part);
  return out;
}

}  // namespace ovcore::utils
