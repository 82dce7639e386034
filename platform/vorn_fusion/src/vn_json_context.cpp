#include <vorn/fusion/vn_json_context.h>

const CustomJsonSerializer* VnJsonContext::findCustomSerializer(int typeId) const
{
    if (typeId < 0 || static_cast<size_t>(typeId) >= m_customSerializers.size())
        return nullptr;
    return m_customSerializers[static_cast<size_t>(typeId)];
}

void VnJsonContext::setCustomSerializer(int typeId, const CustomJsonSerializer* serializer)
{
    if (typeId < 0)
        return;
    if (static_cast<size_t>(typeId) >= m_customSerializers.size())
        m_customSerializers.resize(static_cast<size_t>(typeId) + 1, nullptr);
    m_customSerializers[static_cast<size_t>(typeId)] = serializer;
}

void VnJsonContext::addFailedField(const QString& key, const QString& valueText)
{
    if (m_failedFieldPath.isEmpty()) {
        m_failedFieldPath = key;
        m_failedValueText = valueText;
        return;
    }
    m_failedFieldPath = key + QLatin1Char('.') + m_failedFieldPath;
}
