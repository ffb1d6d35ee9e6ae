#ifndef TALVORI_TEMPENVIRONMENT_H
#define TALVORI_TEMPENVIRONMENT_H

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A throwaway home for one test: its own XDG data, configuration and runtime directories (the
// server's socket goes below the runtime one) and its own temporary directory, set in this process
// and handed to the processes a test starts.
class TempEnvironment
{
public:
    TempEnvironment();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString dataHome() const { return path() + QLatin1String("/data"); }
    QString configHome() const { return path() + QLatin1String("/config"); }
    QString serverSettingsFile() const { return configHome() + QLatin1String("/talvori/talvoriserverrc"); }
    QString tempDir() const { return path() + QLatin1String("/tmp"); }
    QString runtimeDir() const { return path() + QLatin1String("/runtime"); }
    QProcessEnvironment environment() const { return m_environment; }

    void writeServerSettings(const QString &group, const QString &key, const QVariant &value) const;
    // Sets a variable here and for the processes started with environment().
    void setVariable(const QString &name, const QString &value);
    // Removes a variable here and for the processes started with environment().
    void unsetVariable(const QString &name);

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
};

#endif
