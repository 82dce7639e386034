#include "wildcard_match.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

namespace {

constexpr QChar kAnyRun = u'*';
constexpr QChar kAnyOne = u'?';
// "?" stands for one character of a name part, so it never matches the separator ".".
constexpr QChar kNotMatchedByAnyOne = u'.';

bool charMatches(QChar patternChar, QChar textChar, bool caseInsensitive)
{
    if (patternChar == kAnyOne)
        return textChar != kNotMatchedByAnyOne;
    if (caseInsensitive)
        return patternChar.toLower() == textChar.toLower();
    return patternChar == textChar;
}

} // namespace

bool wildcardMatch(const QString& pattern, const QString& text, bool caseInsensitive)
{
    // Every non-star pattern character consumes exactly one text character, so when a later star is
    // reached, any way of matching the earlier stars that got there is as good as any other: only
    // the latest star needs a backtrack point.
    const int patternSize = pattern.size();
    const int textSize = text.size();
    int p = 0;
    int t = 0;
    int starAt = -1;    //< Pattern position of the latest star seen.
    int starTextAt = 0; //< Text position where the latest star's run currently ends.

    while (t < textSize) {
        if (p < patternSize && pattern[p] == kAnyRun) {
            starAt = p++;
            starTextAt = t;
            continue;
        }
        if (p < patternSize && charMatches(pattern[p], text[t], caseInsensitive)) {
            ++p;
            ++t;
            continue;
        }
        if (starAt < 0)
            return false;
        // Let the latest star swallow one more character and try the rest again from there.
        p = starAt + 1;
        t = ++starTextAt;
    }

    while (p < patternSize && pattern[p] == kAnyRun)
        ++p;
    return p == patternSize;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
