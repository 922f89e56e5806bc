#pragma once

#include <QString>
#include <QStringList>

namespace varno {

// Versions are dot-separated decimal numbers ("1.9", "2.0.2.3"); empty parts are dropped.
// Versions with a different number of parts are never ordered against each other, so a server
// that changes its numbering scheme cannot push an "update" that is really a downgrade. A part
// that is not a decimal number makes the version comparable to nothing.

// True when `version` is older than `than`: same non-zero number of parts, and at the first part
// that differs, `version`'s number is smaller.
bool isVersionOlder(const QString &version, const QString &than);

// True when both have the same number of parts and every part has the same value ("1.09" == "1.9").
bool isVersionEqual(const QString &a, const QString &b);

// The newest of the list by isVersionOlder(); among versions that cannot be ordered the earlier
// entry wins, and unreadable entries count only when nothing else is readable. Empty for an empty
// list.
QString newestVersion(const QStringList &versions);

} // namespace varno
