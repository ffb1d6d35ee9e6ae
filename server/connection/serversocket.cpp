#include "connection/serversocket.h"

#include "common/log.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int Backlog = 50;

// A directory of the user's own that nobody else may enter: it exists (or is made), is no
// symbolic link, belongs to the user and has no group or other permissions (taken away when it
// had them: only the owner can have given them).
bool ownPrivateDirectory(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    if ((info.st_mode & 077) && ::chmod(name.constData(), 0700) != 0)
        return false;
    return true;
}

QString strerrorText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

ServerSocket::~ServerSocket()
{
    if (m_lockDescriptor >= 0)
        ::close(m_lockDescriptor);
}

QString ServerSocket::pathFor(const QString &name)
{
    if (QDir::isAbsolutePath(name))
        return name;
    return privateDirectory() + QLatin1Char('/') + name;
}

QString ServerSocket::privateDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && ownPrivateDirectory(runtime + QLatin1String("/talvori")))
        return runtime + QLatin1String("/talvori");
    const QString shared = QDir::tempPath() + QStringLiteral("/talvori-%1").arg(::getuid());
    if (ownPrivateDirectory(shared))
        return shared;
    // Somebody else has taken the usual name in the shared directory: a fresh one of our own.
    QByteArray pattern = QFile::encodeName(shared + QLatin1String("-XXXXXX"));
    if (::mkdtemp(pattern.data())) {
        logError() << shared << "is not a private directory of this user; the socket goes to" << pattern;
        return QFile::decodeName(pattern);
    }
    return shared;
}

bool ServerSocket::answers(const QString &path)
{
    QLocalSocket probe;
    probe.connectToServer(path);
    if (!probe.waitForConnected(1000))
        return false;
    probe.disconnectFromServer();
    return true;
}

bool ServerSocket::lock(const QString &path)
{
    const QByteArray name = QFile::encodeName(path + QLatin1String(".lock"));
    m_lockDescriptor = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // Without a lock file (a read-only directory, say) the probe alone has to do.
    if (m_lockDescriptor < 0)
        return true;
    return ::flock(m_lockDescriptor, LOCK_EX | LOCK_NB) == 0;
}

int ServerSocket::listen(const QString &path, QString *error)
{
    // Whether it is a server still starting up (which holds the lock already) or one that answers,
    // the name is taken; a file nobody answers on is left over from a crash and is replaced.
    if (!lock(path) || answers(path)) {
        *error = QStringLiteral("another server is already listening on %1").arg(path);
        return -1;
    }

    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    // Made under a name of its own and renamed into place, so a stale file is replaced in one step
    // and the name never points at nothing while a client looks for it.
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".%1").arg(::getpid()));
    const QByteArray target = QFile::encodeName(path);
    if (size_t(temporary.size()) >= sizeof(address.sun_path)) {
        *error = QStringLiteral("the socket path %1 is too long").arg(path);
        return -1;
    }
    std::memcpy(address.sun_path, temporary.constData(), size_t(temporary.size()));

    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        *error = strerrorText();
        return -1;
    }
    ::unlink(temporary.constData());
    struct stat info = {};
    if (::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0
        || ::chmod(temporary.constData(), 0600) != 0 || ::listen(descriptor, Backlog) != 0
        || ::rename(temporary.constData(), target.constData()) != 0 || ::stat(target.constData(), &info) != 0) {
        *error = strerrorText();
        ::unlink(temporary.constData());
        ::close(descriptor);
        return -1;
    }
    m_path = path;
    m_device = info.st_dev;
    m_inode = info.st_ino;
    return descriptor;
}

void ServerSocket::release()
{
    if (m_path.isEmpty())
        return;
    const QByteArray target = QFile::encodeName(m_path);
    struct stat info = {};
    if (::stat(target.constData(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
        ::unlink(target.constData());
    m_path.clear();
}
