#include "daxservicetypetrader.h"

#include "daxdebug.h"
#include "daxpluginfactory.h"
#include "daxstandarddirs.h"

#include <QDir>
#include <QJsonObject>
#include <QLibrary>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QSet>

namespace {

struct Term
{
    QString key;
    QString value;
};

// Parses "[Key]=='value' and [Other]=='x'". Returns false for anything else.
bool parseConstraint(const QString &constraint, QList<Term> *terms)
{
    static const QRegularExpression term(QStringLiteral(R"(\s*\[(\w+)\]\s*==\s*'((?:[^'\\]|\\.)*)'\s*)"));
    static const QRegularExpression joiner(QStringLiteral(R"(\s*and\s*)"));
    static const QRegularExpression escape(QStringLiteral(R"(\\(.))"));
    qsizetype pos = 0;
    while (pos < constraint.size()) {
        const QRegularExpressionMatch m =
            term.match(constraint, pos, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch())
            return false;
        QString value = m.captured(2);
        value.replace(escape, QStringLiteral("\\1"));
        terms->append({m.captured(1), value});
        pos = m.capturedEnd();
        if (pos == constraint.size())
            break;
        const QRegularExpressionMatch j = joiner.match(constraint, pos, QRegularExpression::NormalMatch,
                                                       QRegularExpression::AnchorAtOffsetMatchOption);
        if (!j.hasMatch() || j.capturedEnd() == constraint.size())
            return false;
        pos = j.capturedEnd();
    }
    return !terms->isEmpty();
}

} // namespace

DaxServiceTypeTrader *DaxServiceTypeTrader::self()
{
    static DaxServiceTypeTrader trader;
    return &trader;
}

const DaxServiceList &DaxServiceTypeTrader::services()
{
    if (m_scanned)
        return m_services;
    m_scanned = true;
    QSet<QString> seen;
    for (const QString &dirPath : DaxStandardDirs::pluginDirs()) {
        const QDir dir(dirPath);
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString &file : files) {
            const QString path = dir.absoluteFilePath(file);
            if (!QLibrary::isLibrary(path))
                continue;
            // metaData() reads the embedded description without loading the library.
            const QJsonObject meta = QPluginLoader(path).metaData();
            if (meta.value(QLatin1String("IID")).toString() != QLatin1String(DaxPluginFactory_iid))
                continue;
            DaxService service(path, meta.value(QLatin1String("MetaData")).toObject());
            // An earlier directory shadows a later one, so a development build wins over an install.
            if (seen.contains(service.library()))
                continue;
            seen.insert(service.library());
            m_services.append(service);
        }
    }
    return m_services;
}

DaxServiceList DaxServiceTypeTrader::query(const QString &serviceType, const QString &constraint)
{
    QMutexLocker lock(&m_mutex);
    ++m_queries;
    QList<Term> terms;
    if (!constraint.trimmed().isEmpty() && !parseConstraint(constraint, &terms)) {
        daxWarning() << "Unsupported service constraint: " << constraint;
        return {};
    }
    DaxServiceList result;
    for (const DaxService &service : services()) {
        if (!service.hasServiceType(serviceType))
            continue;
        bool match = true;
        for (const Term &t : std::as_const(terms)) {
            if (service.property(t.key).toString() != t.value) {
                match = false;
                break;
            }
        }
        if (match)
            result.append(service);
    }
    return result;
}

void DaxServiceTypeTrader::rescan()
{
    QMutexLocker lock(&m_mutex);
    m_services.clear();
    m_scanned = false;
}

int DaxServiceTypeTrader::queryCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_queries;
}
