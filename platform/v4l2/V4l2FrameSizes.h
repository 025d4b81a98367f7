#pragma once

#include <utility>
#include <vector>

// Sizes to offer for a camera that gives a range of sizes (stepwise or
// continuous) instead of a list: the common sizes inside the range that sit
// on its steps, smallest first. A step of 0 counts as 1.
void ListSteppedSizes(int minWidth, int maxWidth, int stepWidth, int minHeight, int maxHeight,
                      int stepHeight, std::vector<std::pair<int, int>>& sizes);
