// The gateway's texts are 8-bit, one character per byte (Latin-1); Qt's are
// Unicode. These two convert at the edge of the windows.
#pragma once

#include <QString>
#include <string>

namespace tw {

inline QString FromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters beyond Latin-1 cannot come from the gateway; Qt turns them into "?".
inline std::string ToLatin1(const QString& text) {
    return text.toLatin1().toStdString();
}

}  // namespace tw
