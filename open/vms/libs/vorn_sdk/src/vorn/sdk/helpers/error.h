// error(): the error record of a failed result operation, with its message in a new String.
//
//     outResult->error = error(ErrorCode::generalFailure, "Unable to create Engine");
//
// The record owns the message's one reference; handing the record to the caller hands it on.
#pragma once

#include <string>

#include <vorn/sdk/result.h>

namespace vorn::sdk {

/**
 * A zero code or an empty message is reported as a failed assertion; the record is still built with
 * the given code and message (an empty message gives an empty String, not null).
 */
Error error(ErrorCode errorCode, std::string errorMessage);

} // namespace vorn::sdk
