// Flag-enum text: the conversions between a flag set (QFlags of a flag enum) and its text, the flag
// names joined by "|" ("deviceDependent|noAutoBestShots").
//
// An enum takes part by declaring, beside itself, a constexpr name table that argument-dependent
// lookup finds: flagNames(Enum) returning a std::array of (value, name) pairs. The single-bit values
// are the flags; a name for 0 is what an empty set is written as.
//
//     enum class Color { none = 0, red = 1 << 0, blue = 1 << 1 };
//     constexpr std::array<std::pair<int, std::string_view>, 3> flagNames(Color)
//         { return {{{0, "none"}, {1, "red"}, {2, "blue"}}}; }
//
//     vorn::fusion::toString(QFlags<Color>(Color::red | Color::blue));    // "red|blue"
//     QFlags<Color> colors;
//     vorn::fusion::fromString(" RED | 0x2 ", &colors);                    // true, red and blue
//
// Reading is lenient about layout (tokens are trimmed, names compared without regard to the case of
// A to Z, numbers in decimal or "0x" hexadecimal) and strict about content: a token that names no
// flag, or a number with bits that no flag defines, fails the read and is logged, while the tokens
// that were accepted stay in the target. All functions are pure and thread-safe; the tables are
// sorted when the program is built.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <concepts>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include <QtCore/QFlags>

#include <vorn/utils/flags_detail.h>

