#ifndef DAXVINTOACTION_H
#define DAXVINTOACTION_H

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

// The scripting bridge: an action that runs a piece of code in a named interpreter with some
// objects published to it under names. The only interpreter available here is "javascript"
// (QJSEngine); for any other the action reports an error and runs nothing.
class DaxVintoAction : public QObject
{
    Q_OBJECT
public:
    DaxVintoAction(QObject *parent, const QString &name, const QString &baseDir);
    ~DaxVintoAction() override;

    static QStringList interpreters();

    QString interpreter() const { return m_interpreter; }
    void setInterpreter(const QString &name);
    void addObject(QObject *object, const QString &name);
    QByteArray code() const { return m_code; }
    // The code is UTF-8 text.
    void setCode(const QByteArray &code);
    QString baseDir() const { return m_baseDir; }

    bool hadError() const { return !m_error.isEmpty(); }
    QString errorText() const { return m_error; }
    // Result of the last run, as text.
    QString result() const { return m_result; }

public Q_SLOTS:
    // Runs the code and returns when it has finished.
    void trigger();

Q_SIGNALS:
    void triggered();
    void failed(const QString &error);

private:
    QString m_baseDir;
    QString m_interpreter;
    QByteArray m_code;
    QList<QPair<QPointer<QObject>, QString>> m_objects;
    QString m_error;
    QString m_result;
};

#endif
