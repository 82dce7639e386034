#include <map>
#include <string>

#include <gtest/gtest.h>

#include <QtCore/QString>

#include <vorn/utils/formatter.h>
#include <vorn/utils/log/scope_of_function.h>
#include <vorn/utils/log/tag.h>
#include <vorn/utils/to_string.h>

// Shows texts as texts in failure messages.
[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace log_formatting_test {

struct ScopeTag
{
};

template <typename T>
struct Wrapper
{
    struct Inner
    {
    };
};

// A type local to a function template.
template <typename T>
const std::type_info& local()
{
    struct ScopeTag
    {
    };
    return typeid(ScopeTag);
}

template <typename T>
const std::type_info& localTagOf()
{
    return local<T>();
}

namespace {

TEST(Formatter, fillsPlaceholders)
{
    struct Row
    {
        const char* name;
        QString actual;
        QString expected;
    };
    const Row rows[] = {
        {"noArguments", vorn::Formatter("keep %1").args(), "keep %1"},
        {"oneArgument", vorn::Formatter("a %1 b %1").args(QStringLiteral("x")), "a x b x"},
        {"lowestPlaceholderFirst", vorn::Formatter("%2 %3").args(QStringLiteral("x")), "x %3"},
        {"severalInOnePass", vorn::Formatter("%1-%2").args(QStringLiteral("%2"), QStringLiteral("y")), "%2-y"},
        {"orderOfPlaceholders", vorn::Formatter("%2 %1").args(QStringLiteral("a"), QStringLiteral("b")), "b a"},
        {"chained", vorn::Formatter("%1 %2").args(QStringLiteral("a")).args(QStringLiteral("b")), "a b"},
        {"nine", vorn::Formatter("%9%8%7%6%5%4%3%2%1").args("1", "2", "3", "4", "5", "6", "7", "8", "9"), "987654321"},
        {"utf8Text", vorn::Formatter("caf\xC3\xA9 %1").args(QStringLiteral("ok")), QString::fromUtf8("caf\u00e9 ok")},
        {"nullText", vorn::Formatter(static_cast<const char*>(nullptr)).toQString(), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.actual, row.expected);
    }
}

TEST(ToString, typeNamesAreDemangledAndShared)
{
    EXPECT_EQ(vorn::detail::toString(typeid(ScopeTag)), "log_formatting_test::ScopeTag");
    EXPECT_EQ(vorn::detail::toString(typeid(std::map<int, ScopeTag*>)),
              "std::map<int, log_formatting_test::ScopeTag*, std::less<int>, "
              "std::allocator<std::pair<int const, log_formatting_test::ScopeTag*> > >");
    EXPECT_EQ(vorn::detail::toString(typeid(int)), "int");

    // A second call hands out the cached text itself rather than a new demangling.
    const QString first = vorn::detail::toString(typeid(Wrapper<int>::Inner));
    const QString second = vorn::detail::toString(typeid(Wrapper<int>::Inner));
    EXPECT_EQ(first, "log_formatting_test::Wrapper<int>::Inner");
    EXPECT_EQ(first.constData(), second.constData());
}

TEST(ToString, byteStringsAreUtf8)
{
    const char* nullText = nullptr;
    EXPECT_EQ(vorn::detail::toString(nullText), "");
    EXPECT_EQ(vorn::detail::toString("\xE2\x82\xAC"), QString::fromUtf8("\u20ac"));
    EXPECT_EQ(vorn::detail::toString(std::string("a\0b", 3)).size(), 3);
    EXPECT_EQ(vorn::detail::toString(std::string_view("abc").substr(0, 2)), "ab");
    EXPECT_EQ(vorn::detail::toString(QByteArray("x")), "x");
}

TEST(ScopeOfFunction, prefixesTheTypesEnclosingScope)
{
    struct Row
    {
        const char* name;
        const std::type_info& type;
        const char* function;
        std::string expected;
    };
    const Row rows[] = {
        {"namespace", typeid(ScopeTag), "parseCommandLineParameters",
         "log_formatting_test::parseCommandLineParameters"},
        {"qualifiedFunction", typeid(ScopeTag), "QJson::deserialize", "log_formatting_test::QJson::deserialize"},
        {"alreadyInScope", typeid(ScopeTag), "log_formatting_test::Server::accept",
         "log_formatting_test::Server::accept"},
        {"nestedTypeGivesItsClass", typeid(Wrapper<int>::Inner), "f", "log_formatting_test::Wrapper<int>::f"},
        {"templateArgumentsAreNotSplit", typeid(Wrapper<std::string>), "f", "log_formatting_test::f"},
        {"globalType", typeid(int), "main", "main"},
        {"localTypeOfTheFunctionGivesItsInstantiation", localTagOf<int>(), "log_formatting_test::local",
         "log_formatting_test::local<int>"},
        {"localTypeOfAnotherFunction", localTagOf<int>(), "f", "log_formatting_test::local<int>::f"},
        {"nullFunction", typeid(ScopeTag), nullptr, "log_formatting_test::"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(vorn::scopeOfFunction(row.type, row.function), row.expected);
    }
}

TEST(Tag, texts)
{
    using vorn::utils::log::Tag;
    EXPECT_EQ(Tag(typeid(ScopeTag)).toString(), "log_formatting_test::ScopeTag");
    EXPECT_EQ(Tag(std::string("caf\xC3\xA9")).toString(), QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(Tag(QStringLiteral("q")).toString(), "q");
    Tag moved(QStringLiteral("m"));
    EXPECT_EQ(Tag(std::move(moved)).toString(), "m");
}

} // namespace
} // namespace log_formatting_test
