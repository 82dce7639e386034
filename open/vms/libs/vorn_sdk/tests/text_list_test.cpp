#include <set>
#include <string>
#include <vector>

#include <QtCore/QString>

#include <gtest/gtest.h>

#include <vorn/sdk/analytics/helpers/text_list.h>
#include <vorn/sdk/helpers/ref_countable.h>

namespace vorn::sdk::test {
namespace {

using analytics::ITextList;

// A list as a selection hands it out; a null entry stands for a text the list does not give.
class Texts : public RefCountable<ITextList>
{
public:
    explicit Texts(std::vector<const char*> texts)
        : m_texts(std::move(texts))
    {}

    int32_t count() const override { return static_cast<int32_t>(m_texts.size()); }
    const char* textAt(int32_t index) const override
    {
        return index >= 0 && index < count() ? m_texts[static_cast<std::size_t>(index)] : nullptr;
    }

private:
    std::vector<const char*> m_texts;
};

// The caller's getter hands out a reference, which the helpers take over and release.
const ITextList* handOut(const Ptr<Texts>& list)
{
    list->retain();
    return list.get();
}

TEST(TextList, TakesTheTextsAndReleasesTheList)
{
    const auto list = makePtr<Texts>(std::vector<const char*>{"b.Motion", "a.Car", nullptr, "b.Motion"});

    EXPECT_EQ(analytics::takeTexts(handOut(list)), (std::vector<std::string>{"b.Motion", "a.Car", "", "b.Motion"}));
    EXPECT_EQ(list->refCount(), 1);

    EXPECT_EQ(analytics::takeTextSet(handOut(list)), (std::set<std::string>{"", "a.Car", "b.Motion"}));
    EXPECT_EQ(list->refCount(), 1);

    const auto fromUtf8 = [](const char* text) { return QString::fromUtf8(text); };
    EXPECT_EQ(analytics::takeTextSet(handOut(list), fromUtf8), (std::set<QString>{"", "a.Car", "b.Motion"}));
    EXPECT_EQ(list->refCount(), 1);

    EXPECT_TRUE(analytics::takeTexts(nullptr).empty());
    EXPECT_TRUE(analytics::takeTextSet(nullptr, fromUtf8).empty());
}

} // namespace
} // namespace vorn::sdk::test
