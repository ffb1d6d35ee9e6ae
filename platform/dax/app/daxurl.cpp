#include "daxurl.h"

#include <QDir>

QUrl DaxUrl::fromArgument(const QString &argument)
{
    return QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
}

QUrl DaxUrl::directoryOf(const QUrl &url)
{
    return url.adjusted(QUrl::StripTrailingSlash).adjusted(QUrl::RemoveFilename);
}

QString DaxUrl::localPath(const QUrl &url)
{
    if (!url.isLocalFile()) {
        return QString();
    }
    QString path = url.toLocalFile();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path;
}

QString DaxUrl::fileName(const QUrl &url)
{
    return url.adjusted(QUrl::StripTrailingSlash).fileName();
}
