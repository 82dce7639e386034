// String: the reference-counted text object that carries texts across the library boundary
// (manifests, error messages), and textOrEmpty() for the plain texts that the server hands over.
//
//     Ptr<String> manifest = makePtr<String>(manifestJson);
//     outResult->value = manifest.releasePtr(); // the caller of the result operation owns it now
//
//     const QString login = QString::fromUtf8(textOrEmpty(deviceDescription->login()));
#pragma once

#include <cstdint>
#include <string>

#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/i_string.h>

namespace vorn::sdk {

class String : public RefCountable<IString>
{
public:
    String() = default;

    /** Copies the text; null gives the empty text. */
    explicit String(const char* text);

    explicit String(std::string text);

    /** Never null; valid while the object lives and the text is not changed. */
    const char* text() const override { return m_text.c_str(); }

    /** Null empties the text. */
    void setText(const char* text);
    void setText(std::string text);

    /** The length in bytes, at most INT32_MAX. */
    int32_t size() const;
    bool empty() const { return m_text.empty(); }

private:
    std::string m_text;
};

/** The text, or the empty text for null: the server may hand out null texts (a camera without a login). */
inline const char* textOrEmpty(const char* text)
{
    return text ? text : "";
}

} // namespace vorn::sdk
