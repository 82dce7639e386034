// vorn::vms::common::h264::SPSUnit: a sequence parameter set, read as far as its identification (profile,
// level, id). Callers that only need "some SPS" to read an SEI unit use a default-constructed one.
#pragma once

#include <vorn/vms/common/h264/nal_unit.h>

namespace vorn::vms::common::h264 {

class SPSUnit : public NALUnit
{
public:
    // Reads the fields below from the decoded unit; false when it is not an SPS or is cut short.
    bool deserialize();

    int profileIdc = -1;
    int levelIdc = -1;
    int seqParameterSetId = -1;
};

} // namespace vorn::vms::common::h264
