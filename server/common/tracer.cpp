#include "common/tracer.h"

#include "common/busobject.h"
#include "common/dbustracer.h"
#include "common/filetracer.h"
#include "common/nulltracer.h"
#include "traceradaptor.h"

#include <xdgbasedirs.h>

#include <QCoreApplication>
#include <QSettings>
#include <QThread>

namespace {

const QString SettingsKey = QStringLiteral("Debug/Tracer");
const QString NullType = QStringLiteral("null");
const QString FileType = QStringLiteral("file");

QString cutNote(qsizetype cut, const char *unit)
{
    return QStringLiteral(" [%1 more %2 cut]").arg(cut).arg(QLatin1String(unit));
}

} // namespace

Tracer *Tracer::self()
{
    static Tracer *instance = [] {
        auto *tracer = new Tracer;
        // Bus objects belong to the main thread, whichever thread traced first.
        if (QCoreApplication::instance() && tracer->thread() != QCoreApplication::instance()->thread())
            tracer->moveToThread(QCoreApplication::instance()->thread());
        return tracer;
    }();
    return instance;
}

Tracer::Tracer()
{
    {
        QMutexLocker locker(&m_mutex);
        createBackend(currentTracer());
    }
    new TracerAdaptor(this);
    if (QDBusConnection::sessionBus().isConnected())
        BusObject::registerObject(QStringLiteral("/tracing"), this, QDBusConnection::ExportAdaptors);
}

Tracer::~Tracer() = default;

QString Tracer::currentTracer() const
{
    const QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadOnly), QSettings::IniFormat);
    return settings.value(SettingsKey, NullType).toString();
}

void Tracer::activateTracer(const QString &type)
{
    QMutexLocker locker(&m_mutex);
    m_backend.reset();
    {
        QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
        settings.setValue(SettingsKey, type);
        settings.sync();
    }
    createBackend(type);
}

void Tracer::createBackend(const QString &type)
{
    if (type == NullType)
        m_backend = std::make_unique<NullTracer>();
    else if (type == FileType)
        m_backend = std::make_unique<FileTracer>(FileTracer::defaultFileName());
    else
        m_backend = std::make_unique<DBusTracer>();
    m_active = type != NullType;
}

QString Tracer::bounded(const QString &msg, qsizetype limit)
{
    // Room for the note of a text that text() has cut already.
    constexpr qsizetype NoteRoom = 40;
    if (msg.size() <= limit + NoteRoom)
        return msg;
    // A surrogate pair stays whole.
    const qsizetype keep = msg.at(limit - 1).isHighSurrogate() ? limit - 1 : limit;
    return msg.left(keep) + cutNote(msg.size() - keep, "characters");
}

QString Tracer::text(const QByteArray &utf8)
{
    if (utf8.size() <= MaxTextLength)
        return QString::fromUtf8(utf8);
    // The cut goes before a character's first byte, not through its continuation bytes.
    qsizetype keep = MaxTextLength;
    while (keep > MaxTextLength - 4 && (uchar(utf8.at(keep)) & 0xc0) == 0x80)
        --keep;
    return QString::fromUtf8(utf8.left(keep)) + cutNote(utf8.size() - keep, "bytes");
}

// Every call takes the same shape: lock, forward the bounded texts to the back-end. The first
// argument is bounded too: a connection's identifier carries the session id the client chose.
#define TRACER_FORWARD(method)                                                                                         \
    void Tracer::method(const QString &first, const QString &msg)                                                      \
    {                                                                                                                  \
        if (!isActive())                                                                                               \
            return;                                                                                                    \
        QMutexLocker locker(&m_mutex);                                                                                 \
        if (m_backend)                                                                                                 \
            m_backend->method(bounded(first, MaxNameLength), bounded(msg));                                            \
    }

TRACER_FORWARD(beginConnection)
TRACER_FORWARD(endConnection)
TRACER_FORWARD(connectionInput)
TRACER_FORWARD(connectionOutput)
TRACER_FORWARD(signal)
TRACER_FORWARD(warning)
TRACER_FORWARD(error)

#undef TRACER_FORWARD

void Tracer::signal(const char *signalName, const QString &msg)
{
    signal(QString::fromLatin1(signalName), msg);
}

void Tracer::error(const char *componentName, const QString &msg)
{
    error(QString::fromLatin1(componentName), msg);
}
