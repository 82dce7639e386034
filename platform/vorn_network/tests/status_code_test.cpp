#include <vorn/network/http/status_code.h>

#include <gtest/gtest.h>

#include <vorn/network/http/default_port.h>
#include <vorn/network/http/status_line.h>

namespace vorn::network::http {
namespace {

TEST(StatusCode, SuccessTestAndText)
{
    struct Row
    {
        int code;
        bool success;
        const char* text;
    };
    const Row rows[] = {
        {0, false, "0"},
        {199, false, "199"},
        {200, true, "200 OK"},
        {204, true, "204 No Content"},
        {299, true, "299"},
        {300, false, "300 Multiple Choices"},
        {401, false, "401 Unauthorized"},
        {500, false, "500 Internal Server Error"},
        {598, false, "598"},
        {-1, false, "-1"},
        {100000, false, "100000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(StatusCode::isSuccessCode(row.code), row.success);
        EXPECT_EQ(StatusCode::toString(row.code), row.text);
    }
    EXPECT_EQ((StatusLine{"HTTP/1.0", 404, "Not Found"}.toString()), "HTTP/1.0 404 Not Found");
    EXPECT_EQ((StatusLine{"HTTP/1.1", 599, ""}.toString()), "HTTP/1.1 599");
}

TEST(StatusCode, DefaultPortForScheme)
{
    EXPECT_EQ(defaultPortForScheme("http"), 80);
    EXPECT_EQ(defaultPortForScheme("HTTP"), 80);
    EXPECT_EQ(defaultPortForScheme("https"), 443);
    EXPECT_EQ(defaultPortForScheme("rtsp"), 0);
    EXPECT_EQ(defaultPortForScheme(""), 0);
}

} // namespace
} // namespace vorn::network::http
