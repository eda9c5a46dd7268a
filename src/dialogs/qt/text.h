// 16-bit text of the system to and from QString, which holds the same units.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace nbl::dialogs::qt {

inline QString ToQ(std::u16string_view s) {
  return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

inline std::u16string FromQ(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
}

}  // namespace nbl::dialogs::qt
