// JsonLineWriter: writes JSON values as single compact lines, whole, to one stream shared by threads.
//
//     JsonLineWriter out(stdout);
//     out.writeLine(boost::json::object{{"kind", "leakCheck"}, {"live", 0}});
//
// The host tool prints received packets from whatever thread the plugin calls its receiver on, so each
// line is written under one lock and flushed, and lines of two threads never interleave.
//
// The text is made by format(), not by Boost.JSON's serializer: numbers stay readable (0.9 rather than
// 9E-1; a non-finite number becomes null) and texts from plugins are made valid UTF-8 (each byte of a
// broken sequence becomes U+FFFD), so every line is valid JSON whatever the plugin hands over.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include <boost/json/value.hpp>

namespace vorn::vms_server {

class JsonLineWriter
{
public:
    explicit JsonLineWriter(std::FILE* stream);

    /** Writes format(value) and an end of line, then flushes. */
    void writeLine(const boost::json::value& value);

    /** Compact JSON text of value. */
    static std::string format(const boost::json::value& value);

    /** Appends bytes as a quoted JSON string; reads exactly bytes.size() bytes. */
    static void appendString(std::string* out, std::string_view bytes);

    /** Appends a number in its shortest form that reads back as the same double. */
    static void appendDouble(std::string* out, double value);

private:
    std::FILE* const m_stream;
    std::mutex m_streamMutex;
};

} // namespace vorn::vms_server
