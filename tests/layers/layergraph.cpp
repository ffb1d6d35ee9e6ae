#include "layergraph.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

QString LayerGraph::Violation::text() const
{
    return QStringLiteral("%1:%2: includes \"%3\" of %4, which %5 may not include")
        .arg(file)
        .arg(line)
        .arg(include, to, from);
}

bool LayerGraph::load(const QString &layersFile)
{
    QFile file(layersFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_error = QStringLiteral("cannot read %1").arg(layersFile);
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            m_error = QStringLiteral("%1:%2: expected \"component: components...\"").arg(layersFile).arg(number);
            return false;
        }
        const QString component = line.left(colon).trimmed();
        m_order.append(component);
        m_direct.insert(component, line.mid(colon + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }
    for (const QString &component : std::as_const(m_order)) {
        for (const QString &lower : m_direct.value(component)) {
            if (!m_direct.contains(lower)) {
                m_error = QStringLiteral("%1 lists %2, which is not a component").arg(component, lower);
                return false;
            }
        }
    }
    QSet<QString> done;
    for (const QString &component : std::as_const(m_order)) {
        QStringList path;
        if (findCycle(component, path, done)) {
            m_error = QStringLiteral("the layers form a cycle: %1").arg(path.join(QLatin1String(" -> ")));
            return false;
        }
    }
    // The closure: what a component may include, directly or through the layers it lists.
    for (const QString &component : std::as_const(m_order)) {
        QSet<QString> allowed{component};
        QStringList pending = m_direct.value(component);
        while (!pending.isEmpty()) {
            const QString next = pending.takeLast();
            if (allowed.contains(next))
                continue;
            allowed.insert(next);
            pending += m_direct.value(next);
        }
        m_allowed.insert(component, allowed);
    }
    return true;
}

bool LayerGraph::findCycle(const QString &component, QStringList &path, QSet<QString> &done) const
{
    if (path.contains(component)) {
        path.append(component);
        return true;
    }
    if (done.contains(component))
        return false;
    path.append(component);
    for (const QString &lower : m_direct.value(component)) {
        if (findCycle(lower, path, done))
            return true;
    }
    path.removeLast();
    done.insert(component);
    return false;
}

QString LayerGraph::componentOf(const QString &path) const
{
    QString best;
    for (const QString &component : m_order) {
        if ((path == component || path.startsWith(component + QLatin1Char('/'))) && component.size() > best.size())
            best = component;
    }
    return best;
}

bool LayerGraph::mayInclude(const QString &from, const QString &to) const
{
    return m_allowed.value(from).contains(to);
}

QList<LayerGraph::Violation> LayerGraph::check(const QString &root) const
{
    const QDir top(root);
    static const QStringList headerSuffixes = {QStringLiteral("h"), QStringLiteral("hpp")};
    static const QStringList sourceSuffixes = {QStringLiteral("h"), QStringLiteral("hpp"), QStringLiteral("cpp")};

    // Every header and source of the listed folders, by file name for the lookup of includes.
    QStringList files;
    QHash<QString, QStringList> headersByName;
    for (const QString &component : m_order) {
        QDirIterator it(top.filePath(component), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            const QString relative = top.relativeFilePath(info.filePath());
            if (componentOf(relative) != component || !sourceSuffixes.contains(info.suffix()))
                continue;
            files.append(relative);
            if (headerSuffixes.contains(info.suffix()))
                headersByName[info.fileName()].append(relative);
        }
    }
    std::sort(files.begin(), files.end());

    static const QRegularExpression includeLine(QStringLiteral("^\\s*#\\s*include\\s*[<\"]([^>\"]+)[>\"]"));
    QList<Violation> violations;
    for (const QString &relative : std::as_const(files)) {
        QFile file(top.filePath(relative));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        const QString from = componentOf(relative);
        const QString folder = QFileInfo(relative).path();
        int number = 0;
        while (!file.atEnd()) {
            ++number;
            const QRegularExpressionMatch match = includeLine.match(QString::fromUtf8(file.readLine()));
            if (!match.hasMatch())
                continue;
            const QString include = match.captured(1);
            QStringList candidates;
            const QString beside = QDir::cleanPath(folder + QLatin1Char('/') + include);
            if (QFileInfo::exists(top.filePath(beside)) && !componentOf(beside).isEmpty()) {
                candidates.append(beside);
            } else {
                for (const QString &header : headersByName.value(QFileInfo(include).fileName())) {
                    if (header == include || header.endsWith(QLatin1Char('/') + include))
                        candidates.append(header);
                }
            }
            if (candidates.isEmpty())
                continue;
            const bool allowed = std::any_of(candidates.cbegin(), candidates.cend(), [&](const QString &candidate) {
                return mayInclude(from, componentOf(candidate));
            });
            if (!allowed)
                violations.append({relative, number, include, from, componentOf(candidates.first())});
        }
    }
    return violations;
}
