// BoundingBox: left and top edge and size of an object's box; {-1, -1, -1, -1} means "not given".
#pragma once

namespace vorn::sdk::analytics {

struct BoundingBox
{
    float x = -1;
    float y = -1;
    float width = -1;
    float height = -1;

    bool operator==(const BoundingBox&) const = default;
};

} // namespace vorn::sdk::analytics
