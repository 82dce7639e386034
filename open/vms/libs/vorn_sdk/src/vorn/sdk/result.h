// Error and result records that result operations fill in the caller's memory.
//
// A result operation takes a pointer to the caller's Result<T> first, writes the whole record and
// returns nothing. A successful record is {noError, null message, value}; a failed one carries a
// non-zero code, a message and a null value. The message and a non-null value each carry one
// reference that passes to the caller:
//
//     Result<const IString*> r;
//     plugin->getManifest(&r);
//     Ptr<const IString> message = toPtr(r.error.errorMessage);
//     Ptr<const IString> manifest = toPtr(r.value);
#pragma once

#include <cstdint>

#include <vorn/sdk/i_string.h>

namespace vorn::sdk {

enum class ErrorCode : int32_t {
    noError = 0,
    permissionDenied = -1,
    networkFailure = -22,
    generalFailure = -100,
    unexpectedFailure = -1000,
};

struct Error
{
    ErrorCode errorCode = ErrorCode::noError;
    const IString* errorMessage = nullptr; //< Null when there is no message.

    Error() = default;
    Error(ErrorCode code, const IString* message)
        : errorCode(code)
        , errorMessage(message)
    {}

    bool isOk() const { return errorCode == ErrorCode::noError && errorMessage == nullptr; }
};

template <class T>
struct Result
{
    Error error;
    T value{};

    Result() = default;
    Result(T v)
        : value(v)
    {}
    Result(Error e)
        : error(e)
    {}

    bool isOk() const { return error.isOk(); }
};

template <>
struct Result<void>
{
    Error error;

    Result() = default;
    Result(Error e)
        : error(e)
    {}

    bool isOk() const { return error.isOk(); }
};

} // namespace vorn::sdk
