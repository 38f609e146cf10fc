#pragma once

// Completes a grocery whose quantity is still written into its name ("2 lbs apples").

#include <capturekit/model/grocery_item.hpp>

namespace capturekit::GroceryItemNormaliser {

// An item with a quantity, or whose name holds neither a quantity nor a unit, is returned
// unchanged. Otherwise the parsed quantity is taken, and the parsed name and unit replace the
// item's own when there are any.
GroceryItem normalised(const GroceryItem& item);

} // namespace capturekit::GroceryItemNormaliser
