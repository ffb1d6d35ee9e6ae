#ifndef DAXFILEDIALOG_H
#define DAXFILEDIALOG_H

#include <QList>
#include <QString>
#include <QUrl>

class QWidget;

// File dialogs of the application frame.
class DaxFileDialog
{
public:
    // Lets the user pick existing files, starting in startDirectory. filter lists glob patterns
    // separated by "|" or spaces ("*.jpg|*.jpeg|*.png"); several lines make several filters.
    // Empty when the user cancels.
    static QList<QUrl> getOpenUrls(const QUrl &startDirectory, const QString &filter, QWidget *parent,
                                   const QString &caption);
    // The filter in the form Qt's dialogs take.
    static QStringList nameFilters(const QString &filter);
};

#endif
