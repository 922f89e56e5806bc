#pragma once

#include "history/historydownload.h"
#include "panels/devicepanel.h"
#include "tasks/filedescriptor.h"
#include "tasks/taskresult.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <memory>

class CommandHandle;
class CsvConverter;
class FrameHystogram;
class HistoryErase;
class QProgressDialog;
class QAction;
class QActionGroup;
class QToolBar;
class SQLReader;
class SearchWidget;

namespace Ui {
class HistoryViewWidget;
}

// The History page: fetches the statistics files from the device, has them converted into a
// history database, shows it as a histogram, filters and exports it, and removes the statistics
// from the device. In history mode it works on saved ".hist" files only.
class HistoryViewWidget : public DevicePanel
{
    Q_OBJECT
public:
    // Tool bar groups, enabled and disabled together.
    enum ActionMask {
        DeviceActions = 1,
        OpenActions = 2,
        ExportActions = 4,
        FilterActions = 8,
        AllActions = 255,
    };

    static constexpr const char *kCsvExportDirKey = "CSVExportDir";
    static constexpr const char *kHistoryDirKey = "HistoryDir";

    explicit HistoryViewWidget(bool historyMode, QWidget *parent = nullptr);
    ~HistoryViewWidget() override;

    bool isHistoryMode() const { return m_historyMode; }
    bool isLocalFile() const { return m_localFile; }
    bool isReading() const { return m_download != nullptr; }
    bool isRemoving() const { return m_removing; }
    QString currentDatabase() const { return m_currentDatabase; }
    // The groups whose actions are enabled now, as a mask.
    int enabledActions() const;
    QAction *action(const QString &objectName) const;

    QToolBar *toolBar() const { return m_toolBar; }
    FrameHystogram *histogram() const { return m_histogram; }
    SearchWidget *searchWidget() const { return m_searchWidget; }
    SQLReader *reader() const { return m_reader; }
    // The window that shows a conversion or a load under way; its Cancel stops the work.
    QProgressDialog *progressDialog() const { return m_progressDialog; }

public slots:
    // Loads a history database into the page, as opening it from the file dialog does.
    void openHistory(const QString &path);
    // Stops a conversion or a load under way (the progress window's Cancel).
    void cancelWork();

protected:
    void deviceChanged() override;
    void deviceCleared() override;
    void deviceDataUpdated(int id) override;

protected slots:
    void OnReadHistoryClicked();
    void OnOpenHistoryFileButtonClicked();
    void OnRemoveHistoryClicked();
    void OnSearchClicked();
    void OnExportCSVClicked();
    void OnHistoryInfoClicked();
    void searchActivated();
    void convertComplete();
    void readComplete();
    void progress(const QString &text, int percent);

private:
    QActionGroup *addGroup(int mask);
    QAction *addToolAction(QActionGroup *group, const QString &objectName, const QString &text,
                           const QString &icon, void (HistoryViewWidget::*slot)());
    void setActionsEnabled(int mask, bool enabled);
    void restoreActions(int mask);

    void OnDownloadFinished(HistoryDownload::Error error);
    void OnDownloadProgress(const QString &text, int percent);
    void OnEraseFinished(bool removed);
    // The fixed text about the device, or what failed here when the failure was local.
    void readFailed(const QString &localReason = QString());
    void removeHistory();
    void removeFinished(bool removed);
    void abandonDeviceWork();
    void readDatabase(const QString &path);
    void showProgressDialog(const QString &text);
    void hideProgressDialog();
    void exportFinished(CsvConverter *exporter);

    std::unique_ptr<Ui::HistoryViewWidget> ui;
    const bool m_historyMode;
    bool m_localFile = false;
    bool m_removing = false;
    bool m_search = false;
    QString m_currentDatabase;
    FrameHystogram *m_histogram = nullptr;
    SearchWidget *m_searchWidget = nullptr;
    SQLReader *m_reader = nullptr;
    // The read from the device under way, if any.
    QPointer<HistoryDownload> m_download;
    QProgressDialog *m_progressDialog = nullptr;
    // The last download from the bound device: a removal relies on it.
    HistoryDownload::Verification m_lastDownload;

    QToolBar *m_toolBar = nullptr;
    QList<QPair<int, QActionGroup *>> m_groups;
    QAction *m_filterAction = nullptr;
    // What was enabled when a device read began: a read that fails gives it back.
    int m_actionsBeforeRead = 0;
    // The removal under way.
    QPointer<HistoryErase> m_erase;
};
