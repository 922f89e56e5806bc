// varnoctl history: fetch, convert, export and remove the monitor's statistics, in the same
// formats as the program's History page.

#include "tools/varnoctl/varnoctl.h"

#include "device/device.h"
#include "history/historycommands.h"
#include "history/historyconverter.h"
#include "history/historydownload.h"
#include "history/historyerase.h"
#include "history/historyformat.h"
#include "history/provenance.h"
#include "tasks/filedescriptor.h"
#include "tasks/fileremovetask.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

namespace {

// The program keeps its histories in its own data folder; the tool's name must not move them.
QString programDataDirectory()
{
    return QDir::homePath() + QStringLiteral("/VARNO Device Manager");
}

QString timeText(const QDateTime &time)
{
    return HistoryFormat::formatRecordTime(time);
}

// What a conversion reports, with the History page's line about readings lost when clocks went
// back (the table keys on local time).
QJsonObject convertedJson(const HistoryCommands::ConvertOutcome &outcome)
{
    QJsonObject json { { QStringLiteral("database"), outcome.databasePath },
                       { QStringLiteral("rows"), outcome.rows },
                       { QStringLiteral("start"), timeText(outcome.start) },
                       { QStringLiteral("end"), timeText(outcome.end) },
                       { QStringLiteral("skippedIndexRecords"), outcome.skippedIndexRecords },
                       { QStringLiteral("repeatedHourLosses"), outcome.repeatedHourLosses } };
    if (outcome.repeatedHourLosses > 0)
        json.insert(QStringLiteral("notice"),
                    HistoryConverter::repeatedHourText(outcome.repeatedHourLosses));
    return json;
}

QString convertedText(const HistoryCommands::ConvertOutcome &outcome)
{
    const QString written = QCoreApplication::translate("Ctl", "Written %1 (%2 records, %3 to %4)")
                                .arg(outcome.databasePath)
                                .arg(outcome.rows)
                                .arg(timeText(outcome.start), timeText(outcome.end));
    if (outcome.repeatedHourLosses <= 0)
        return written;
    return written + QLatin1Char('\n')
            + HistoryConverter::repeatedHourText(outcome.repeatedHourLosses);
}

} // namespace

bool Ctl::isLocalHistoryCommand() const
{
    const QStringList &a = m_options.arguments;
    return a.value(0) == QLatin1String("history")
        && (a.value(1) == QLatin1String("convert") || a.value(1) == QLatin1String("export")
            || a.value(1) == QLatin1String("info"));
}

void Ctl::history()
{
    const QStringList &a = m_options.arguments;
    const QString sub = a.value(1);
    const auto usage
        = [this](const QString &text) { fail(ExitUsage, tr("usage: varnoctl %1").arg(text)); };

    if (sub == QLatin1String("convert")) {
        if (a.size() != 4) {
            usage(QStringLiteral("history convert MEASTIME MEASURE [--out FILE]"));
            return;
        }
        for (const QString &input : { a.at(2), a.at(3) }) {
            if (!QFileInfo(input).isFile()) {
                fail(ExitFailed, tr("cannot read %1").arg(input));
                return;
            }
        }
        if (m_options.out.isEmpty() && !QDir().mkpath(programDataDirectory())) {
            fail(ExitFailed, tr("cannot create %1").arg(programDataDirectory()));
            return;
        }
        const HistoryCommands::ConvertOutcome outcome = HistoryCommands::convert(
            a.at(2), a.at(3), m_options.out,
            m_options.out.isEmpty() ? programDataDirectory() : QString());
        if (!outcome.ok) {
            fail(ExitFailed, tr("no history written: %1").arg(outcome.error));
            return;
        }
        succeed(convertedJson(outcome),
                convertedText(outcome));
    } else if (sub == QLatin1String("export")) {
        // "--where OP VALUE": the parser takes OP as the option's value, VALUE stays positional.
        const bool valueApart = !m_options.where.isEmpty() && a.size() == 4;
        if (a.size() != 3 && !valueApart) {
            usage(QStringLiteral("history export HIST [--from T] [--to T] [--where OP VALUE] "
                                 "[--out FILE.csv]"));
            return;
        }
        HistoryCommands::ExportOptions options;
        if (!m_options.from.isEmpty()) {
            options.from = HistoryCommands::parseTime(m_options.from);
            if (!options.from.isValid()) {
                usage(QStringLiteral("history export ... --from \"yyyy-MM-dd hh:mm:ss\""));
                return;
            }
        }
        if (!m_options.to.isEmpty()) {
            options.to = HistoryCommands::parseTime(m_options.to);
            if (!options.to.isValid()) {
                usage(QStringLiteral("history export ... --to \"yyyy-MM-dd hh:mm:ss\""));
                return;
            }
        }
        if (!m_options.where.isEmpty()) {
            const QString where
                = valueApart ? m_options.where + QLatin1Char(' ') + a.at(3) : m_options.where;
            static const QRegularExpression pattern(
                QStringLiteral("^\\s*(<=|>=|<|>|=)\\s*(\\S+)\\s*$"));
            const QRegularExpressionMatch match = pattern.match(where);
            bool ok = false;
            const double value = match.hasMatch() ? match.captured(2).toDouble(&ok) : 0;
            if (!ok) {
                usage(
                    QStringLiteral("history export ... --where OP VALUE (OP one of < <= = > >=)"));
                return;
            }
            options.comparison = match.captured(1);
            options.value = value;
        }
        const HistoryCommands::ExportOutcome outcome
            = HistoryCommands::exportCsv(a.at(2), options, m_options.out);
        if (!outcome.ok) {
            fail(ExitFailed, outcome.error);
            return;
        }
        succeed({ { QStringLiteral("csv"), outcome.csvPath },
                  { QStringLiteral("records"), outcome.records } },
                tr("Exported %1 records to %2").arg(outcome.records).arg(outcome.csvPath));
    } else if (sub == QLatin1String("info")) {
        if (a.size() != 3) {
            usage(QStringLiteral("history info HIST"));
            return;
        }
        Provenance::Entries entries;
        QString error;
        if (!Provenance::read(a.at(2), &entries, &error)) {
            fail(ExitFailed, tr("cannot read %1: %2").arg(a.at(2), error));
            return;
        }
        QJsonObject table;
        QStringList lines;
        for (const auto &entry : qAsConst(entries)) {
            table.insert(entry.first, entry.second);
            lines.append(QStringLiteral("%1 %2").arg(entry.first + QLatin1Char(':'), -24).arg(entry.second));
        }
        succeed({ { QStringLiteral("history"), a.at(2) }, { QStringLiteral("provenance"), table } },
                lines.isEmpty() ? tr("%1 was written without provenance").arg(a.at(2))
                                : lines.join(QLatin1Char('\n')));
    } else if (sub == QLatin1String("pull") && a.size() == 2) {
        historyPull();
    } else if (sub == QLatin1String("rm") && a.size() == 2) {
        historyRemove();
    } else {
        usage(QStringLiteral(
            "history pull [--out FILE] [--erase] | history info HIST | history convert MEASTIME MEASURE [--out FILE]"
            " | history export HIST [--from T] [--to T] [--where OP VALUE]"
            " [--out FILE.csv] | history rm [--yes]"));
    }
}

