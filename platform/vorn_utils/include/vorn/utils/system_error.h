// SystemError: the operating system's last error code and its text.
//
// On this platform the last error code is errno. Code that must not disturb the code a failing system
// call left behind (log statements placed between the call and the reading of its code) saves it with
// getLastOSErrorCode() and puts it back with setLastErrorCode():
//
//     const SystemError::ErrorCode saved = SystemError::getLastOSErrorCode();
//     writeSomething();                       // may change errno
//     SystemError::setLastErrorCode(saved);
//
// The class lives in the global namespace, where every caller finds it as `SystemError`.
#pragma once

#include <cstdint>

#include <QtCore/QString>

class SystemError
{
public:
    // An unsigned 32-bit system error code; 0 means success.
    using ErrorCode = std::uint32_t;
    static constexpr ErrorCode noError = 0;

    // The calling thread's last error code.
    static ErrorCode getLastOSErrorCode();
    // Sets the calling thread's last error code.
    static void setLastErrorCode(ErrorCode code);
    // The system's text for the code, as it would describe it to a user.
    static QString toString(ErrorCode code);
};
