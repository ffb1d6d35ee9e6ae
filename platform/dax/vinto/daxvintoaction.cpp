#include "daxvintoaction.h"

#include "daxdebug.h"
#include "daxi18n.h"

#include <QJSEngine>

DaxVintoAction::DaxVintoAction(QObject *parent, const QString &name, const QString &baseDir)
    : QObject(parent)
    , m_baseDir(baseDir)
{
    setObjectName(name);
}

DaxVintoAction::~DaxVintoAction() = default;

QStringList DaxVintoAction::interpreters()
{
    return {QStringLiteral("javascript")};
}

void DaxVintoAction::setInterpreter(const QString &name)
{
    m_interpreter = name;
}

void DaxVintoAction::addObject(QObject *object, const QString &name)
{
    m_objects.append({object, name});
}

void DaxVintoAction::setCode(const QByteArray &code)
{
    m_code = code;
}

void DaxVintoAction::trigger()
{
    m_error.clear();
    m_result.clear();
    if (!interpreters().contains(m_interpreter)) {
        m_error = i18n("There is no interpreter \"%1\"; the script was not run.", m_interpreter);
        daxWarning() << m_error;
        Q_EMIT failed(m_error);
        return;
    }
    QJSEngine engine;
    for (const auto &[object, name] : std::as_const(m_objects)) {
        if (!object)
            continue;
        // The objects belong to the caller; the engine must never delete them.
        QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
        engine.globalObject().setProperty(name, engine.newQObject(object));
    }
    const QJSValue value = engine.evaluate(QString::fromUtf8(m_code), objectName());
    if (value.isError()) {
        m_error = value.toString();
        Q_EMIT failed(m_error);
    } else {
        m_result = value.toString();
    }
    Q_EMIT triggered();
}
