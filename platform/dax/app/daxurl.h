#ifndef DAXURL_H
#define DAXURL_H

#include <QString>
#include <QUrl>

// URL operations desktop programs need on files they are given.
class DaxUrl
{
public:
    // A command-line argument as a URL: a path (relative ones from the current directory) or a URL.
    static QUrl fromArgument(const QString &argument);
    // The directory holding the file or directory a URL names.
    static QUrl directoryOf(const QUrl &url);
    // The local path of a file URL without a trailing slash; empty for other URLs.
    static QString localPath(const QUrl &url);
    // The last part of the path.
    static QString fileName(const QUrl &url);
};

#endif
