#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Where a history came from, kept inside the .hist in a table of its own beside records_table:
// provenance(key TEXT PRIMARY KEY, value TEXT). A history written before the table existed simply
// has none; records_table and its queries do not change.
namespace Provenance {

using Entries = QList<QPair<QString, QString>>;

inline const QString kTableName = QStringLiteral("provenance");

// Adds (or replaces) the entries in the history's provenance table, creating the table.
bool write(const QString &historyPath, const Entries &entries, QString *error);
// The entries in the order they were written; empty for a history without the table. False only
// when the file is not a readable history.
bool read(const QString &historyPath, Entries *entries, QString *error);
// The number of rows in records_table, -1 (with a reason) when it cannot be counted.
qint64 countRecords(const QString &historyPath, QString *error);
// Lower-case hex SHA-256 of a file's contents; empty when it cannot be read.
QString sha256(const QString &path);

} // namespace Provenance
