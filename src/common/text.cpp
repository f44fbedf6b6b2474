#include "common/text.h"

namespace common {

std::string join(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (const std::string_view part : parts) {
    joined += part;
  }
  return joined;
}

}  // namespace common
