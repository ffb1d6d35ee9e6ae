#ifndef TALVORI_PRIVATEFILES_H
#define TALVORI_PRIVATEFILES_H

#include <QString>

// The server's files are its user's alone: mails, contacts and database files must not be
// readable by other accounts on the machine, whatever umask the server was started with.
class PrivateFiles
{
public:
    // From now on everything this process and the programs it starts create (database files,
    // payload files, logs, a private database server's data) is owner-only: directories 0700,
    // files 0600. Called first thing in main(), before anything is written.
    static void restrictNewFiles();

    // Takes the group and other permission bits off path and everything below it (symbolic
    // links are not followed); returns how many entries had to be changed.
    static int restrictTree(const QString &path);

    // The same for one file or directory; false when it had wider modes.
    static bool restrict(const QString &path);
};

#endif
