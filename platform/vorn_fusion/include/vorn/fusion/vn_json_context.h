// VnJsonContext: the state of one JSON read or write.
//
// Make a fresh context for each top-level read or write and drop it afterwards: a read only ever sets
// the missed-field mark and extends the failed-field path, so a reused context would carry the first
// read's findings into the second. A context is used by one thread at a time.
//
//     VnJsonContext ctx;
//     EngineManifest manifest;
//     if (!QJson::deserialize(&ctx, text, &manifest))
//         qWarning() << ctx.failedFieldPath() << ctx.failedValueText();
//
// A fresh context has no custom serializers, all options off and no recorded failure.
#pragma once

#include <vector>

#include <QtCore/QString>

#include <vorn/fusion/custom_json_serializer.h>

class VnJsonContext
{
public:
    VnJsonContext() = default;
    VnJsonContext(const VnJsonContext&) = delete;
    VnJsonContext& operator=(const VnJsonContext&) = delete;

    /**
     * The custom serializer registered for a Qt meta-type id, or null. The context does not own the
     * serializers: each must outlive the context's use.
     */
    const CustomJsonSerializer* findCustomSerializer(int typeId) const;
    void setCustomSerializer(int typeId, const CustomJsonSerializer* serializer);

    /** Set by a record read when one of its keys was absent; nothing clears it. */
    bool missingFieldSeen() const { return m_missingFieldSeen; }
    void setMissingFieldSeen() { m_missingFieldSeen = true; }

    /** Lets the number reader take a JSON string and convert its text. */
    bool numbersFromStrings() const { return m_numbersFromStrings; }
    void setNumbersFromStrings(bool value) { m_numbersFromStrings = value; }

    /** Strict reading: a present field whose value cannot be read fails its whole record. */
    bool failOnBadOptionalField() const { return m_failOnBadOptionalField; }
    void setFailOnBadOptionalField(bool value) { m_failOnBadOptionalField = value; }

    /**
     * Dotted path of the failed field, outermost key first; empty when nothing failed. Array positions
     * are not part of the path.
     */
    const QString& failedFieldPath() const { return m_failedFieldPath; }

    /** Compact JSON text of the innermost value that failed, or the parser's error text. */
    const QString& failedValueText() const { return m_failedValueText; }

    /**
     * Records a failed field. The first failure sets the path and the value text; every later one puts
     * its key and a "." in front of the path and keeps the first value text, so an enclosing field that
     * fails because of an inner one reads outermost first.
     */
    void addFailedField(const QString& key, const QString& valueText);

private:
    std::vector<const CustomJsonSerializer*> m_customSerializers;
    bool m_missingFieldSeen = false;
    bool m_numbersFromStrings = false;
    bool m_failOnBadOptionalField = false;
    QString m_failedFieldPath;
    QString m_failedValueText;
};
