#include "common/first_appearance.h"

#include <map>

#include "common/count.h"

namespace common {

FirstAppearance first_appearance(std::span<const std::string_view> items) {
  FirstAppearance order;
  // Used for look-up only; the numbers come from the order of the items.
  std::map<std::string_view, int> number;
  for (const std::string_view item : items) {
    const auto [at, added] = number.try_emplace(item, count_of(order.values));
    if (added) {
      order.values.emplace_back(item);
    }
    order.number_of.push_back(at->second);
  }
  return order;
}

}  // namespace common
