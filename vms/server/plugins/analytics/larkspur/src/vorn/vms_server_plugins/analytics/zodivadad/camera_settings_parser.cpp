#include "camera_settings_parser.h"

#include <limits>

namespace vorn::vms_server_plugins::analytics::zodivadad {

namespace {

constexpr char kEntrySeparator = ';';
constexpr QChar kAssignment = u'=';
constexpr QChar kQuote = u'\'';
const QString kVarKeyword = QStringLiteral("var");

// Only the keyword in front of the name goes: "var" followed by white space. Names that merely
// contain the letters ("system_variant", "varnish") keep them.
QString settingName(QString text)
{
    text = text.trimmed();
    if (text.startsWith(kVarKeyword) && text.size() > kVarKeyword.size() && text[kVarKeyword.size()].isSpace())
        text = text.mid(kVarKeyword.size()).trimmed();
    return text;
}

// One quote goes at each end, so a value that itself holds quotes keeps them; a value that the
// reply cut at a ";" inside its quotes ("'a" of "'a;b'") still loses its opening quote.
QString settingValue(QString text)
{
    text = text.trimmed();
    if (text.startsWith(kQuote))
        text.remove(0, 1);
    if (text.endsWith(kQuote))
        text.chop(1);
    return text.trimmed();
}

} // namespace

CameraSettings parseCameraSettingsReply(std::string_view body)
{
    CameraSettings settings;
    std::size_t pieceStart = 0;
    while (pieceStart <= body.size()) {
        std::size_t pieceEnd = body.find(kEntrySeparator, pieceStart);
        if (pieceEnd == std::string_view::npos)
            pieceEnd = body.size();
        std::string_view piece = body.substr(pieceStart, pieceEnd - pieceStart);
        pieceStart = pieceEnd + 1;

        if (const std::size_t zero = piece.find('\0'); zero != std::string_view::npos)
            piece = piece.substr(0, zero);
        // A QString cannot hold more; such a piece is no setting of any camera.
        if (piece.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            continue;
        const QString text = QString::fromUtf8(piece.data(), static_cast<int>(piece.size()));
        const int assignment = text.indexOf(kAssignment);
        if (assignment < 0)
            continue;
        settings[settingName(text.left(assignment))] = settingValue(text.mid(assignment + 1));
    }
    return settings;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
