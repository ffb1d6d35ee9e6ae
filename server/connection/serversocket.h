#ifndef TALVORI_SERVERSOCKET_H
#define TALVORI_SERVERSOCKET_H

#include <QString>

#include <sys/types.h>

// The listening socket's file, which belongs to this server alone. A relative name lives in a
// directory only the user can enter, so nobody else can take the name or put something in its
// way; a server that already answers on the name is never replaced; and on the way out the file
// is removed only while it is still this server's own (a server that refused to start, or one
// that took over after a crash, keeps its socket).
class ServerSocket
{
public:
    ServerSocket() = default;
    ~ServerSocket();
    ServerSocket(const ServerSocket &) = delete;
    ServerSocket &operator=(const ServerSocket &) = delete;

    // An absolute name as it is; a relative one in privateDirectory().
    static QString pathFor(const QString &name);
    // "$XDG_RUNTIME_DIR/talvori", or "<temporary directory>/talvori-<uid>", created 0700 when
    // missing; one that is not the user's own directory is passed over for a fresh one.
    static QString privateDirectory();

    // Makes the socket file at path and returns the listening descriptor, or -1 with the reason.
    int listen(const QString &path, QString *error);
    QString path() const { return m_path; }
    // Removes the socket file if it is still the one listen() made.
    void release();

private:
    // Whether a server accepts connections at path.
    static bool answers(const QString &path);
    // Takes the lock beside path that one server at a time holds; false when another holds it.
    bool lock(const QString &path);

    QString m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    int m_lockDescriptor = -1;
};

#endif