void Ctl::historyPull()
{
    if (m_options.out.isEmpty() && !QDir().mkpath(programDataDirectory())) {
        fail(ExitFailed, tr("cannot create %1").arg(programDataDirectory()));
        return;
    }

    // The raw statistics are kept in a folder of their own beside the history.
    auto *download = new HistoryDownload(m_device, this);
    if (m_options.out.isEmpty())
        download->setOutputDirectory(programDataDirectory());
    else
        download->setOutputFile(m_options.out);
    connect(download, &HistoryDownload::progress, this, &Ctl::showProgress);
    connect(download, &HistoryDownload::finished, this, [this, download](HistoryDownload::Error error) {
        download->deleteLater();
        switch (error) {
        case HistoryDownload::Error::None:
            pulled(download);
            break;
        default: {
            const QString text = m_options.erase
                ? tr("%1; nothing removed from the monitor").arg(download->errorString())
                : download->errorString();
            if (error == HistoryDownload::Error::NoDevice)
                fail(ExitLink, text);
            else
                fail(download->failedCode() < 0 ? ExitFailed : exitCodeFor(download->failedCode()), text);
            break;
        }
        }
    });
    m_cancel = [download] { download->cancel(); };
    download->start();
}

void Ctl::pulled(const HistoryDownload *download)
{
    const HistoryDownload::Verification verification = download->verification();
    QJsonObject provenance;
    const auto entries = download->provenance();
    for (const auto &entry : entries)
        provenance.insert(entry.first, entry.second);
    HistoryCommands::ConvertOutcome outcome;
    outcome.ok = true;
    outcome.databasePath = download->databasePath();
    outcome.rows = download->rowCount();
    outcome.start = download->startTime();
    outcome.end = download->endTime();
    outcome.repeatedHourLosses = download->repeatedHourLosses();
    QJsonObject json = convertedJson(outcome);
    json.insert(QStringLiteral("rawFolder"), download->rawFolder());
    json.insert(QStringLiteral("verified"), verification.verified);
    json.insert(QStringLiteral("provenance"), provenance);
    const QString written = convertedText(outcome);
    if (!m_options.erase) {
        if (!verification.verified)
            print(tr("warning: %1").arg(verification.reason), stderr);
        succeed(json, written);
        return;
    }
    if (!verification.verified) {
        if (!m_options.json)
            print(written, stdout);
        fail(ExitFailed, tr("nothing removed from the monitor: %1").arg(verification.reason));
        return;
    }
    auto *erase = new HistoryErase(m_device, verification, this);
    connect(erase, &HistoryErase::finished, this, [this, erase, json, written](bool removed) {
        erase->deleteLater();
        if (!removed) {
            if (!m_options.json)
                print(written, stdout);
            fail(erase->failedCode() < 0 ? ExitFailed : exitCodeFor(erase->failedCode()),
                 tr("nothing removed from the monitor: %1").arg(erase->reason()));
            return;
        }
        QJsonObject out = json;
        out.insert(QStringLiteral("erased"), true);
        succeed(out, written + QLatin1Char('\n') + tr("Removed the statistics from the monitor"));
    });
    erase->start();
}

void Ctl::historyRemove()
{
    if (!confirm(tr("Remove the history from the device? It cannot be restored."))) {
        fail(ExitFailed, tr("nothing removed"));
        return;
    }
    // As on the History page, only the time index goes; the values stay but cannot be read.
    beforeChange(-1, [this] {
        withFile(HistoryFormat::kIndexFileName, [this](const QVariant &descriptor) {
            await(
                m_device->executeCommand(Device::RemoveFile,
                                         arguments({ { FileRemoveTask::kFileDescriptorKey, descriptor } })),
                [this](const TaskResult &r) {
                    succeed(
                        { { QStringLiteral("removed"), r.data().toString() } },
                        tr("Removed %1: the history is gone from the device").arg(r.data().toString()));
                });
        });
    });
}
