#include "error.h"

#include <vorn/kit/debug.h>

#include "string.h"

namespace vorn::sdk {

namespace {

void printReport(const std::string& text)
{
    kit::debug::stream() << ("vorn::sdk::error(): " + text + "\n");
}

} // namespace

Error error(ErrorCode errorCode, std::string errorMessage)
{
    if (errorCode == ErrorCode::noError) {
        kit::debug::detail::assertionFailed(&printReport, "errorCode != ErrorCode::noError",
                                            "Error code must differ from `ErrorCode::noError`", __FILE__, __LINE__);
    }
    if (errorMessage.empty()) {
        kit::debug::detail::assertionFailed(&printReport, "!errorMessage.empty()", "Error message must not be empty",
                                            __FILE__, __LINE__);
    }
    return Error(errorCode, new String(std::move(errorMessage)));
}

} // namespace vorn::sdk