namespace vorn::fusion {

template <typename Enum>
concept FlagEnum = std::is_enum_v<Enum> && requires
{
    {
        flagNames(Enum{})[0].first
        } -> std::convertible_to<int>;
    {
        flagNames(Enum{})[0].second
        } -> std::convertible_to<std::string_view>;
};

namespace flag_text_detail {

using Entry = std::pair<int, std::string_view>;

constexpr char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/** Negative, zero or positive as a sorts before, with or after b, ignoring the case of A to Z. */
constexpr int compareIgnoringCase(std::string_view a, std::string_view b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const char x = asciiLower(a[i]);
        const char y = asciiLower(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Insertion sort: stable (entries with equal keys keep their table order) and usable at compile time.
template <size_t N, typename Less>
constexpr std::array<Entry, N> stableSorted(std::array<Entry, N> entries, Less less)
{
    for (size_t i = 1; i < N; ++i) {
        for (size_t j = i; j > 0 && less(entries[j], entries[j - 1]); --j)
            std::swap(entries[j], entries[j - 1]);
    }
    return entries;
}

template <FlagEnum Enum>
constexpr auto tableOf()
{
    constexpr size_t kSize = std::tuple_size_v<decltype(flagNames(Enum{}))>;
    const auto names = flagNames(Enum{});
    std::array<Entry, kSize> entries{};
    for (size_t i = 0; i < kSize; ++i)
        entries[i] = Entry(static_cast<int>(names[i].first), std::string_view(names[i].second));
    return entries;
}

template <FlagEnum Enum>
inline constexpr auto kByValue = stableSorted(tableOf<Enum>(),
                                              [](const Entry& a, const Entry& b) { return a.first < b.first; });

template <FlagEnum Enum>
inline constexpr auto kByName = stableSorted(tableOf<Enum>(), [](const Entry& a, const Entry& b) {
    return compareIgnoringCase(a.second, b.second) < 0;
});

/** The bits 0 to 30 that no single-bit entry of the table defines. */
template <FlagEnum Enum>
constexpr int undefinedBits(int value)
{
    int undefined = 0;
    for (int bit = 0; bit < 31; ++bit) {
        const int flag = 1 << bit;
        if ((value & flag) == 0)
            continue;
        const bool defined = std::any_of(kByValue<Enum>.begin(), kByValue<Enum>.end(),
                                         [flag](const Entry& entry) { return entry.first == flag; });
        if (!defined)
            undefined |= flag;
    }
    return undefined;
}

/**
 * A token as a 32-bit signed number: "0x" or "0X" and hexadecimal digits, or decimal digits; an
 * optional "-" before the digits, no "+", no blanks, nothing after the digits.
 */
inline bool parseNumber(std::string_view token, int* outValue)
{
    int base = 10;
    if (token.size() >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        token.remove_prefix(2);
        base = 16;
    }
    if (token.empty())
        return false;
    const char* const end = token.data() + token.size();
    const auto [position, error] = std::from_chars(token.data(), end, *outValue, base);
    return error == std::errc() && position == end;
}

/**
 * The name of the value, or its decimal text when the table has no entry for it. Takes the number,
 * not the enum: a bit that no enumerator holds may lie outside the range of an enum without a fixed
 * underlying type, and converting it to the enum would be undefined.
 */
template <FlagEnum Enum>
std::string nameOf(int number)
{
    const auto& table = kByValue<Enum>;
    const auto entry =
        std::lower_bound(table.begin(), table.end(), number, [](const Entry& e, int v) { return e.first < v; });
    if (entry != table.end() && entry->first == number)
        return std::string(entry->second);
    return std::to_string(number);
}

} // namespace flag_text_detail

/** The name of one value, or its decimal text when the table has no entry for it. */
template <FlagEnum Enum>
std::string toString(Enum value)
{
    return flag_text_detail::nameOf<Enum>(static_cast<int>(value));
}

/**
 * Appends the names of the set bits 0 to 30, joined by "|", to the text, and ORs the set bits that
 * have no name into invalidBits. Bit 31 is never named and never reported here.
 */
template <FlagEnum Enum>
void flagsToString(QFlags<Enum> flags, std::string* text, int* invalidBits)
{
    const int value = static_cast<int>(flags);
    for (int bit = 0; bit < 31; ++bit) {
        const int flag = 1 << bit;
        if ((value & flag) == 0)
            continue;
        const std::string name = flag_text_detail::nameOf<Enum>(flag);
        if (name.empty() || (name[0] >= '0' && name[0] <= '9')) {
            *invalidBits |= flag;
            continue;
        }
        if (!text->empty())
            *text += '|';
        *text += name;
    }
}

/**
 * The text of a flag set: the names of its bits joined by "|", or the name of 0 for an empty set (the
 * empty text when the enum has no name for 0). Bits without a name are reported as a failed assertion
 * and left out.
 */
template <FlagEnum Enum>
std::string toString(QFlags<Enum> flags)
{
    const int value = static_cast<int>(flags);
    if (value == 0) {
        std::string name = flag_text_detail::nameOf<Enum>(0);
        return name == "0" ? std::string() : name;
    }
    std::string text;
    int invalidBits = 0;
    flagsToString(flags, &text, &invalidBits);
    if (invalidBits != 0 || value < 0)
        vorn::utils::flags_detail::assertInvalidFlagValue(typeid(Enum), value, invalidBits);
    return text;
}

/**
 * Parses a flag text into the target, which starts from 0. Every token is tried; a rejected one is
 * logged and fails the parse, and the target keeps the OR of the accepted ones.
 */
template <FlagEnum Enum>
bool fromString(std::string_view text, QFlags<Enum>* target)
{
    using namespace flag_text_detail;
    namespace report = vorn::utils::flags_detail;

    *target = QFlags<Enum>();
    bool success = true;
    while (!text.empty()) {
        const size_t separator = text.find('|');
        const std::string_view rawToken = text.substr(0, separator);
        text = separator == std::string_view::npos ? std::string_view() : text.substr(separator + 1);

        const std::string_view token = report::trim(rawToken);
        if (token.empty())
            continue;

        const auto& table = kByName<Enum>;
        const auto entry = std::lower_bound(table.begin(), table.end(), token, [](const Entry& e, std::string_view t) {
            return compareIgnoringCase(e.second, t) < 0;
        });
        if (entry != table.end() && compareIgnoringCase(entry->second, token) == 0) {
            *target |= static_cast<Enum>(entry->first);
            continue;
        }

        int number = 0;
        if (!parseNumber(token, &number)) {
            report::logInvalidFlagRepresentation(typeid(Enum), token);
            success = false;
            continue;
        }
        const int undefined = undefinedBits<Enum>(number);
        if (undefined != 0 || number < 0) {
            report::logInvalidFlagValue(typeid(Enum), number, undefined);
            success = false;
            continue;
        }
        *target |= QFlags<Enum>(QFlag(number));
    }
    return success;
}

} // namespace vorn::fusion
