#include "tasks/fileslistmodel.h"

#include "tasks/filedescriptor.h"

#include <QFont>
#include <QIcon>

#include <algorithm>

FilesListModel::FilesListModel(QList<FileDescriptor *> *files, QObject *parent)
    : QAbstractListModel(parent)
    , m_files(files)
{
}

int FilesListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_files)
        return 0;
    return m_files->size();
}

QString FilesListModel::pictureFor(const QString &extension)
{
    if (extension == QLatin1String("exc") || extension == QLatin1String("EXC"))
        return QStringLiteral(":/images/application.png");
    if (extension == QLatin1String("txt") || extension == QLatin1String("TXT"))
        return QStringLiteral(":/images/man.png");
    if (extension == QLatin1String("bmp") || extension == QLatin1String("BMP"))
        return QStringLiteral(":/images/image.png");
    return QStringLiteral(":/images/binary.png");
}

QVariant FilesListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_files || index.row() < 0 || index.row() >= m_files->size())
        return QVariant();
    const FileDescriptor *file = m_files->at(index.row());
    if (!file)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return file->fileName();
    case Qt::DecorationRole:
        return QIcon(pictureFor(file->extension()));
    case Qt::ToolTipRole:
        return tr("File size is ") + QString::number(file->size()) + tr(" bytes");
    case Qt::FontRole: {
        QFont font;
        font.setItalic(file->attributes() & FileDescriptor::kItalicAttribute);
        return font;
    }
    default:
        return QVariant();
    }
}

QVariant FilesListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return tr("Name");
    return QString::number(section);
}

void FilesListModel::sort(int, Qt::SortOrder order)
{
    if (!m_files)
        return;
    emit layoutAboutToBeChanged();
    const auto key = [](const FileDescriptor *f) { return f ? f->fileName().toLower() : QString(); };
    std::stable_sort(m_files->begin(), m_files->end(),
                     [&](const FileDescriptor *a, const FileDescriptor *b) {
                         return order == Qt::AscendingOrder ? key(a) < key(b) : key(b) < key(a);
                     });
    emit layoutChanged();
}
