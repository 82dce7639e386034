#include "object_track_best_shot_packet.h"

#include <vorn/kit/debug.h>

namespace vorn::sdk::analytics {

namespace {

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

} // namespace

ObjectTrackBestShotPacket::ObjectTrackBestShotPacket(Uuid trackId, int64_t timestampUs, BoundingBox boundingBox)
    : m_trackId(trackId)
    , m_timestampUs(timestampUs)
    , m_boundingBox(boundingBox)
{}

void ObjectTrackBestShotPacket::getTrackId(Uuid* outValue) const
{
    if (outValue)
        *outValue = m_trackId;
}

void ObjectTrackBestShotPacket::getBoundingBox(BoundingBox* outValue) const
{
    if (outValue)
        *outValue = m_boundingBox;
}

const char* ObjectTrackBestShotPacket::imageData() const
{
    return m_imageData.empty() ? nullptr : m_imageData.data();
}

int32_t ObjectTrackBestShotPacket::imageDataSize() const
{
    // The setters keep the size below kMaxImageDataSize.
    return static_cast<int32_t>(m_imageData.size());
}

const IAttribute* ObjectTrackBestShotPacket::getAttribute(int32_t index) const
{
    if (index < 0 || index >= attributeCount())
        return nullptr;
    const Attribute* attribute = m_attributes[static_cast<size_t>(index)].get();
    attribute->retain();
    return attribute;
}

int32_t ObjectTrackBestShotPacket::attributeCount() const
{
    return static_cast<int32_t>(m_attributes.size());
}

bool ObjectTrackBestShotPacket::checkImageDataSize(size_t size)
{
    if (size < kMaxImageDataSize)
        return true;
    kit::debug::detail::assertionFailed(
        &printReport, "size < kMaxImageDataSize",
        "Image of " + std::to_string(size) + " bytes does not fit the int32 image size; dropped", __FILE__, __LINE__);
    return false;
}

void ObjectTrackBestShotPacket::setImageData(std::vector<char> imageData)
{
    if (!checkImageDataSize(imageData.size())) {
        m_imageData = std::vector<char>();
        return;
    }
    m_imageData = std::move(imageData);
}

void ObjectTrackBestShotPacket::setImage(std::string imageDataFormat, std::vector<char> imageData)
{
    if (!checkImageDataSize(imageData.size())) {
        m_imageData = std::vector<char>();
        m_imageDataFormat.clear();
        return;
    }
    m_imageDataFormat = std::move(imageDataFormat);
    m_imageData = std::move(imageData);
}

void ObjectTrackBestShotPacket::addAttribute(Ptr<Attribute> attribute)
{
    if (!attribute) {
        kit::debug::detail::assertionFailed(&printReport, "attribute", "", __FILE__, __LINE__);
        return;
    }
    m_attributes.push_back(std::move(attribute));
}

void ObjectTrackBestShotPacket::addAttributes(const std::vector<Ptr<Attribute>>& attributes)
{
    for (const Ptr<Attribute>& attribute : attributes)
        addAttribute(attribute);
}

} // namespace vorn::sdk::analytics
