#pragma once

#include <QAbstractListModel>
#include <QList>

class FileDescriptor;

// Shows a list of device files, kept by the model's user, in a list view.
class FilesListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit FilesListModel(QList<FileDescriptor *> *files, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    static QString pictureFor(const QString &extension);

private:
    QList<FileDescriptor *> *m_files;
};
