#include "daxfiledialog.h"

#include <QFileDialog>
#include <QRegularExpression>

QStringList DaxFileDialog::nameFilters(const QString &filter)
{
    QStringList result;
    static const QRegularExpression separators(QStringLiteral("[|\\s]+"));
    for (const QString &line : filter.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList patterns = line.split(separators, Qt::SkipEmptyParts);
        if (!patterns.isEmpty()) {
            result.append(patterns.join(QLatin1Char(' ')));
        }
    }
    return result;
}

QList<QUrl> DaxFileDialog::getOpenUrls(const QUrl &startDirectory, const QString &filter, QWidget *parent,
                                       const QString &caption)
{
    QFileDialog dialog(parent, caption);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog behaves the same everywhere, also when there is no desktop session.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (startDirectory.isValid()) {
        dialog.setDirectoryUrl(startDirectory);
    }
    const QStringList filters = nameFilters(filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedUrls();
}
