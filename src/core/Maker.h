// The maker's contact data and web addresses, kept in this one place.
#pragma once

#include <QString>

namespace Maker {

inline const QString Name = QStringLiteral("Tolvane");
inline const QString WebSite = QStringLiteral("www.tolvane.example");           // without its scheme
inline const QString UpdateHost = QStringLiteral("www.tolvane.example");
inline const QString UpdatePath = QStringLiteral("/Tolvane/Korlith.txt");
inline const QString Mail = QStringLiteral("korlith@tolvane.example");
inline const QString Icq = QStringLiteral("123456789");
inline const QString Author = QStringLiteral("Programmiert von Tolvane");

} // namespace Maker
